// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MainFrm.h"

#include "common/KvError.h"
#include "common/SecureZero.h"
#include "crypto/SitePassword.h"
#include "platform/DataProtection.h"
#include "platform/Environment.h"
#include "platform/WebBrowser.h"
#include "storage/MasterPassword.h"
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
#include "ui/ThumbButtonGroup.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <algorithm>
#include <optional>
#include <utility>

#ifndef KV_HOMEPAGE
#define KV_HOMEPAGE "https://www.korvane.org"
#endif

namespace {

QString Q(const std::u16string &text) {
  return QString::fromStdU16String(text);
}

} // namespace

QString HomePageAddress() {
  return QStringLiteral(KV_HOMEPAGE);
}

TfmMain::TfmMain(const IKvEnvironment &env, IKvDataProtection &protection,
                 TKvClipboardGuard &clipboard, std::u16string programPath,
                 TKvErrorReport errorReport, QWidget *parent)
    : QDialog(parent), FEnv(env), FProtection(protection), FClipboard(clipboard),
      FProgramPath(std::move(programPath)), FErrorReport(std::move(errorReport)),
      FSession(GetURLsFileName(env), GetLoginsFileName(env), GetConfigFileName(env)) {
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
  edURL->setValidator(new TKvSingleLineValidator(edURL));
  edLogin->setValidator(new TKvSingleLineValidator(edLogin));
  new TKvLoginCompletion(*edLogin);
  PlaceSiteLink();

  QWidget *order[] = {edMasterPass,   cbSave, edPassword, bbGenerate, bbClose,
                      cbRunOnStartup, edURL,  bgThumbs,   edLogin};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i)
    setTabOrder(order[i], order[i + 1]);
  edMasterPass->setFocus();
  ConnectHandlers();
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

void TfmMain::PlaceSiteLink() {
  lbSite->setText(lbSite->text() + HomePageAddress());
  lbSite->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  lbSite->setTextFormat(Qt::PlainText);
  // Like a label that sizes itself to its text, it keeps its right edge and grows to the left
  // when a packager's longer address does not fit.
  const int right = lbSite->x() + lbSite->width();
  const int width =
      std::max(lbSite->width(), lbSite->fontMetrics().horizontalAdvance(lbSite->text()) + 2);
  lbSite->setGeometry(std::max(0, right - width), lbSite->y(), std::min(width, right),
                      lbSite->height());
  lbSite->setMouseTracking(true);
  lbSite->installEventFilter(this);
}

void TfmMain::ConnectHandlers() {
  connect(cbSave, &QCheckBox::toggled, this, [this] { Guarded([this] { cbSaveClick(); }); });
  connect(edMasterPass, &QLineEdit::textChanged, this,
          [this] { Guarded([this] { edMasterPassChange(); }); });
  connect(cbRunOnStartup, &QCheckBox::toggled, this,
          [this] { Guarded([this] { cbRunOnStartupClick(); }); });
  connect(bbGenerate, &QPushButton::clicked, this,
          [this] { Guarded([this] { bbGenerateClick(); }); });
  connect(sbCopy, &QToolButton::clicked, this, [this] { Guarded([this] { sbCopyClick(); }); });
  connect(bgThumbs, &TKvThumbButtonGroup::ButtonClicked, this,
          [this](int position) { Guarded([this, position] { bgThumbsButtonClicked(position); }); });
  connect(bgThumbs, &TKvThumbButtonGroup::MoveRequested, this, [this](int from, int before) {
    Guarded([this, from, before] { FSession.MoveSite({from, before}); });
  });
  connect(bbClose, &QPushButton::clicked, this, [this] { Guarded([this] { bbCloseClick(); }); });
  connect(edURL, &QLineEdit::textChanged, this, [this] { Guarded([this] { edURLChange(); }); });
  // A password on show belongs to the master password, URL and login on show: any change of them
  // takes it away, so that "Copy" never hands over one of other inputs.
  connect(edMasterPass, &QLineEdit::textChanged, edPassword, &QLineEdit::clear);
  connect(edURL, &QLineEdit::textChanged, edPassword, &QLineEdit::clear);
  connect(edLogin, &QComboBox::editTextChanged, edPassword, &QLineEdit::clear);
  connect(sbDeleteLogin, &QToolButton::clicked, this,
          [this] { Guarded([this] { sbDeleteLoginClick(); }); });
  connect(sbDeleteURL, &QToolButton::clicked, this,
          [this] { Guarded([this] { sbDeleteURLClick(); }); });
}

void TfmMain::FormCreate() {
  // Both lists exist (empty) from here on. Each step runs even when an earlier one failed, and
  // the first error is reported at the end: an autostart entry that cannot be read must not keep
  // the sites from loading, or the close would have nothing of them to write back.
  TKvFirstError firstError;
  FMasterKeyFile = GetMasterKeyFileName(FEnv);
  FConfigFile = GetConfigFileName(FEnv);
  firstError.Run([&] { EnsureDataFolder(FEnv); });
#ifdef KV_FINGERPRINT
  if (FingerprintShown(FConfigFile))
    FFingerprint = new TKvFingerprintView(*edMasterPass);
#endif

  FPositionKept = WindowPositionKept(QGuiApplication::platformName().toStdU16String());
  if (FPositionKept)
    firstError.Run([&] {
      const TKvWindowPosition position = LoadWindowPosition(FConfigFile);
      move(x(), position.Top);
      move(position.Left, position.Top);
    });

  FFirst = true;
  TKvFirstError loadError;
  loadError.Run([&] {
    std::u16string password;
    const TKvWipeOnExit wipe(password);
    if (LoadMasterPassword(FMasterKeyFile, password, FProtection)) {
      cbSave->setChecked(true);
      edMasterPass->setText(Q(password));
      ShowFingerprint();
    }
  });
  FFirst = false;
  if (loadError.Message) {
    // The password may come back at a later opening (a keyring unlocked again), so master.key is
    // kept, and the user hears why the box is empty.
    FMasterKeyUnread = true;
    ReportError(u"The saved master password could not be read, and it is kept for a later "
                u"opening. " +
                *loadError.Message);
  }

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
  Guarded([this] { FSession.Save(PositionToKeep()); });
  ReportNotices();
}

std::optional<TKvWindowPosition> TfmMain::PositionToKeep() {
  if (!FPositionKept)
    return std::nullopt;
  if (isVisible())
    RememberPosition();
  const QPoint position = FWasShown ? FShownPosition : pos();
  return TKvWindowPosition{position.y(), position.x()};
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

void TfmMain::StoreMasterPassword() {
  if (cbSave->isChecked()) {
    std::u16string password = edMasterPass->text().toStdU16String();
    const TKvWipeOnExit wipe(password);
    SaveMasterPassword(password, FMasterKeyFile, FProtection);
  } else
    DeleteMasterPassword(FMasterKeyFile);
}

void TfmMain::cbSaveClick() {
  if (FFirst)
    return;
  try {
    StoreMasterPassword();
  } catch (...) {
    if (!cbSave->isChecked()) {
      // master.key stays, and the box says so again without saving anything anew.
      const QSignalBlocker blocker(cbSave);
      cbSave->setChecked(true);
    }
    FStoreFailureTold = true;
    throw;
  }
  FMasterKeyUnread = false;
  FStoreFailureTold = false;
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
  // A saved password that could not be read is replaced or deleted only by the user's tick or
  // untick, never by typing.
  if (FFirst || FMasterKeyUnread)
    return;
  // A failure that lasts would raise a box at every keystroke, and each box takes the focus: the
  // user hears of it once, and later changes retry quietly until one is stored.
  try {
    StoreMasterPassword();
  } catch (...) {
    if (FStoreFailureTold)
      return;
    FStoreFailureTold = true;
    throw;
  }
  FStoreFailureTold = false;
}

void TfmMain::cbRunOnStartupClick() {
  const bool ticked = cbRunOnStartup->isChecked();
  try {
    SetAutoRun(FProgramPath, !ticked, FEnv);
  } catch (...) {
    if (!ticked) {
      // The entry stays, and the box says so again without registering anew.
      const QSignalBlocker blocker(cbRunOnStartup);
      cbRunOnStartup->setChecked(true);
    }
    throw;
  }
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

  std::u16string derived = DeriveSitePassword(master, url, login);
  const TKvWipeOnExit wipeDerived(derived);
  OfferLogin(Q(login));
  edPassword->setText(Q(derived));
  FSession.RecordGenerated(url, login);
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
  // Qt makes the first entry current when entries come into an empty list; the user picks one.
  edLogin->setCurrentIndex(-1);
  edLogin->clearEditText();
}

void TfmMain::bbCloseClick() {
  reject();
}

void TfmMain::edURLChange() {
  edLogin->clear();
  edLogin->clearEditText();
}

void TfmMain::lbSiteMouseMove() {
  QFont font = lbSite->font();
  if (font.underline())
    return;
  font.setUnderline(true);
  lbSite->setFont(font);
}

void TfmMain::lbSiteMouseLeave() {
  QFont font = lbSite->font();
  if (!font.underline())
    return;
  font.setUnderline(false);
  lbSite->setFont(font);
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
  if (watched == edMasterPass && event->type() == QEvent::FocusOut) {
    // The user moving the focus on (Tab, Shift+Tab, a click, a shortcut) finishes the entry. A
    // window that takes the focus (an error box, another program) or a pop-up menu only
    // interrupts it.
    switch (static_cast<QFocusEvent *>(event)->reason()) {
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::MouseFocusReason:
    case Qt::ShortcutFocusReason:
      Guarded([this] { ShowFingerprint(); });
      break;
    default:
      break;
    }
  }
  if (watched == lbSite) {
    switch (event->type()) {
    case QEvent::MouseMove:
      Guarded([this] { lbSiteMouseMove(); });
      break;
    case QEvent::Leave:
      Guarded([this] { lbSiteMouseLeave(); });
      break;
    case QEvent::MouseButtonRelease: {
      const auto *mouse = static_cast<QMouseEvent *>(event);
      if (mouse->button() == Qt::LeftButton && lbSite->rect().contains(mouse->position().toPoint()))
        Guarded([this] { lbSiteClick(); });
      break;
    }
    default:
      break;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TfmMain::RememberPosition() {
  FShownPosition = pos();
  FWasShown = true;
}

void TfmMain::keyPressEvent(QKeyEvent *event) {
  // No cancel and no default button: Escape and Enter do nothing here.
  switch (event->key()) {
  case Qt::Key_Escape:
  case Qt::Key_Return:
  case Qt::Key_Enter:
    event->ignore();
    return;
  default:
    QDialog::keyPressEvent(event);
  }
}

void TfmMain::moveEvent(QMoveEvent *event) {
  QDialog::moveEvent(event);
  if (isVisible())
    RememberPosition();
}

void TfmMain::closeEvent(QCloseEvent *event) {
  if (isVisible())
    RememberPosition();
  QDialog::closeEvent(event);
}

void TfmMain::done(int result) {
  if (isVisible())
    RememberPosition();
  QDialog::done(result);
}
