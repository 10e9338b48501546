// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The main window: the master password, the recently-used sites, the URL and login boxes and the
// generated password. It reads its files when it is created (FormCreate) and writes the lists and
// its position back when it is destroyed (FormDestroy); nothing of it survives in between. Where
// the display platform keeps windows from knowing their position (Wayland), the position is
// neither read nor written (WindowPositionKept). What happens to the sites and logins is
// TKvSiteSession's to decide; the window shows it and forwards the user's actions. A password is
// derived with its site's rules and its login's version (the session's recipe); the password box's
// actions open the site rules dialog and offer a site's known rules that the password breaks.

#include "sites/SiteSession.h"
#include "storage/SavedMasterPassword.h"
#include "ui/SiteLink.h"
#include "ui/WindowPlace.h"

#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class IKvEnvironment;
class IKvDataProtection;
class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class TKvFingerprintView;
class TKvClipboardGuard;
class TKvThumbButtonGroup;

// Where the window's errors go; the default shows the program's error box.
using TKvErrorReport = std::function<void(const std::u16string &message)>;

// Shows a warning to the user: caption and message. The default is a box with the warning icon
// and one "OK" button, modal to the main window only.
using TKvWarningBox =
    std::function<void(const std::u16string &caption, const std::u16string &message)>;
// Hands an address to the platform to open in the default browser.
using TKvOpenAddress = std::function<void(const QString &address)>;

class TfmMain : public QDialog {
  Q_OBJECT

public:
  // env decides the data folder and the autostart entry; protection seals the saved master
  // password (one per run); every copy of the password goes through clipboard, the program's, which
  // takes it back later; programPath is what "Run on startup" registers. Runs FormCreate.
  TfmMain(const IKvEnvironment &env, IKvDataProtection &protection, TKvClipboardGuard &clipboard,
          std::u16string programPath, TKvErrorReport errorReport = {}, QWidget *parent = nullptr);
  // Runs FormDestroy when it has not run yet.
  ~TfmMain() override;

  // The closing sequence, SaveState. Runs once.
  void FormDestroy();
  // Writes what the window keeps: the position (where it is kept), then what changed of the lists.
  // Every step runs even when an earlier one fails; the first error goes to the error report, and
  // what the user should know of the files (a copy kept aside) follows it. The window stays as it
  // is; may run any number of times.
  void SaveState();

  // The site list and login list, and the site of a button, for tests.
  const TKvURLs &URLs() const { return FSession.URLs(); }
  const TKvLogins &Logins() const { return FSession.Logins(); }
  const TKvSite &Site(int position) const { return FSession.Sites().at(std::size_t(position)); }
  // The position of the button last clicked, -1 for none (TKvSiteSession::Remembered).
  int32_t LastClickedButton() const { return FSession.Remembered(); }

  // Replace how warnings are shown and how the home page is opened (tests capture both).
  void SetWarningBox(TKvWarningBox warningBox) { FWarningBox = std::move(warningBox); }
  void SetOpenAddress(TKvOpenAddress openAddress) { FOpenAddress = std::move(openAddress); }

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;
  void moveEvent(QMoveEvent *event) override;
  void closeEvent(QCloseEvent *event) override;
  void done(int result) override;

private:
  // Builds the controls from the form's table, then gives them what the table does not say.
  void CreateControls();
  // The password box's actions: "Site rules…" and the offer of the site's known rules.
  void CreatePasswordActions();
  template <typename T> void Find(T *&control, const char *name);
  void FindControls();
  // Connects signal of sender to handler, whose errors go to the error report.
  template <typename TSender, typename TSignal>
  void On(TSender *sender, TSignal signal, void (TfmMain::*handler)());
  void ConnectHandlers();
  void FormCreate();
  void ReportError(const std::u16string &message);
  void ReportNotices();

  // Hands the master password box's text and the tick to store.
  void StoreMasterPassword(void (TKvSavedMasterPassword::*store)(bool, const std::u16string &));
  // Computes the master password's fingerprint for a finished entry (the user moved the focus out
  // of the box, "Generate" was pressed, a saved password was loaded); never while the user types,
  // nor when another window or a pop-up menu takes the focus.
  void ShowFingerprint();
  // Runs change for the box's new tick; when an untick fails, the box is ticked again quietly.
  void KeepTickedOnFailure(QCheckBox *box, const std::function<void()> &change);
  void cbSaveClick();
  void edMasterPassChange();
  void cbRunOnStartupClick();
  void bbGenerateClick();
  // Shows the password of the recipe recorded for url and login, with what the box says of it and
  // the offer of the site's known rules where it stands. Raises the error of rules that cannot be
  // used; the box is left as it was then.
  void ShowPassword(const std::u16string &master, const std::u16string &url,
                    const std::u16string &login);
  // The same for the boxes' inputs, after their recipe changed.
  void ShowPasswordAgain();
  void acKnownRulesClick();
  void acSiteRulesClick();
  void sbCopyClick();
  void bgThumbsButtonClicked(int32_t P);
  void edURLChange();
  void lbSiteClick();
  void sbDeleteLoginClick();
  void sbDeleteURLClick();

  // The login drop-down's entry that its text equals exactly; -1 for none.
  int SelectedLogin() const;
  // Makes login an entry of the drop-down unless one is exactly it, keeping it as the text.
  void OfferLogin(const QString &login);
  void ShowWarning(const std::u16string &message);

  // Runs action; an error it raises goes to the error report instead of the event loop.
  void Guarded(const std::function<void()> &action);

  const IKvEnvironment &FEnv;
  TKvClipboardGuard &FClipboard;
  std::u16string FProgramPath;
  TKvErrorReport FErrorReport;
  TKvWarningBox FWarningBox;
  TKvOpenAddress FOpenAddress;

  // The window's state, as the closing sequence and the actions use it.
  bool FFirst = false;                   // FormCreate fills the boxes: their handlers store nothing
  TKvSavedMasterPassword FSavedPassword; // master.key
  TKvSiteSession FSession;               // the site list and the login list, with their files
  std::u16string FConfigFile;
  bool FDestroyed = false;
  TKvWindowPlace FPlace;
  TKvFingerprintView *FFingerprint = nullptr; // the box's; none where it is hidden or not built

public:
  // The controls, named as their object names.
  QLabel *Label1;
  QLineEdit *edMasterPass;
  QCheckBox *cbRunOnStartup;
  QCheckBox *cbSave;
  QLabel *Label2;
  TKvThumbButtonGroup *bgThumbs;
  QLineEdit *edURL;
  QToolButton *sbDeleteURL;
  QLabel *Label3;
  QComboBox *edLogin;
  QToolButton *sbDeleteLogin;
  QLabel *Label4;
  QLineEdit *edPassword;
  QToolButton *sbCopy;
  QAction *acSiteRules;  // the password box's
  QAction *acKnownRules; // the password box's, shown with the offer
  QPushButton *bbGenerate;
  QPushButton *bbClose;
  QLabel *lbSite;
};
