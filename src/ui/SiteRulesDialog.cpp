// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SiteRulesDialog.h"

#include "common/KvError.h"
#include "common/SecureZero.h"
#include "crypto/PasswordRules.h"
#include "crypto/SitePassword.h"
#include "sites/KnownRules.h"
#include "sites/RuleChoices.h"
#include "sites/URLParser.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QVBoxLayout>
#include <limits>
#include <optional>
#include <utility>

namespace {

QString Q(std::u16string_view text) {
  return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

void Wipe(std::u16string &text) {
  SecureZero(text.data(), text.size() * sizeof(char16_t));
}

// The URL's host for the user, or the URL itself when it has none.
std::u16string HostOf(const std::u16string &url) {
  const std::optional<std::u16string> host = SiteHost(url);
  return host && !host->empty() ? *host : url;
}

QPushButton *Button(const QString &caption, const char *name, QWidget *parent) {
  auto *button = new QPushButton(caption, parent);
  button->setObjectName(QString::fromLatin1(name));
  // Enter takes OK, never a step of the version.
  button->setAutoDefault(false);
  return button;
}

QSpinBox *Length(const char *name, const QString &accessibleName, QWidget *parent) {
  auto *box = new QSpinBox(parent);
  box->setObjectName(QString::fromLatin1(name));
  box->setRange(0, 128);
  box->setSpecialValueText(QStringLiteral("none"));
  box->setAccessibleName(accessibleName);
  return box;
}

QCheckBox *Need(const QString &caption, const char *name, QWidget *parent) {
  auto *box = new QCheckBox(caption, parent);
  box->setObjectName(QString::fromLatin1(name));
  return box;
}

QLabel *Label(const QString &caption, QWidget *buddy, QWidget *parent) {
  auto *label = new QLabel(caption, parent);
  label->setBuddy(buddy);
  return label;
}

} // namespace

TKvSiteRulesDialog::TKvSiteRulesDialog(const std::u16string &master, std::u16string url,
                                       std::u16string login, const TKvPasswordRecipe &recipe,
                                       TKvClipboardGuard &clipboard, QWidget *parent)
    : QDialog(parent), FMaster(master), FURL(std::move(url)), FLogin(std::move(login)),
      FClipboard(clipboard) {
  try {
    FPasswordNow = DeriveSitePassword(FMaster, FURL, FLogin, recipe.Version, recipe.Rules);
  } catch (const EKvError &) {
    // Rules stored that cannot be used give no password now: every usable choice is new.
  }
  CreateControls();
  FSyncing = true;
  sbVersion->setValue(recipe.Version);
  bbPreviousPassword->setEnabled(recipe.Version > 1);
  edRules->setText(Q(recipe.Rules));
  edRules->setCursorPosition(0); // a long rule reads from its start
  FSyncing = false;
  RulesChanged();
}

TKvSiteRulesDialog::~TKvSiteRulesDialog() {
  Wipe(FMaster);
  Wipe(FPasswordNow);
}

void TKvSiteRulesDialog::CreateControls() {
  setObjectName(QStringLiteral("fmSiteRules"));
  setWindowTitle(QStringLiteral("Site rules for %1").arg(Q(HostOf(FURL))));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);

  sbVersion = new QSpinBox(this);
  sbVersion->setObjectName(QStringLiteral("sbVersion"));
  sbVersion->setRange(1, std::numeric_limits<int>::max());
  sbVersion->setAccessibleName(QStringLiteral("Password version"));
  bbNewPassword = Button(QStringLiteral("&New password"), "bbNewPassword", this);
  bbNewPassword->setToolTip(QStringLiteral("The next version: a password never used before"));
  bbPreviousPassword = Button(QStringLiteral("&Previous password"), "bbPreviousPassword", this);
  bbPreviousPassword->setToolTip(
      QStringLiteral("The version before, for the site's form that asks for the old password"));

  edRules = new QLineEdit(this);
  edRules->setObjectName(QStringLiteral("edRules"));
  edRules->setAccessibleName(QStringLiteral("Site rules"));
  edRules->setPlaceholderText(QStringLiteral("none: any password"));
  edRules->setMinimumWidth(420);
  sbMinLength = Length("sbMinLength", QStringLiteral("Shortest length"), this);
  sbMaxLength = Length("sbMaxLength", QStringLiteral("Longest length"), this);
  cbLower = Need(QStringLiteral("a &lower-case letter"), "cbLower", this);
  cbUpper = Need(QStringLiteral("a c&apital"), "cbUpper", this);
  cbDigit = Need(QStringLiteral("a &digit"), "cbDigit", this);
  cbSymbol = Need(QStringLiteral("a &symbol"), "cbSymbol", this);
  edSymbols = new QLineEdit(this);
  edSymbols->setObjectName(QStringLiteral("edSymbols"));
  edSymbols->setAccessibleName(QStringLiteral("Symbols the site accepts"));
  edSymbols->setValidator(new QRegularExpressionValidator(
      QRegularExpression(QStringLiteral("[%1]*").arg(QRegularExpression::escape(Q(AllSymbols)))),
      edSymbols));
  lbClosest = new QLabel(
      QStringLiteral("These rules say more than the boxes can show: they show the closest."), this);
  lbClosest->setObjectName(QStringLiteral("lbClosest"));
  lbClosest->setWordWrap(true);

  const std::optional<TKvKnownRule> known = KnownRuleForURL(FURL);
  bbKnownRules = Button(QStringLiteral("Use the &known rules for %1").arg(Q(HostOf(FURL))),
                        "bbKnownRules", this);
  bbKnownRules->setEnabled(known.has_value());
  if (known)
    bbKnownRules->setToolTip(QStringLiteral("%1 for %2: %3")
                                 .arg(Q(KnownRulesSource), Q(known->Domain), Q(known->Rules)));
  lbCheck = new QLabel(this);
  lbCheck->setObjectName(QStringLiteral("lbCheck"));
  lbCheck->setWordWrap(true);
  bbCopyCurrent = Button(QStringLiteral("Copy c&urrent password"), "bbCopyCurrent", this);
  bbCopyCurrent->setToolTip(
      QStringLiteral("Copies the password the site has now, for its form's current password. The "
                     "new password is in the window once you press OK."));
  bbCopyCurrent->setEnabled(false);
  bxButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  bxButtons->setObjectName(QStringLiteral("bxButtons"));

  auto *grid = new QGridLayout;
  grid->addWidget(Label(QStringLiteral("Password &version:"), sbVersion, this), 0, 0);
  auto *version = new QHBoxLayout;
  version->addWidget(sbVersion);
  version->addWidget(bbNewPassword);
  version->addWidget(bbPreviousPassword);
  version->addStretch();
  grid->addLayout(version, 0, 1);
  grid->addWidget(Label(QStringLiteral("&Rules:"), edRules, this), 1, 0);
  grid->addWidget(edRules, 1, 1);
  grid->addWidget(Label(QStringLiteral("Length &from:"), sbMinLength, this), 2, 0);
  auto *length = new QHBoxLayout;
  length->addWidget(sbMinLength);
  length->addWidget(Label(QStringLiteral("&to:"), sbMaxLength, this));
  length->addWidget(sbMaxLength);
  length->addStretch();
  grid->addLayout(length, 2, 1);
  grid->addWidget(new QLabel(QStringLiteral("Needs:"), this), 3, 0);
  auto *needs = new QHBoxLayout;
  for (QCheckBox *box : {cbLower, cbUpper, cbDigit, cbSymbol})
    needs->addWidget(box);
  needs->addStretch();
  grid->addLayout(needs, 3, 1);
  grid->addWidget(Label(QStringLiteral("S&ymbols it accepts:"), edSymbols, this), 4, 0);
  grid->addWidget(edSymbols, 4, 1);
  grid->addWidget(lbClosest, 5, 1);

  auto *column = new QVBoxLayout(this);
  column->addLayout(grid);
  column->addWidget(bbKnownRules, 0, Qt::AlignLeft);
  auto *check = new QHBoxLayout;
  check->addWidget(lbCheck, 1);
  check->addWidget(bbCopyCurrent, 0, Qt::AlignTop);
  column->addLayout(check);
  column->addWidget(bxButtons);
  column->setSizeConstraint(QLayout::SetFixedSize);

  connect(bbNewPassword, &QPushButton::clicked, sbVersion, &QSpinBox::stepUp);
  connect(bbPreviousPassword, &QPushButton::clicked, sbVersion, &QSpinBox::stepDown);
  connect(sbVersion, &QSpinBox::valueChanged, this, [this](int value) {
    bbPreviousPassword->setEnabled(value > 1);
    Check();
  });
  connect(edRules, &QLineEdit::textChanged, this, &TKvSiteRulesDialog::RulesChanged);
  for (QSpinBox *box : {sbMinLength, sbMaxLength})
    connect(box, &QSpinBox::valueChanged, this, &TKvSiteRulesDialog::ChoicesChanged);
  for (QCheckBox *box : {cbLower, cbUpper, cbDigit, cbSymbol})
    connect(box, &QCheckBox::toggled, this, &TKvSiteRulesDialog::ChoicesChanged);
  connect(edSymbols, &QLineEdit::textChanged, this, &TKvSiteRulesDialog::ChoicesChanged);
  if (known)
    connect(bbKnownRules, &QPushButton::clicked, edRules, [this, rules = Q(known->Rules)] {
      edRules->setText(rules);
      edRules->setCursorPosition(0);
    });
  connect(bbCopyCurrent, &QPushButton::clicked, this,
          [this] { FClipboard.Copy(QString::fromStdU16String(FPasswordNow)); });
  connect(bxButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(bxButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

std::u16string TKvSiteRulesDialog::Rules() const {
  return edRules->text().toStdU16String();
}

int32_t TKvSiteRulesDialog::Version() const {
  return sbVersion->value();
}

void TKvSiteRulesDialog::ShowChoices(const TKvRuleChoices &choices) {
  FSyncing = true;
  sbMinLength->setValue(choices.MinLength);
  sbMaxLength->setValue(choices.MaxLength);
  cbLower->setChecked(choices.NeedsLower);
  cbUpper->setChecked(choices.NeedsUpper);
  cbDigit->setChecked(choices.NeedsDigit);
  cbSymbol->setChecked(choices.NeedsSymbol);
  edSymbols->setText(Q(choices.Symbols));
  FSyncing = false;
}

void TKvSiteRulesDialog::RulesChanged() {
  if (FSyncing)
    return;
  try {
    const TKvRuleReading reading = ReadRuleChoices(Rules());
    ShowChoices(reading.Choices);
    lbClosest->setVisible(!reading.Exact);
  } catch (const EKvError &) {
    lbClosest->setVisible(false); // Check says why the text cannot be used
  }
  Check();
}

void TKvSiteRulesDialog::ChoicesChanged() {
  if (FSyncing)
    return;
  TKvRuleChoices choices;
  choices.MinLength = sbMinLength->value();
  choices.MaxLength = sbMaxLength->value();
  choices.NeedsLower = cbLower->isChecked();
  choices.NeedsUpper = cbUpper->isChecked();
  choices.NeedsDigit = cbDigit->isChecked();
  choices.NeedsSymbol = cbSymbol->isChecked();
  choices.Symbols = edSymbols->text().toStdU16String();
  FSyncing = true;
  edRules->setText(Q(RuleText(choices)));
  FSyncing = false;
  lbClosest->setVisible(false);
  Check();
}

void TKvSiteRulesDialog::Check() {
  QPushButton *ok = bxButtons->button(QDialogButtonBox::Ok);
  try {
    const std::u16string rules = Rules();
    std::u16string password = DeriveSitePassword(FMaster, FURL, FLogin, Version(), rules);
    const bool meets =
        NoPasswordRules(rules) || MeetsPasswordRules(ParsePasswordRules(rules), password);
    const bool same = password == FPasswordNow;
    Wipe(password);
    lbCheck->setText((meets ? QStringLiteral("The password meets these rules.")
                            : QStringLiteral("The password does not meet these rules.")) +
                     (same ? QStringLiteral(" It is the password you have now.")
                           : QStringLiteral(" It is a new password: set it on the site as well.")));
    ok->setEnabled(true);
    bbCopyCurrent->setEnabled(!same && !FPasswordNow.empty());
  } catch (...) {
    lbCheck->setText(QString::fromStdU16String(CurrentExceptionMessage()));
    ok->setEnabled(false);
    bbCopyCurrent->setEnabled(false);
  }
}
