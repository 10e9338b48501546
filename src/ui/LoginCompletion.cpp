// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/LoginCompletion.h"

#include <QComboBox>
#include <QLineEdit>

TKvLoginCompletion::TKvLoginCompletion(QComboBox &box) : QObject(&box), FBox(box) {
  FBox.setCompleter(nullptr);
  connect(FBox.lineEdit(), &QLineEdit::textEdited, this,
          [this](const QString &text) { TextEdited(text); });
}

void TKvLoginCompletion::TextEdited(const QString &text) {
  QLineEdit *edit = FBox.lineEdit();
  // Only a character typed at the end completes: Backspace takes a completion back, and typing in
  // the middle edits what is there.
  const bool typedAtEnd = text.size() > FTyped.size() && edit->cursorPosition() == text.size();
  FTyped = text;
  if (!typedAtEnd)
    return;
  for (int i = 0; i < FBox.count(); ++i) {
    const QString entry = FBox.itemText(i);
    if (entry.startsWith(text, Qt::CaseInsensitive)) {
      FBox.setCurrentIndex(i);
      edit->setText(entry);
      edit->setSelection(int(text.size()), int(entry.size() - text.size()));
      return;
    }
  }
}
