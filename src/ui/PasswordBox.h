// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The master password box. It shows every character as "*", whatever the style's habit, and it
// tells assistive technology that it is a password box, its name and as many "*" as it shows,
// never its text: its interface offers no text to read or edit, and the platform's bridge passes on
// the text of a box's changes only for a box that has one. Input methods, which Qt's line edit
// would hand the text around the cursor, get none of it either.

#include <QLineEdit>

class TKvPasswordBox : public QLineEdit {
  Q_OBJECT

public:
  explicit TKvPasswordBox(QWidget *parent = nullptr);

  QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
};
