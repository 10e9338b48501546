// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Application.h"

#include "common/KvError.h"
#include "platform/Environment.h"
#include "ui/ErrorBox.h"

#include <QEvent>
#include <QFile>
#include <QMessageBox>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <vector>

// The resources of a static library are registered by hand, once, before the first use.
static void RegisterThemes() {
  static const bool registered = [] {
    Q_INIT_RESOURCE(themes);
    return true;
  }();
  (void)registered;
}

TKvApplication::TKvApplication(int &argc, char **argv) : QApplication(argc, argv) {}

namespace {

// A message Qt gave while the application object was made, with its own copy of its context.
struct THeldMessage {
  QtMsgType Type;
  QByteArray File;
  int Line;
  QByteArray Function;
  QByteArray Category;
  QString Text;
};

// The state of StartApplication while it makes the application object: a message handler is a
// plain function.
struct TStart {
  std::string NoDisplayLine;
  std::function<void()> BeforeExit;
  std::vector<THeldMessage> Held;
};
TStart *Starting = nullptr;

void HoldOrEnd(QtMsgType type, const QMessageLogContext &context, const QString &text) {
  if (type == QtFatalMsg) {
    // Qt found no platform to start on and would abort now.
    std::fputs(Starting->NoDisplayLine.c_str(), stderr);
    std::fflush(stderr);
    Starting->BeforeExit();
    std::_Exit(1);
  }
  Starting->Held.push_back(
      {type, context.file, context.line, context.function, context.category, text});
}

std::string Describe(const IKvEnvironment &env, const std::string &name) {
  const std::optional<std::string> value = env.Variable(name);
  return value ? name + " is \"" + *value + "\"" : name + " is not set";
}

} // namespace

std::unique_ptr<TKvApplication> StartApplication(int &argc, char **argv, const IKvEnvironment &env,
                                                 std::function<void()> beforeExit) {
  TStart start{QString::fromStdU16String(ApplicationTitle).toStdString() +
                   " cannot start: no display could be opened (" + Describe(env, "DISPLAY") + ", " +
                   Describe(env, "WAYLAND_DISPLAY") + ").\n",
               std::move(beforeExit),
               {}};
  Starting = &start;
  const QtMessageHandler previous = qInstallMessageHandler(HoldOrEnd);
  auto application = std::make_unique<TKvApplication>(argc, argv);
  qInstallMessageHandler(previous);
  Starting = nullptr;
  for (const THeldMessage &message : start.Held) {
    const QMessageLogContext context(
        message.File.isNull() ? nullptr : message.File.constData(), message.Line,
        message.Function.isNull() ? nullptr : message.Function.constData(),
        message.Category.constData());
    qt_message_output(message.Type, context, message.Text);
  }
  return application;
}

bool TKvApplication::notify(QObject *receiver, QEvent *event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    const std::u16string message = CurrentExceptionMessage();
    try {
      if (FReport)
        FReport(message);
      else
        ShowErrorBox(message);
    } catch (...) {
      // The report itself failed; the loop must go on all the same.
    }
    return false;
  }
}

bool ApplyTheme(QApplication &application, const std::u16string &name, const TKvReport &notFound) {
  RegisterThemes();
  QFile sheet(QStringLiteral(":/themes/") + QString::fromStdU16String(name) +
              QStringLiteral(".qss"));
  if (sheet.open(QIODevice::ReadOnly)) {
    application.setStyleSheet(QString::fromUtf8(sheet.readAll()));
    return true;
  }
  const std::u16string message = u"Style '" + name + u"' not found";
  if (notFound) {
    notFound(message);
  } else {
    QMessageBox box(QMessageBox::Critical, QString::fromStdU16String(ApplicationTitle),
                    QString::fromStdU16String(message), QMessageBox::Close);
    box.exec();
  }
  return false;
}

namespace {

// Until the theme is applied: a widget is polished only when it is first measured or shown, not
// soon after it is made (the request Qt posts for that is dropped), and the first such polish of a
// widget outside the tray icon, or the first tooltip, applies the theme before it takes effect.
class TThemeOnFirstWidget : public QObject {
public:
  TThemeOnFirstWidget(QApplication &application, std::u16string name)
      : QObject(&application), FApplication(application), FName(std::move(name)) {}

  bool eventFilter(QObject *watched, QEvent *event) override {
    if (event->type() == QEvent::PolishRequest)
      return true;
    if (event->type() == QEvent::ToolTip || IsPolishOutsideTheTrayIcon(watched, event)) {
      FApplication.removeEventFilter(this);
      deleteLater();
      ApplyTheme(FApplication, FName);
    }
    return false;
  }

private:
  static bool IsPolishOutsideTheTrayIcon(QObject *watched, QEvent *event) {
    const auto *widget = qobject_cast<QWidget *>(watched);
    // The docked tray icon of X11 is a widget of Qt's own that shows only the icon.
    return event->type() == QEvent::Polish && widget &&
           !widget->window()->inherits("QSystemTrayIconSys");
  }

  QApplication &FApplication;
  std::u16string FName;
};

} // namespace

void ApplyThemeBeforeFirstWidget(QApplication &application, const std::u16string &name) {
  application.installEventFilter(new TThemeOnFirstWidget(application, name));
}
