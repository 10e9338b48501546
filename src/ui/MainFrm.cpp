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
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProxyStyle>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <algorithm>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#ifndef KV_HOMEPAGE
#define KV_HOMEPAGE "https://www.korvane.org"
#endif

namespace {

QString Q(const std::u16string &text) {
  return QString::fromStdU16String(text);
}

// Shows every character of a password box as "*".
class TStarPasswordStyle : public QProxyStyle {
public:
  int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                QStyleHintReturn *returnData) const override {
    if (hint == SH_LineEdit_PasswordCharacter)
      return '*';
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
};

// Lower-cases "A" to "Z" only; every other character stays as it is.
std::u16string AsciiLower(std::u16string text) {
  for (char16_t &c : text)
    if (c >= u'A' && c <= u'Z')
      c = char16_t(c + (u'a' - u'A'));
  return text;
}

// Runs steps that must all be tried, keeping the message of the first that fails.
struct TFirstError {
  std::optional<std::u16string> Message;

  void Run(const std::function<void()> &step) {
    try {
      step();
    } catch (...) {
      if (!Message)
        Message = CurrentExceptionMessage();
    }
  }
};

} // namespace

QString HomePageAddress() {
  return QStringLiteral(KV_HOMEPAGE);
}

TfmMain::TfmMain(const IKvEnvironment &env, IKvDataProtection &protection,
                 TKvClipboardGuard &clipboard, std::u16string programPath,
                 TKvErrorReport errorReport, QWidget *parent)
    : QDialog(parent), FEnv(env), FProtection(protection), FClipboard(clipboard),
      FProgramPath(std::move(programPath)), FErrorReport(std::move(errorReport)),
      FSites(GetURLsFileName(env), GetLoginsFileName(env)) {
  CreateControls();
  FormCreate();
}

TfmMain::~TfmMain() {
  FormDestroy();
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

  auto *stars = new TStarPasswordStyle;
  stars->setParent(edMasterPass); // the box owns its style
  edMasterPass->setStyle(stars);
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
  connect(bgThumbs, &TKvThumbButtonGroup::ReorderButton, this,
          [this](int oldPosition, int newPosition) {
            Guarded([this, oldPosition, newPosition] {
              bgThumbsReorderButton(oldPosition, newPosition);
            });
          });
  connect(bbClose, &QPushButton::clicked, this, [this] { Guarded([this] { bbCloseClick(); }); });
  connect(edURL, &QLineEdit::textChanged, this, [this] { Guarded([this] { edURLChange(); }); });
  connect(sbDeleteLogin, &QToolButton::clicked, this,
          [this] { Guarded([this] { sbDeleteLoginClick(); }); });
  connect(sbDeleteURL, &QToolButton::clicked, this,
          [this] { Guarded([this] { sbDeleteURLClick(); }); });
}

void TfmMain::FormCreate() {
  // Both lists exist (empty) from here on. Each step runs even when an earlier one failed, and
  // the first error is reported at the end: an autostart entry that cannot be read must not keep
  // the sites from loading, or the close would have nothing of them to write back.
  FLastClickedButton = -1;
  TFirstError firstError;
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
  TFirstError loadError;
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
  firstError.Run([&] { LoadLists(); });

  if (firstError.Message)
    ReportError(*firstError.Message);
}

void TfmMain::LoadLists() {
  const bool linesTyped = SiteLinesAreTyped(FConfigFile);
  for (const TKvSite &site : FSites.Load(linesTyped))
    AddSiteButton(site);
  if (linesTyped)
    return;
  // Lines written before new sites kept their URL as typed now say what their buttons gave; they
  // reach the disk before config.ini records it, so a failure in between only repeats this at the
  // next opening, and until it is recorded new sites are listed as before. A folder that takes no
  // writes is reported by the closing.
  try {
    if (FSites.LinesRewritten())
      FSites.SaveURLs();
    RecordSiteLinesTyped(FConfigFile);
    FSites.SetLinesTyped();
  } catch (const EKvError &) {
  }
}

void TfmMain::AddSiteButton(const TKvSite &site) {
  const int position =
      bgThumbs->AddButton(QStringLiteral("   ") + Q(site.Host), 0,
                          QVariant::fromValue(TURLInfo::Create(site.Index, site.URL)));
  // Captions are cut to the button's width; the whole URL is a pointer's rest away.
  bgThumbs->SetToolTip(position, Q(site.URL));
}

TURLInfo TfmMain::ButtonInfo(int position) const {
  return bgThumbs->Data(position).value<TURLInfo>();
}

void TfmMain::FormDestroy() {
  if (FDestroyed)
    return;
  FDestroyed = true;
  for (int position = 0; position < bgThumbs->Count(); ++position)
    bgThumbs->SetData(position, {});
  SaveState();
}

void TfmMain::SaveState() {
  TFirstError firstError;
  if (FPositionKept) {
    if (isVisible())
      RememberPosition();
    const QPoint position = FWasShown ? FShownPosition : pos();
    firstError.Run([&] { SaveWindowPosition(FConfigFile, position.y(), position.x()); });
  }

  firstError.Run([&] { FSites.SaveURLs(); });
  firstError.Run([&] { FSites.SaveLogins(); });

  if (firstError.Message)
    ReportError(*firstError.Message);
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
    throw;
  }
  FMasterKeyUnread = false;
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
  StoreMasterPassword();
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

bool TfmMain::IsKnownURL(const std::u16string &Text) const {
  const std::u16string wanted = AsciiLower(Text);
  for (int position = 0; position < bgThumbs->Count(); ++position)
    if (AsciiLower(ButtonInfo(position).URL()) == wanted)
      return true;
  return false;
}

bool TfmMain::IsKnownLogin(int32_t Index, const std::u16string &Login) const {
  return FSites.Logins().IndexOf(IndexPrefix(Index) + Login) >= 0;
}

int32_t TfmMain::RememberedButtonInView() const {
  if (FLastClickedButton < 0 || FLastClickedButton >= bgThumbs->Count())
    return -1;
  if (AsciiLower(ButtonInfo(FLastClickedButton).URL()) !=
      AsciiLower(edURL->text().toStdU16String()))
    return -1;
  return FLastClickedButton;
}

int TfmMain::SelectedLogin() const {
  const QString text = edLogin->currentText();
  for (int i = 0; i < edLogin->count(); ++i)
    if (edLogin->itemText(i).compare(text, Qt::CaseInsensitive) == 0)
      return i;
  return -1;
}

void TfmMain::bbGenerateClick() {
  ShowFingerprint();
  std::u16string M = edMasterPass->text().toStdU16String();
  const TKvWipeOnExit wipeM(M);
  const std::u16string U = edURL->text().toStdU16String();
  const std::u16string L = edLogin->currentText().toStdU16String();
  if (const std::optional<std::u16string> refused = RefusedGenerateInput(M, U))
    return ShowWarning(*refused);

  std::u16string derived = DeriveSitePassword(M, U, L);
  const TKvWipeOnExit wipeDerived(derived);
  edPassword->setText(Q(derived));

  if (SelectedLogin() < 0) {
    edLogin->addItem(Q(L));
    // Adding to an empty list makes the new entry current, whose text is L already.
    if (edLogin->currentText() != Q(L))
      edLogin->setEditText(Q(L));
  }

  if (IsKnownURL(U)) {
    const int32_t remembered = RememberedButtonInView();
    if (remembered < 0)
      return;
    const int32_t N = ButtonInfo(remembered).Index();
    if (!L.empty() && !IsKnownLogin(N, L))
      FSites.Logins().AddLogin(N, L);
    return;
  }

  // The site goes into the list first: when that fails, no button is left without its site.
  const TKvSite site = FSites.AddSite(U);
  AddSiteButton(site);
  if (!L.empty())
    FSites.Logins().AddLogin(site.Index, L);
}

void TfmMain::sbCopyClick() {
  edPassword->selectAll();
  FClipboard.Copy(edPassword->selectedText());
}

void TfmMain::bgThumbsButtonClicked(int32_t P) {
  FLastClickedButton = P;
  edPassword->clear();
  const TURLInfo info = ButtonInfo(P);
  edURL->setText(Q(info.URL()));
  const std::unique_ptr<TKvStringList> logins = FSites.Logins().LoginsByIndex(info.Index());
  edLogin->clear();
  edLogin->clearEditText();
  for (int32_t i = 0; i < logins->Count(); ++i)
    edLogin->addItem(Q(logins->Get(i)));
  // Qt makes the first entry current when entries come into an empty list; the user picks one.
  edLogin->setCurrentIndex(-1);
  edLogin->clearEditText();
}

void TfmMain::bgThumbsReorderButton(int32_t Old, int32_t New) {
  FSites.MoveSite(Old, New);
  int32_t &last = FLastClickedButton;
  if (last == -1)
    return;
  if (last == Old)
    last = New;
  else if (Old < last && last <= New)
    --last;
  else if (New <= last && last < Old)
    ++last;
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
  const int32_t remembered = RememberedButtonInView();
  const int selected = SelectedLogin();
  if (remembered < 0 || edURL->text().isEmpty() || selected < 0)
    return;
  const int32_t N = ButtonInfo(remembered).Index();
  TKvLogins &logins = FSites.Logins();
  const int32_t line = logins.IndexOf(IndexPrefix(N) + edLogin->currentText().toStdU16String());
  if (line < 0)
    return;
  logins.Delete(line);
  edLogin->removeItem(selected);
  edLogin->setCurrentIndex(-1);
  edLogin->clearEditText();
}

void TfmMain::sbDeleteURLClick() {
  const int32_t remembered = RememberedButtonInView();
  if (remembered < 0 || edURL->text().isEmpty())
    return;
  FSites.RemoveSite(remembered);
  bgThumbs->RemoveButton(remembered);
  FLastClickedButton = -1;
  edURL->clear();
  edLogin->clearEditText();
}

bool TfmMain::eventFilter(QObject *watched, QEvent *event) {
  if (watched == edMasterPass && event->type() == QEvent::FocusOut)
    Guarded([this] { ShowFingerprint(); });
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
