// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The login drop-down's inline completion: while the user types at the end of the text, the box
// completes it from the first entry that begins with it, ignoring case, selects the completed
// part and makes that entry the current one. The completed text is the entry's own: the login is
// part of the derivation, so its case must never be the typed one (Qt's own inline completer keeps
// the case as typed, and is switched off).

#include <QObject>
#include <QString>

class QComboBox;

class TKvLoginCompletion : public QObject {
public:
  // Attaches to box, which owns it.
  explicit TKvLoginCompletion(QComboBox &box);

private:
  void TextEdited(const QString &text);

  QComboBox &FBox;
  QString FTyped; // the text as the user last left it, completion aside
};
