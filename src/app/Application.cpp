#include "app/Application.h"

#include "common/KvError.h"
#include "ui/ErrorBox.h"

#include <QFile>
#include <QMessageBox>

// The resources of a static library are registered by hand, once, before the first use.
static void RegisterThemes() {
  static const bool registered = [] {
    Q_INIT_RESOURCE(themes);
    return true;
  }();
  (void)registered;
}

TKvApplication::TKvApplication(int &argc, char **argv) : QApplication(argc, argv) {}

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
