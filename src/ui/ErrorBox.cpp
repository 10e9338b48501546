// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ErrorBox.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>

namespace {

// Ctrl+C copies the box's caption and text, as every message box on Windows does: a user can pass
// an error on word for word.
class TCopyableMessageBox : public QMessageBox {
public:
  using QMessageBox::QMessageBox;

protected:
  void keyPressEvent(QKeyEvent *event) override {
    if (event->matches(QKeySequence::Copy)) {
      QGuiApplication::clipboard()->setText(windowTitle() + QLatin1Char('\n') + text() +
                                            QLatin1Char('\n'));
      return;
    }
    QMessageBox::keyPressEvent(event);
  }
};

} // namespace

std::u16string ErrorBoxText(const std::u16string &message) {
  if (!message.empty() && message.back() > u'.')
    return message + u".";
  return message;
}

void ShowErrorBox(const std::u16string &message, QWidget *parent) {
  OpenMessageBox(QMessageBox::Critical, QStringLiteral("Korvane Quillgate"),
                 QString::fromStdU16String(ErrorBoxText(message)), parent);
}

void OpenMessageBox(QMessageBox::Icon icon, const QString &caption, const QString &text,
                    QWidget *parent) {
  auto *box = new TCopyableMessageBox(icon, caption, text, QMessageBox::Ok, parent);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}
