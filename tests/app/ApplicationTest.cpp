// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Application.h"

#include "common/KvError.h"

#include <QEvent>
#include <QHelpEvent>
#include <QMenu>
#include <QMessageBox>
#include <QObject>
#include <QStyle>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>

namespace {

class TThrowing : public QObject {
public:
  std::function<void()> action;
  bool event(QEvent *event) override {
    if (event->type() == QEvent::User)
      action();
    return QObject::event(event);
  }
};

} // namespace

TEST(ErrorReport, AnErrorEscapingAnEventHandlerIsReportedAndTheLoopGoesOn) {
  auto &application = *static_cast<TKvApplication *>(QCoreApplication::instance());
  std::vector<std::u16string> reported;
  application.SetErrorReport([&](const std::u16string &message) { reported.push_back(message); });

  TThrowing target;
  const std::function<void()> throwers[] = {
      [] { throw EKvError(u"Cannot create file \"x\" [5]"); },
      [] { throw std::runtime_error("plain failure"); },
      [] { throw 42; },
  };
  for (const auto &thrower : throwers) {
    target.action = thrower;
    QEvent event(QEvent::User);
    EXPECT_FALSE(QCoreApplication::sendEvent(&target, &event));
  }
  // A posted event goes through the running loop the same way.
  target.action = [] { throw EKvError(u"posted"); };
  QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
  QCoreApplication::processEvents();

  application.SetErrorReport({});
  EXPECT_EQ(reported, (std::vector<std::u16string>{u"Cannot create file \"x\" [5]",
                                                   u"plain failure", u"Unknown error", u"posted"}));
}

TEST(Theme, TheProgramsThemeIsInItsResources) {
  auto &application = *static_cast<QApplication *>(QCoreApplication::instance());
  std::vector<std::u16string> messages;
  EXPECT_TRUE(ApplyTheme(application, DefaultThemeName,
                         [&](const std::u16string &message) { messages.push_back(message); }));
  EXPECT_TRUE(messages.empty());
  EXPECT_TRUE(application.styleSheet().contains(QStringLiteral("QPushButton")));
  application.setStyleSheet(QString());
}

TEST(Theme, AMissingThemeIsReportedByNameAndTheDefaultLookStays) {
  auto &application = *static_cast<QApplication *>(QCoreApplication::instance());
  application.setStyleSheet(QString());
  std::vector<std::u16string> messages;
  EXPECT_FALSE(ApplyTheme(application, u"Metro Grey",
                          [&](const std::u16string &message) { messages.push_back(message); }));
  EXPECT_EQ(messages, std::vector<std::u16string>{u"Style 'Metro Grey' not found"});
  EXPECT_TRUE(application.styleSheet().isEmpty());
}

// The theme waits for the first widget that is measured or shown: widgets made and left alone (the
// tray program's hidden owner, its menu) do not bring it, and whatever comes first is themed from
// its first appearance.
TEST(Theme, AppliedBeforeTheFirstWidgetThatIsShownAndNotBefore) {
  auto &application = *static_cast<QApplication *>(QCoreApplication::instance());
  struct TCase {
    const char *name;
    std::function<QWidget *(QWidget &hiddenOwner, QMenu &menu)> show;
  };
  const TCase cases[] = {
      {"the menu pops up",
       [](QWidget &, QMenu &menu) {
         menu.popup(QPoint(10, 10));
         return &menu;
       }},
      {"a box opens",
       [](QWidget &hiddenOwner, QMenu &) {
         auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Title"),
                                     QStringLiteral("Text"), QMessageBox::Close, &hiddenOwner);
         box->show();
         return static_cast<QWidget *>(box);
       }},
      {"a window opens",
       [](QWidget &hiddenOwner, QMenu &) {
         auto *window = new QWidget(&hiddenOwner, Qt::Window);
         window->show();
         return window;
       }},
      {"a tooltip is asked for",
       [](QWidget &hiddenOwner, QMenu &) {
         QHelpEvent help(QEvent::ToolTip, QPoint(1, 1), QPoint(1, 1));
         QCoreApplication::sendEvent(&hiddenOwner, &help);
         return static_cast<QWidget *>(nullptr);
       }},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.name);
    application.setStyleSheet(QString());
    ApplyThemeBeforeFirstWidget(application, DefaultThemeName);
    QWidget hiddenOwner;
    QMenu menu(&hiddenOwner);
    menu.addAction(QStringLiteral("Exit"));
    QCoreApplication::processEvents();
    EXPECT_TRUE(application.styleSheet().isEmpty());

    QWidget *shown = c.show(hiddenOwner, menu);
    EXPECT_TRUE(application.styleSheet().contains(QStringLiteral("QPushButton")));
    if (shown) {
      EXPECT_TRUE(shown->style()->inherits("QStyleSheetStyle"));
    }
    menu.hide();
  }
  application.setStyleSheet(QString());
}
