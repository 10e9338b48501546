// SPDX-License-Identifier: GPL-3.0-or-later
// Site rules and password versions in the window: Generate derives with the site's rules and the
// login's version, the "Site rules…" dialog changes them, and the known rules of a site are
// offered beside a password they would refuse.

#include "MainWindowFixture.h"
#include "crypto/PasswordRules.h"
#include "crypto/SitePassword.h"
#include "sites/KnownRules.h"
#include "ui/MainFormLayout.h"
#include "ui/SiteRulesDialog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>
#include <functional>

namespace {

const QString Master = QStringLiteral("correct horse battery staple");
const QString ChaseURL = QStringLiteral("https://secure.chase.com");
const QString ChaseLogin = QStringLiteral("alice@example.org");
const QString ChaseRules =
    QStringLiteral("minlength: 8; maxlength: 32; max-consecutive: 2; required: lower, upper; "
                   "required: digit; required: [!#$%+/=@~];");
const QString ExampleURL = QStringLiteral("https://www.example.com");

// Texts compared as std::string, which GoogleTest prints readably.
std::string S(const QString &text) {
  return text.toStdString();
}
std::string Utf8(const std::u16string &text) {
  return S(QString::fromStdU16String(text));
}

class SiteRulesWindowTest : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    Reopen();
  }
  // Closes the window when one is open, which writes its files, and opens it again.
  void Reopen() {
    window.reset();
    window = Open();
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  }

  void Generate(const QString &url, const QString &login) {
    window->edMasterPass->setText(Master);
    window->edURL->setText(url);
    window->edLogin->setEditText(login);
    window->bbGenerate->click();
  }
  QString Password() const { return window->edPassword->text(); }

  // "Site rules…" as the user reaches it: the dialog it opens over the window.
  TKvSiteRulesDialog *OpenRules() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // a dialog closed before
    QTest::keySequence(window.get(), QKeySequence(Qt::CTRL | Qt::Key_R));
    auto *dialog = window->findChild<TKvSiteRulesDialog *>();
    EXPECT_NE(dialog, nullptr);
    if (dialog) {
      EXPECT_TRUE(dialog->isVisible());
      EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    }
    return dialog;
  }
  static QPushButton *Ok(TKvSiteRulesDialog &dialog) {
    return dialog.bxButtons->button(QDialogButtonBox::Ok);
  }
  static QPushButton *Cancel(TKvSiteRulesDialog &dialog) {
    return dialog.bxButtons->button(QDialogButtonBox::Cancel);
  }

  // The button the password box shows for its action.
  QToolButton *ButtonOf(QAction *action) const {
    for (QObject *object : action->associatedObjects())
      if (auto *button = qobject_cast<QToolButton *>(object))
        return button;
    return nullptr;
  }
  bool OfferShown() const { return window->acKnownRules->isVisible(); }

  std::unique_ptr<TfmMain> window;
};

TEST_F(SiteRulesWindowTest, NewAndPreviousPasswordStepTheLoginsVersionWhichGenerateKeeps) {
  Generate(ExampleURL, "alice");
  EXPECT_EQ(S(Password()), "NJcthVVN=9NPjtym");
  EXPECT_EQ(S(window->edPassword->toolTip()), "");
  EXPECT_FALSE(OfferShown()) << "no known rules for the host";

  const struct {
    const char *Step;
    const char *Press; // in the dialog, before OK or Cancel
    bool Accept;
    const char *Password;
    const char *ToolTip;
  } steps[] = {
      {"new", "bbNewPassword", true, "lNGdGyHDIW6n94tk", "Password version 2"},
      {"another new", "bbNewPassword", true, "qZLlviwPRrsPCMm0", "Password version 3"},
      {"new, cancelled", "bbNewPassword", false, "qZLlviwPRrsPCMm0", "Password version 3"},
      {"previous", "bbPreviousPassword", true, "lNGdGyHDIW6n94tk", "Password version 2"},
      {"previous again", "bbPreviousPassword", true, "NJcthVVN=9NPjtym", ""},
  };
  for (const auto &step : steps) {
    SCOPED_TRACE(step.Step);
    TKvSiteRulesDialog *dialog = OpenRules();
    ASSERT_NE(dialog, nullptr);
    Control<QPushButton>(*dialog, step.Press)->click();
    (step.Accept ? Ok(*dialog) : Cancel(*dialog))->click();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(S(Password()), step.Password);
    EXPECT_EQ(S(window->edPassword->toolTip()), step.ToolTip);
  }

  // A change of password: the site's form asks for the current password beside the new one.
  {
    TKvSiteRulesDialog *dialog = OpenRules();
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(dialog->bbCopyCurrent->isEnabled()) << "nothing changed yet";
    dialog->bbNewPassword->click();
    ASSERT_TRUE(dialog->bbCopyCurrent->isEnabled());
    dialog->bbCopyCurrent->click();
    EXPECT_EQ(S(QGuiApplication::clipboard()->text()), "NJcthVVN=9NPjtym");
    Cancel(*dialog)->click();
  }

  // The version is the login's: another login starts at 1, and a later session keeps it.
  TKvSiteRulesDialog *dialog = OpenRules();
  ASSERT_NE(dialog, nullptr);
  dialog->bbNewPassword->click();
  EXPECT_TRUE(dialog->bbPreviousPassword->isEnabled());
  Ok(*dialog)->click();
  Generate(ExampleURL, "bob");
  EXPECT_EQ(S(Password()),
            Utf8(DeriveSitePassword(Master.toStdU16String(), ExampleURL.toStdU16String(), u"bob")));
  Reopen();
  Generate(ExampleURL, "alice");
  EXPECT_EQ(S(Password()), "lNGdGyHDIW6n94tk");
  EXPECT_EQ(S(window->edPassword->toolTip()), "Password version 2");
  EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
}

TEST_F(SiteRulesWindowTest, AKnownRuleThePasswordBreaksIsOfferedAndOneClickAttachesIt) {
  const QString chaseWords = QStringLiteral(
      "8 to 32 characters, with a lower-case letter or a capital, a digit and one of !#$%+/=@~; "
      "only letters, digits and !#$%+/=@~; no character more than 2 times in a row");
  const QString offerText = "chase.com may refuse this password. It asks for " + chaseWords +
                            ".\nClick to use its known rules: for a new account or a password "
                            "change.";
  const QString appliedText = "Site rules from " +
                              QString::fromStdU16String(std::u16string(KnownRulesSource)) +
                              " for chase.com: " + chaseWords;
  // A new site typed in, and a site of the list chosen by its button: the same offer.
  for (const bool stored : {false, true}) {
    SCOPED_TRACE(stored ? "a stored site" : "a new site");
    if (stored) {
      window.reset();
      std::filesystem::remove_all(data);
      Put("urls.db", "1:https://secure.chase.com\r\n");
      Put("logins.db", "1:alice@example.org\r\n");
      Reopen();
      window->edMasterPass->setText(Master);
      QTest::mouseClick(window->bgThumbs, Qt::LeftButton, {},
                        window->bgThumbs->ButtonRect(0).center());
      ASSERT_EQ(S(window->edURL->text()), S(ChaseURL));
      window->edLogin->setEditText(ChaseLogin);
      window->bbGenerate->click();
    } else {
      Generate(ChaseURL, ChaseLogin);
    }
    const QString plain = QString::fromStdU16String(DeriveSitePassword(
        Master.toStdU16String(), ChaseURL.toStdU16String(), ChaseLogin.toStdU16String()));
    ASSERT_EQ(S(Password()), S(plain));
    ASSERT_FALSE(MeetsPasswordRules(ParsePasswordRules(ChaseRules.toStdU16String()),
                                    plain.toStdU16String()));
    ASSERT_TRUE(OfferShown());
    EXPECT_EQ(S(window->acKnownRules->toolTip()), S(offerText));
    EXPECT_EQ(S(window->edPassword->toolTip()), "");

    // The offer sits in the box, beside "Site rules…", and the box keeps its place.
    const QToolButton *offer = ButtonOf(window->acKnownRules);
    const QToolButton *rules = ButtonOf(window->acSiteRules);
    ASSERT_TRUE(offer && rules);
    EXPECT_TRUE(offer->isVisible() && rules->isVisible());
    EXPECT_LT(offer->geometry().right(), rules->geometry().left());
    EXPECT_LE(rules->geometry().right(), window->edPassword->width());
    EXPECT_FALSE(offer->accessibleName().isEmpty());
    EXPECT_EQ(S(offer->accessibleDescription()), S(offerText));
    EXPECT_EQ(window->edPassword->geometry(), QRect(8, 299, 300, 27));

    QTest::mouseClick(const_cast<QToolButton *>(offer), Qt::LeftButton);
    EXPECT_EQ(S(Password()), "/XuTIsK1+VIqZ7ZH");
    EXPECT_FALSE(OfferShown());
    EXPECT_EQ(S(window->edPassword->toolTip()), S(appliedText));

    // Kept for the site: a later session gives the same password, says why, and offers nothing.
    Reopen();
    Generate(ChaseURL, ChaseLogin);
    EXPECT_EQ(S(Password()), "/XuTIsK1+VIqZ7ZH");
    EXPECT_EQ(S(window->edPassword->toolTip()), S(appliedText));
    EXPECT_FALSE(OfferShown());
    // Another input takes the password away, and what the box said of it.
    window->edLogin->setEditText("bob");
    EXPECT_EQ(S(window->edPassword->toolTip()), "");
    EXPECT_TRUE(Get("records.db").find("chase.com") != std::string::npos) << Get("records.db");
  }
  EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
}

TEST_F(SiteRulesWindowTest, TheDialogKeepsTheRuleTextAndItsControlsInStep) {
  Generate(ChaseURL, ChaseLogin);
  TKvSiteRulesDialog *dialog = OpenRules();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(S(dialog->edRules->text()), "");
  EXPECT_EQ(S(dialog->lbCheck->text()),
            "The password meets these rules. It is the password you have now.");
  EXPECT_TRUE(dialog->bbKnownRules->isEnabled());
  EXPECT_EQ(S(dialog->bbKnownRules->text()), "Use the &known rules for secure.chase.com");
  EXPECT_FALSE(dialog->bbPreviousPassword->isEnabled()) << "no version below 1";

  // A control rewrites the text; the text sets the controls, leaving itself as typed.
  dialog->cbDigit->setChecked(true);
  EXPECT_EQ(S(dialog->edRules->text()), "required: digit; allowed: lower, upper, digit, special;");
  dialog->edSymbols->setText("!#");
  EXPECT_EQ(dialog->edRules->text().toStdString(),
            "required: digit; allowed: lower, upper, digit, [!#];");
  EXPECT_EQ(dialog->lbCheck->text().toStdString(),
            "The password meets these rules. It is the password you have now.");
  dialog->sbMinLength->setValue(20);
  EXPECT_EQ(dialog->edRules->text().toStdString(),
            "minlength: 20; required: digit; allowed: lower, upper, digit, [!#];");
  EXPECT_FALSE(dialog->lbClosest->isVisible());
  EXPECT_EQ(dialog->lbCheck->text().toStdString(),
            "The password meets these rules. It is a new password: set it on the site as well.");

  dialog->bbKnownRules->click();
  EXPECT_EQ(S(dialog->edRules->text()), S(ChaseRules));
  EXPECT_EQ(dialog->sbMinLength->value(), 8);
  EXPECT_EQ(dialog->sbMaxLength->value(), 32);
  EXPECT_FALSE(dialog->cbLower->isChecked() || dialog->cbUpper->isChecked());
  EXPECT_TRUE(dialog->cbDigit->isChecked() && dialog->cbSymbol->isChecked());
  EXPECT_EQ(S(dialog->edSymbols->text()), "!#$%+/=@~");
  EXPECT_TRUE(dialog->lbClosest->isVisible()) << "one letter of either case, no run of three";

  // Rules no password can meet: the error, OK disabled, the controls as they were.
  dialog->edRules->setText("minlength: 9; maxlength: 8;");
  EXPECT_FALSE(Ok(*dialog)->isEnabled());
  EXPECT_EQ(S(dialog->lbCheck->text()), "The site rules \"minlength: 9; maxlength: 8;\" cannot be "
                                        "used: minlength 9 is more than maxlength 8.");
  EXPECT_EQ(dialog->sbMinLength->value(), 8);
  EXPECT_EQ(dialog->sbMaxLength->value(), 32);
  dialog->sbMaxLength->setValue(20); // a control writes its own text again
  EXPECT_EQ(S(dialog->edRules->text()), "minlength: 8; maxlength: 20; required: digit; required: "
                                        "[!#$%+/=@~]; allowed: lower, upper, digit, [!#$%+/=@~];");
  EXPECT_TRUE(Ok(*dialog)->isEnabled());
  Cancel(*dialog)->click();
  EXPECT_EQ(S(Password()),
            Utf8(DeriveSitePassword(Master.toStdU16String(), ChaseURL.toStdU16String(),
                                    ChaseLogin.toStdU16String())));
  EXPECT_TRUE(OfferShown()) << "Cancel changes nothing";

  // No known rules for the host: nothing to take.
  Generate(ExampleURL, "alice");
  dialog = OpenRules();
  ASSERT_NE(dialog, nullptr);
  EXPECT_FALSE(dialog->bbKnownRules->isEnabled());
  Cancel(*dialog)->click();
  EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
}

TEST_F(SiteRulesWindowTest, OkStoresTheRulesWithTheirOriginForTheURLInViewEvenANewOne) {
  const struct {
    const char *What;
    QString URL, Rules;
    bool PasswordShown; // Generate before the dialog
    QString ToolTip;
  } rows[] = {
      {"the user's own rules", "https://one.example", "minlength: 20; required: digit;", true,
       "Your site rules: at least 20 characters, with a digit; only digits"},
      {"the known rules typed in", ChaseURL, ChaseRules, true,
       "Site rules from " + QString::fromStdU16String(std::u16string(KnownRulesSource)) +
           " for chase.com: 8 to 32 characters, with a lower-case letter or a capital, a digit "
           "and one of !#$%+/=@~; only letters, digits and !#$%+/=@~; no character more than 2 "
           "times in a row"},
      {"a URL without a site, no password shown", "https://two.example", "minlength: 20;", false,
       "Your site rules: at least 20 characters"},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.What);
    window->edMasterPass->setText(Master);
    window->edURL->setText(row.URL);
    window->edLogin->setEditText("alice");
    if (row.PasswordShown)
      window->bbGenerate->click();
    const int sites = window->URLs().Count();
    TKvSiteRulesDialog *dialog = OpenRules();
    ASSERT_NE(dialog, nullptr);
    dialog->edRules->setText(row.Rules);
    Ok(*dialog)->click();
    EXPECT_EQ(Password().isEmpty(), !row.PasswordShown) << "shown again only when it was";
    EXPECT_EQ(window->URLs().Count(), row.PasswordShown ? sites : sites + 1);
    window->bbGenerate->click();
    EXPECT_EQ(S(window->edPassword->toolTip()), S(row.ToolTip));
    EXPECT_TRUE(MeetsPasswordRules(ParsePasswordRules(row.Rules.toStdU16String()),
                                   Password().toStdU16String()));
    EXPECT_NE(Password(), QString::fromStdU16String(DeriveSitePassword(
                              Master.toStdU16String(), row.URL.toStdU16String(), u"alice")));
  }
  EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
}

TEST_F(SiteRulesWindowTest, StoredRulesThatCannotBeUsedShowTheirErrorAndNoPassword) {
  window.reset();
  Put("urls.db", "1:https://one.example\r\n");
  Put("records.db",
      "1:{\"url\":\"https://one.example\",\"rules\":\"minlength: 9; maxlength: 8;\",\"from\":\"\"}"
      "\r\n");
  Reopen();
  Generate("https://one.example", "alice");
  EXPECT_EQ(S(Password()), "");
  EXPECT_EQ(errors, QStringList{"The site rules \"minlength: 9; maxlength: 8;\" cannot be used: "
                                "minlength 9 is more than maxlength 8."});
  // The dialog shows them as they are, to be mended.
  TKvSiteRulesDialog *dialog = OpenRules();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(S(dialog->edRules->text()), "minlength: 9; maxlength: 8;");
  EXPECT_FALSE(Ok(*dialog)->isEnabled());
  dialog->sbMinLength->setValue(8); // "minlength: 8;", which the plain password meets
  Ok(*dialog)->click();
  window->bbGenerate->click();
  EXPECT_EQ(S(Password()),
            Utf8(DeriveSitePassword(Master.toStdU16String(), u"https://one.example", u"alice")));
}

TEST_F(SiteRulesWindowTest, SiteRulesRefusesTheInputsGenerateRefuses) {
  window->edURL->setText("no-scheme.example");
  window->acSiteRules->trigger();
  EXPECT_EQ(warnings, QStringList{"Error: Please enter a master password!"});
  window->edMasterPass->setText(Master);
  window->acSiteRules->trigger();
  EXPECT_EQ(warnings.last(), "Error: Please enter a valid URL!");
  EXPECT_EQ(window->findChild<TKvSiteRulesDialog *>(), nullptr);
}

TEST_F(SiteRulesWindowTest, EveryControlOfTheDialogIsReachedByTabAndByItsMnemonicAndNamed) {
  Generate(ChaseURL, ChaseLogin);
  TKvSiteRulesDialog *dialog = OpenRules();
  ASSERT_NE(dialog, nullptr);
  dialog->bbNewPassword->click(); // the previous version within reach
  QApplication::setActiveWindow(dialog);
  ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));

  QStringList order;
  dialog->sbVersion->setFocus();
  for (int i = 0; i < 15; ++i) {
    order << QApplication::focusWidget()->objectName();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  // The button box's buttons have no names of their own.
  const QStringList expected = {"sbVersion",
                                "bbNewPassword",
                                "bbPreviousPassword",
                                "edRules",
                                "sbMinLength",
                                "sbMaxLength",
                                "cbLower",
                                "cbUpper",
                                "cbDigit",
                                "cbSymbol",
                                "edSymbols",
                                "bbKnownRules",
                                "bbCopyCurrent",
                                "",
                                ""};
  EXPECT_EQ(order.join(", ").toStdString(), expected.join(", ").toStdString());

  // Alt with the underlined letter reaches each control.
  const struct {
    char Key;
    QWidget *Focus;
  } mnemonics[] = {
      {'v', dialog->sbVersion},   {'r', dialog->edRules},  {'f', dialog->sbMinLength},
      {'t', dialog->sbMaxLength}, {'l', dialog->cbLower},  {'a', dialog->cbUpper},
      {'d', dialog->cbDigit},     {'s', dialog->cbSymbol}, {'y', dialog->edSymbols},
  };
  for (const auto &mnemonic : mnemonics) {
    SCOPED_TRACE(mnemonic.Key);
    QTest::keyClick(dialog, mnemonic.Key, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), mnemonic.Focus);
  }
  EXPECT_TRUE(QTest::qWaitFor([&] { return dialog->cbSymbol->isChecked(); })) << "Alt+S ticks it";
  // A push button's letter clicks it.
  QTest::keyClick(dialog, 'k', Qt::AltModifier);
  EXPECT_TRUE(QTest::qWaitFor([&] { return dialog->edRules->text() == ChaseRules; }));
  QTest::keyClick(dialog, 'n', Qt::AltModifier);
  EXPECT_TRUE(QTest::qWaitFor([&] { return dialog->sbVersion->value() == 3; }));
  QTest::keyClick(dialog, 'p', Qt::AltModifier);
  EXPECT_TRUE(QTest::qWaitFor([&] { return dialog->sbVersion->value() == 2; }));
  QGuiApplication::clipboard()->clear();
  QTest::keyClick(dialog, 'u', Qt::AltModifier);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !QGuiApplication::clipboard()->text().isEmpty(); }));

  // Every control that takes the focus is named for a screen reader.
  for (QWidget *control : dialog->findChildren<QWidget *>())
    if (control->focusPolicy() != Qt::NoFocus && !control->objectName().startsWith("qt_")) {
      const auto *button = qobject_cast<QAbstractButton *>(control);
      EXPECT_FALSE(control->accessibleName().isEmpty() && (!button || button->text().isEmpty()))
          << control->metaObject()->className() << " " << control->objectName().toStdString();
    }
  EXPECT_FALSE(ButtonOf(window->acSiteRules)->accessibleName().isEmpty());
}

} // namespace
