// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Application.h"

#include "common/KvError.h"

#include <QEvent>
#include <QObject>
#include <gtest/gtest.h>
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
