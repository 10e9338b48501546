#include "ui/ErrorBox.h"

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
  auto *box = new QMessageBox(icon, caption, text, QMessageBox::Ok, parent);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}
