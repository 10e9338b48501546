// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The "Site rules" dialog for one URL and login: the password's version, with a step to a new
// password and back to the previous one; the site's rules as text and as plain controls kept in
// step with it (RuleChoices); the known rules of the site at one click; and whether the password
// these values give meets the rules, or why the rules cannot be used (OK is disabled then). It
// changes nothing itself: whoever opened it stores Rules() and Version() when it is accepted. While
// its values give a new password, the one the site has now can be copied, for the site's form
// that asks for the current password beside the new one.

#include "sites/SiteSession.h"
#include "ui/SecretClipboard.h"

#include <QDialog>
#include <cstdint>
#include <string>

class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
struct TKvRuleChoices;

class TKvSiteRulesDialog : public QDialog {
  Q_OBJECT

public:
  // master is kept (and wiped when the dialog goes) to derive the password live; recipe is what
  // url and login have now. The password of recipe is copied through clipboard.
  TKvSiteRulesDialog(const std::u16string &master, std::u16string url, std::u16string login,
                     const TKvPasswordRecipe &recipe, TKvClipboardGuard &clipboard,
                     QWidget *parent = nullptr);
  ~TKvSiteRulesDialog() override;
  TKvSiteRulesDialog(const TKvSiteRulesDialog &) = delete;
  TKvSiteRulesDialog &operator=(const TKvSiteRulesDialog &) = delete;

  std::u16string Rules() const;
  int32_t Version() const;

private:
  void CreateControls();
  // The controls show the text's rules; a text that does not parse leaves them as they are.
  void RulesChanged();
  // The text becomes the controls' rules.
  void ChoicesChanged();
  void ShowChoices(const TKvRuleChoices &choices);
  // Derives the password for the dialog's values and says whether it meets the rules.
  void Check();

  std::u16string FMaster;
  std::u16string FURL;
  std::u16string FLogin;
  TKvClipboardGuard &FClipboard;
  std::u16string FPasswordNow; // what url and login give before the dialog; empty if unusable
  bool FSyncing = false;       // the dialog itself is setting the controls or the text

public:
  // The controls, named as their object names.
  QSpinBox *sbVersion;
  QPushButton *bbNewPassword;
  QPushButton *bbPreviousPassword;
  QLineEdit *edRules;
  QSpinBox *sbMinLength;
  QSpinBox *sbMaxLength;
  QCheckBox *cbLower;
  QCheckBox *cbUpper;
  QCheckBox *cbDigit;
  QCheckBox *cbSymbol;
  QLineEdit *edSymbols;
  QLabel *lbClosest; // shown when the controls cannot show the text's rules exactly
  QPushButton *bbKnownRules;
  QLabel *lbCheck;
  QPushButton *bbCopyCurrent; // enabled while the values give another password than the site's
  QDialogButtonBox *bxButtons;
};
