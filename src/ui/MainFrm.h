// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The main window: the master password, the recently-used sites, the URL and login boxes and the
// generated password. It reads its files when it is created (FormCreate) and writes the lists and
// its position back when it is destroyed (FormDestroy); nothing of it survives in between. Where
// the display platform keeps windows from knowing their position (Wayland), the position is
// neither read nor written (WindowPositionKept).

#include "sites/SiteStore.h"

#include <QDialog>
#include <QMetaType>
#include <QPoint>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>

class IKvEnvironment;
class IKvDataProtection;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class TKvFingerprintView;
class TKvClipboardGuard;
class TKvThumbButtonGroup;

// The data of one recently-used-URL button: the site it stands for, its site index and the URL a
// click puts into the URL box, the URL its site's line holds.
class TURLInfo {
public:
  TURLInfo() = default;
  TURLInfo(TKvSiteId Site, int32_t Index, std::u16string URL)
      : FSite(Site), FIndex(Index), FURL(std::move(URL)) {}
  static TURLInfo Create(const TKvSite &site) { return {site.Id, site.Index, site.URL}; }

  TKvSiteId Site() const { return FSite; }
  int32_t Index() const { return FIndex; }
  const std::u16string &URL() const { return FURL; }

private:
  TKvSiteId FSite = 0;
  int32_t FIndex = 0;
  std::u16string FURL;
};
Q_DECLARE_METATYPE(TURLInfo)

// Where the window's errors go; the default shows the program's error box.
using TKvErrorReport = std::function<void(const std::u16string &message)>;

// Shows a warning to the user: caption and message. The default is a box with the warning icon
// and one "OK" button, modal to the main window only.
using TKvWarningBox =
    std::function<void(const std::u16string &caption, const std::u16string &message)>;
// Hands an address to the platform to open in the default browser.
using TKvOpenAddress = std::function<void(const QString &address)>;

// The address of the maker's home page that the window names (a build-time setting).
QString HomePageAddress();

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

  // The closing sequence: the buttons' data, then SaveState. Runs once.
  void FormDestroy();
  // Writes what the window keeps: the position (where it is kept), then what changed of the lists.
  // Every step runs even when an earlier one fails; the first error goes to the error report, and
  // what the user should know of the files (a copy kept aside) follows it. The window stays as it
  // is; may run any number of times.
  void SaveState();

  // The site list and login list as loaded, for the actions and for tests.
  const TKvURLs &URLs() const { return FSites.URLs(); }
  const TKvLogins &Logins() const { return FSites.Logins(); }
  int32_t LastClickedButton() const { return FLastClickedButton; }
  TURLInfo ButtonInfo(int position) const;

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
  template <typename T> void Find(T *&control, const char *name);
  void FindControls();
  void PlaceSiteLink();
  void ConnectHandlers();
  void FormCreate();
  void LoadLists();
  void RecordSiteLinesTyped();
  void AddSiteButton(const TKvSite &site);
  void ReportError(const std::u16string &message);
  void ReportNotices();
  void RememberPosition();

  // Writes the master password box's text to master.key while "Save password" is ticked, and
  // deletes master.key while it is not.
  void StoreMasterPassword();
  // Computes the master password's fingerprint for a finished entry (the user moved the focus out
  // of the box, "Generate" was pressed, a saved password was loaded); never while the user types,
  // nor when another window or a pop-up menu takes the focus.
  void ShowFingerprint();
  void cbSaveClick();
  void edMasterPassChange();
  void cbRunOnStartupClick();
  void bbGenerateClick();
  void sbCopyClick();
  void bgThumbsButtonClicked(int32_t P);
  void bgThumbsReorderButton(int32_t Old, int32_t New);
  void bbCloseClick();
  void edURLChange();
  void lbSiteMouseMove();
  void lbSiteMouseLeave();
  void lbSiteClick();
  void sbDeleteLoginClick();
  void sbDeleteURLClick();

  // Whether a button holds exactly Text: a URL that differs in any character, letter case
  // included, gives another password and so is another site.
  bool IsKnownURL(const std::u16string &Text) const;
  // The remembered button while the URL box still holds exactly its URL; -1
  // otherwise. The actions on a remembered site go through this, so a user who sees one URL never
  // changes another site's data.
  int32_t RememberedButtonInView() const;
  // The login drop-down's entry that its text equals exactly; -1 for none.
  int SelectedLogin() const;
  void ShowWarning(const std::u16string &message);

  // Runs action; an error it raises goes to the error report instead of the event loop.
  void Guarded(const std::function<void()> &action);

  const IKvEnvironment &FEnv;
  IKvDataProtection &FProtection;
  TKvClipboardGuard &FClipboard;
  std::u16string FProgramPath;
  TKvErrorReport FErrorReport;
  TKvWarningBox FWarningBox;
  TKvOpenAddress FOpenAddress;

  // The window's state, as the closing sequence and the actions use it.
  bool FFirst = false;
  // The last store of master.key failed and the user was told; later keystrokes retry quietly.
  bool FStoreFailureTold = false;
  bool FMasterKeyUnread = false;   // master.key was there at opening and could not be read
  TKvSiteStore FSites;             // the site list and the login list, with their files
  bool FSiteLinesToRecord = false; // new site lines keep their URL as typed, not yet in config.ini
  std::u16string FMasterKeyFile;
  std::u16string FConfigFile;
  int32_t FLastClickedButton = -1;
  bool FDestroyed = false;
  bool FPositionKept = true; // whether config.ini keeps the position on this display platform
  QPoint FShownPosition;     // the frame's corner while the window was last shown
  bool FWasShown = false;
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
  QPushButton *bbGenerate;
  QPushButton *bbClose;
  QLabel *lbSite;
};
