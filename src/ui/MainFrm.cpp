// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MainFrm.h"

#include "common/KvError.h"
#include "common/SecureZero.h"
#include "crypto/SitePassword.h"
#include "platform/DataProtection.h"
#include "platform/Environment.h"
#include "platform/WebBrowser.h"
#include "sites/RuleChoices.h"
#include "storage/Settings.h"
#include "ui/ErrorBox.h"
#ifdef KV_FINGERPRINT
#include "ui/FingerprintView.h"
#endif
#include "ui/Images.h"
#include "ui/LoginCompletion.h"
#include "ui/MainFormLayout.h"
#include "ui/SecretClipboard.h"
#include "ui/SingleLineValidator.h"
#include "ui/SiteLink.h"
#include "ui/SiteRulesDialog.h"
#include "ui/ThumbButtonGroup.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QToolButton>
#include <optional>
#include <utility>

namespace {

QString Q(const std::u16string &text) {
  return QString::fromStdU16String(text);
}

// The button a line edit shows for its action: what assistive technology meets.
QWidget *ButtonOf(const QAction &action, const QWidget &box) {
  for (QObject *object : action.associatedObjects())
    if (auto *button = qobject_cast<QWidget *>(object); button && button != &box)
      return button;
  return nullptr;
}

} // namespace

TfmMain::TfmMain(const IKvEnvironment &env, IKvDataProtection &protection,
                 TKvClipboardGuard &clipboard, std::u16string programPath,
                 TKvErrorReport errorReport, QWidget *parent)
    : QDialog(parent), FEnv(env), FClipboard(clipboard), FProgramPath(std::move(programPath)),
      FErrorReport(std::move(errorReport)), FSavedPassword(GetMasterKeyFileName(env), protection),
      FSession(GetURLsFileName(env), GetLoginsFileName(env), GetConfigFileName(env),
               GetRecordsFileName(env)),
      FPlace(*this) {
  CreateControls();
  FormCreate();
}

TfmMain::~TfmMain() {
  FormDestroy();
  // The row outlives the sites it shows: the base class deletes it.
  FSession.SetListener(nullptr);
  bgThumbs->SetSites(nullptr);
}

void TfmMain::CreateControls() {
  setObjectName(QStringLiteral("fmMain"));
  setWindowTitle(QStringLiteral("Korvane Quillgate v1.5"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
#ifndef Q_OS_WIN
  // Linux taskbars and window switchers show a blank square for a window without an icon; the
  // Windows title bar stays without one.
  setWindowIcon(ProgramIcon());
#endif
  setFixedSize(MainFormWidth, MainFormHeight);
  setFont(WindowFont(MainFormFontPixels));
  CreateFormControls(*this);
  FindControls();
  bgThumbs->SetSites(&FSession.Sites());
  FSession.SetListener(bgThumbs);

  edMasterPass->installEventFilter(this);
  if (auto *secretBox = dynamic_cast<TKvSecretBox *>(edPassword))
    secretBox->SetClipboardGuard(FClipboard);
  CreatePasswordActions();
  edURL->setValidator(new TKvSingleLineValidator(edURL));
  edLogin->setValidator(new TKvSingleLineValidator(edLogin));
  new TKvLoginCompletion(*edLogin);
  On(new TKvSiteLink(*lbSite), &TKvSiteLink::Clicked, &TfmMain::lbSiteClick);

  QWidget *order[] = {edMasterPass,   cbSave, edPassword, bbGenerate, bbClose,
                      cbRunOnStartup, edURL,  bgThumbs,   edLogin};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i)
    setTabOrder(order[i], order[i + 1]);
  edMasterPass->setFocus();
  ConnectHandlers();
}

void TfmMain::CreatePasswordActions() {
  // Trailing actions line up from the box's right edge inwards: the rules first, the offer beside.
  acSiteRules = new QAction(style()->standardIcon(QStyle::SP_FileDialogDetailedView),
                            QStringLiteral("Site rules…"), edPassword);
  acSiteRules->setObjectName(QStringLiteral("acSiteRules"));
  acSiteRules->setToolTip(QStringLiteral("Site rules and password version (Ctrl+R)"));
  acSiteRules->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
  acSiteRules->setShortcutContext(Qt::WindowShortcut);
  edPassword->addAction(acSiteRules, QLineEdit::TrailingPosition);
  acKnownRules = new QAction(style()->standardIcon(QStyle::SP_MessageBoxWarning),
                             QStringLiteral("Use the site's known rules"), edPassword);
  acKnownRules->setObjectName(QStringLiteral("acKnownRules"));
  edPassword->addAction(acKnownRules, QLineEdit::TrailingPosition);
  acKnownRules->setVisible(false); // hidden once added, as the box hides only a changed action
  for (QAction *action : {acSiteRules, acKnownRules})
    if (QWidget *button = ButtonOf(*action, *edPassword))
      button->setAccessibleName(action->text());
}

template <typename T> void TfmMain::Find(T *&control, const char *name) {
  control = findChild<T *>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly);
  Q_ASSERT(control);
}

void TfmMain::FindControls() {
  Find(Label1, "Label1");
  Find(edMasterPass, "edMasterPass");
  Find(cbRunOnStartup, "cbRunOnStartup");
  Find(cbSave, "cbSave");
  Find(Label2, "Label2");
  Find(bgThumbs, "bgThumbs");
  Find(edURL, "edURL");
  Find(sbDeleteURL, "sbDeleteURL");
  Find(Label3, "Label3");
  Find(edLogin, "edLogin");
  Find(sbDeleteLogin, "sbDeleteLogin");
  Find(Label4, "Label4");
  Find(edPassword, "edPassword");
  Find(sbCopy, "sbCopy");
  Find(bbGenerate, "bbGenerate");
  Find(bbClose, "bbClose");
  Find(lbSite, "lbSite");
}

template <typename TSender, typename TSignal>
void TfmMain::On(TSender *sender, TSignal signal, void (TfmMain::*handler)()) {
  connect(sender, signal, this,
          [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
}

void TfmMain::ConnectHandlers() {
  On(cbSave, &QCheckBox::toggled, &TfmMain::cbSaveClick);
  On(edMasterPass, &QLineEdit::textChanged, &TfmMain::edMasterPassChange);
  On(cbRunOnStartup, &QCheckBox::toggled, &TfmMain::cbRunOnStartupClick);
  On(bbGenerate, &QPushButton::clicked, &TfmMain::bbGenerateClick);
  On(sbCopy, &QToolButton::clicked, &TfmMain::sbCopyClick);
  connect(bgThumbs, &TKvThumbButtonGroup::ButtonClicked, this,
          [this](int position) { Guarded([this, position] { bgThumbsButtonClicked(position); }); });
  connect(bgThumbs, &TKvThumbButtonGroup::MoveRequested, this, [this](int from, int before) {
    Guarded([this, from, before] { FSession.MoveSite({from, before}); });
  });
  connect(bbClose, &QPushButton::clicked, this, &QDialog::reject);
  // Enter in a text box generates; its key goes no further (the login box's completion would
  // hand it on once more).
  for (QLineEdit *box : {edMasterPass, edURL, edLogin->lineEdit()})
    box->installEventFilter(this);
  On(edURL, &QLineEdit::textChanged, &TfmMain::edURLChange);
  // A password on show belongs to the master password, URL and login on show: any change of them
  // takes it away, so that "Copy" never hands over one of other inputs.
  connect(edMasterPass, &QLineEdit::textChanged, edPassword, &QLineEdit::clear);
  connect(edURL, &QLineEdit::textChanged, edPassword, &QLineEdit::clear);
  connect(edLogin, &QComboBox::editTextChanged, edPassword, &QLineEdit::clear);
  // What the box says of its password goes with it.
  connect(edPassword, &QLineEdit::textChanged, this, [this](const QString &password) {
    if (!password.isEmpty())
      return;
    edPassword->setToolTip({});
    acKnownRules->setVisible(false);
  });
  On(acSiteRules, &QAction::triggered, &TfmMain::acSiteRulesClick);
  On(acKnownRules, &QAction::triggered, &TfmMain::acKnownRulesClick);
  On(sbDeleteLogin, &QToolButton::clicked, &TfmMain::sbDeleteLoginClick);
  On(sbDeleteURL, &QToolButton::clicked, &TfmMain::sbDeleteURLClick);
}

void TfmMain::FormCreate() {
  // Both lists exist (empty) from here on. Each step runs even when an earlier one failed, and
  // the first error is reported at the end: an autostart entry that cannot be read must not keep
  // the sites from loading, or the close would have nothing of them to write back.
  TKvFirstError firstError;
  FConfigFile = GetConfigFileName(FEnv);
  firstError.Run([&] { EnsureDataFolder(FEnv); });
#ifdef KV_FINGERPRINT
  if (FingerprintShown(FConfigFile))
    FFingerprint = new TKvFingerprintView(*edMasterPass);
#endif

  firstError.Run([&] { FPlace.Restore(FConfigFile); });

  FFirst = true;
  Guarded([this] {
    std::u16string password;
    const TKvWipeOnExit wipe(password);
    if (FSavedPassword.Load(password)) {
      cbSave->setChecked(true);
      edMasterPass->setText(Q(password));
      ShowFingerprint();
    }
  });
  FFirst = false;

  firstError.Run([&] {
    if (!GetAutoRun(FEnv).empty())
      cbRunOnStartup->setChecked(true);
  });
  firstError.Run([&] {
    FSession.Open();
    ReportNotices();
  });

  if (firstError.Message)
    ReportError(*firstError.Message);
}

void TfmMain::FormDestroy() {
  if (FDestroyed)
    return;
  FDestroyed = true;
  SaveState();
}

void TfmMain::SaveState() {
  Guarded([this] { FSession.Save(FPlace.ToKeep()); });
  ReportNotices();
}

void TfmMain::ReportNotices() {
  for (const std::u16string &notice : FSession.TakeNotices())
    ReportError(notice);
}

void TfmMain::ReportError(const std::u16string &message) {
  if (FErrorReport)
    FErrorReport(message);
  else
    ShowErrorBox(message, isVisible() ? this : nullptr);
}

void TfmMain::Guarded(const std::function<void()> &action) {
  try {
    action();
  } catch (...) {
    ReportError(CurrentExceptionMessage());
  }
}

void TfmMain::StoreMasterPassword(void (TKvSavedMasterPassword::*store)(bool,
                                                                        const std::u16string &)) {
  std::u16string password = edMasterPass->text().toStdU16String();
  const TKvWipeOnExit wipe(password);
  (FSavedPassword.*store)(cbSave->isChecked(), password);
}

void TfmMain::KeepTickedOnFailure(QCheckBox *box, const std::function<void()> &change) {
  try {
    change();
  } catch (...) {
    if (!box->isChecked()) {
      // What the tick stands for stays, and the box says so again without changing anything.
      const QSignalBlocker blocker(box);
      box->setChecked(true);
    }
    throw;
  }
}

void TfmMain::cbSaveClick() {
  if (!FFirst)
    KeepTickedOnFailure(cbSave, [this] { StoreMasterPassword(&TKvSavedMasterPassword::Ticked); });
}

void TfmMain::ShowFingerprint() {
#ifdef KV_FINGERPRINT
  if (FFingerprint)
    FFingerprint->Show(edMasterPass->text());
#endif
}

void TfmMain::edMasterPassChange() {
#ifdef KV_FINGERPRINT
  if (FFingerprint)
    FFingerprint->Hide(); // a keystroke: the symbols would belong to the text before it
#endif
  if (!FFirst)
    StoreMasterPassword(&TKvSavedMasterPassword::Typed);
}

void TfmMain::cbRunOnStartupClick() {
  KeepTickedOnFailure(cbRunOnStartup,
                      [this] { SetAutoRun(FProgramPath, !cbRunOnStartup->isChecked(), FEnv); });
}

void TfmMain::ShowWarning(const std::u16string &message) {
  if (FWarningBox) {
    FWarningBox(u"Error", message);
    return;
  }
  OpenMessageBox(QMessageBox::Warning, QStringLiteral("Error"), Q(message), this);
}

int TfmMain::SelectedLogin() const {
  const QString text = edLogin->currentText();
  for (int i = 0; i < edLogin->count(); ++i)
    if (edLogin->itemText(i) == text)
      return i;
  return -1;
}

void TfmMain::OfferLogin(const QString &login) {
  if (SelectedLogin() >= 0)
    return;
  edLogin->addItem(login);
  // Adding to an empty list makes the new entry current, whose text is the login already.
  if (edLogin->currentText() != login)
    edLogin->setEditText(login);
}

void TfmMain::bbGenerateClick() {
  ShowFingerprint();
  std::u16string master = edMasterPass->text().toStdU16String();
  const TKvWipeOnExit wipeMaster(master);
  const std::u16string url = edURL->text().toStdU16String();
  const std::u16string login = edLogin->currentText().toStdU16String();
  // A password on show always belongs to the inputs on show.
  edPassword->clear();
  if (const std::optional<std::u16string> refused = RefusedGenerateInput(master, url))
    return ShowWarning(*refused);

  ShowPassword(master, url, login);
  OfferLogin(Q(login));
  FSession.RecordGenerated(url, login);
}

void TfmMain::ShowPassword(const std::u16string &master, const std::u16string &url,
                           const std::u16string &login) {
  const TKvPasswordRecipe recipe = FSession.Recipe(url, login);
  std::u16string derived = DeriveSitePassword(master, url, login, recipe.Version, recipe.Rules);
  const TKvWipeOnExit wipeDerived(derived);
  edPassword->setText(Q(derived));
  edPassword->setToolTip(Q(RecipeDescription(recipe)));
  const std::optional<TKvKnownRule> offer = OfferedKnownRule(url, recipe, derived);
  const QString offerText = offer ? Q(KnownRuleOfferText(*offer)) : QString();
  acKnownRules->setToolTip(offerText);
  acKnownRules->setVisible(offer.has_value());
  // A screen reader gets what the tooltip says.
  if (QWidget *button = ButtonOf(*acKnownRules, *edPassword))
    button->setAccessibleDescription(offerText);
}

void TfmMain::ShowPasswordAgain() {
  std::u16string master = edMasterPass->text().toStdU16String();
  const TKvWipeOnExit wipeMaster(master);
  // The box empties first: a failure leaves no password of the rules before.
  edPassword->clear();
  ShowPassword(master, edURL->text().toStdU16String(), edLogin->currentText().toStdU16String());
}

void TfmMain::acKnownRulesClick() {
  const std::u16string url = edURL->text().toStdU16String();
  const std::optional<TKvKnownRule> known = KnownRuleForURL(url);
  if (!known)
    return;
  FSession.SetRules(url, std::u16string(known->Rules), std::u16string(known->Domain));
  ShowPasswordAgain();
}

void TfmMain::acSiteRulesClick() {
  std::u16string master = edMasterPass->text().toStdU16String();
  const TKvWipeOnExit wipeMaster(master);
  const std::u16string url = edURL->text().toStdU16String();
  const std::u16string login = edLogin->currentText().toStdU16String();
  if (const std::optional<std::u16string> refused = RefusedGenerateInput(master, url))
    return ShowWarning(*refused);
  // Window-modal: the tray's menu, and so "Exit", stays within reach.
  auto *dialog =
      new TKvSiteRulesDialog(master, url, login, FSession.Recipe(url, login), FClipboard, this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setFont(font());
  connect(dialog, &QDialog::accepted, this, [this, dialog, url, login] {
    Guarded([&] {
      const std::u16string rules = dialog->Rules();
      FSession.SetRules(url, rules, RulesFromFor(url, rules));
      FSession.SetVersion(url, login, dialog->Version());
      if (!edPassword->text().isEmpty())
        ShowPasswordAgain();
    });
  });
  dialog->open();
}

void TfmMain::sbCopyClick() {
  edPassword->selectAll();
  FClipboard.Copy(edPassword->selectedText());
}

void TfmMain::bgThumbsButtonClicked(int32_t P) {
  const TKvSiteChoice choice = FSession.Choose(P);
  edPassword->clear();
  edURL->setText(Q(choice.URL));
  edLogin->clear();
  edLogin->clearEditText();
  for (const std::u16string &login : choice.Logins)
    edLogin->addItem(Q(login));
  // Qt makes the first entry current when entries come into an empty list; the user picks one,
  // unless the site has a last used login: that one stands, selected, so typing replaces it.
  edLogin->setCurrentIndex(-1);
  edLogin->clearEditText();
  if (choice.LastLogin) {
    edLogin->setEditText(Q(*choice.LastLogin));
    edLogin->lineEdit()->selectAll();
  }
}

void TfmMain::edURLChange() {
  edLogin->clear();
  edLogin->clearEditText();
}

void TfmMain::lbSiteClick() {
  if (FOpenAddress)
    FOpenAddress(HomePageAddress());
  else
    OpenWebAddress(HomePageAddress().toStdU16String());
}

void TfmMain::sbDeleteLoginClick() {
  const int selected = SelectedLogin();
  if (selected < 0 || !FSession.DeleteLogin(edURL->text().toStdU16String(),
                                            edLogin->currentText().toStdU16String()))
    return;
  edLogin->removeItem(selected);
  edLogin->setCurrentIndex(-1);
  edLogin->clearEditText();
}

void TfmMain::sbDeleteURLClick() {
  if (!FSession.DeleteSite(edURL->text().toStdU16String()))
    return;
  edURL->clear();
  edLogin->clearEditText();
}

bool TfmMain::eventFilter(QObject *watched, QEvent *event) {
  // The user moving the focus on (Tab, Shift+Tab, a click, a shortcut) finishes the entry. A
  // window that takes the focus (an error box, another program) or a pop-up menu only interrupts
  // it.
  if (watched == edMasterPass && event->type() == QEvent::FocusOut) {
    const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
    if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
        reason == Qt::MouseFocusReason || reason == Qt::ShortcutFocusReason)
      Guarded([this] { ShowFingerprint(); });
  }
  if (event->type() == QEvent::KeyPress &&
      (watched == edMasterPass || watched == edURL || watched == edLogin->lineEdit())) {
    const int key = static_cast<QKeyEvent *>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      bbGenerate->click();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TfmMain::keyPressEvent(QKeyEvent *event) {
  // Escape is Close, saving as Close does; Enter generates from the text boxes (eventFilter) and
  // does nothing elsewhere: no button of the window is a default one.
  const int key = event->key();
  if (key == Qt::Key_Escape)
    bbClose->click();
  else if (key == Qt::Key_Return || key == Qt::Key_Enter)
    event->ignore();
  else
    QDialog::keyPressEvent(event);
}

void TfmMain::moveEvent(QMoveEvent *event) {
  QDialog::moveEvent(event);
  FPlace.Remember();
}

void TfmMain::closeEvent(QCloseEvent *event) {
  FPlace.Remember();
  QDialog::closeEvent(event);
}

void TfmMain::done(int result) {
  FPlace.Remember();
  QDialog::done(result);
}
