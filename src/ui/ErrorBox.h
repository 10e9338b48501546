// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The program's message boxes. Each belongs to its parent window: it blocks only that window, so
// the tray icon's menu and "Exit" keep working while it is open, and it goes with the window.

#include <QMessageBox>
#include <QString>
#include <string>

// The error box's text: the message with a "." appended when its last character comes after "."
// in the code table.
std::u16string ErrorBoxText(const std::u16string &message);

// The program's error box: error icon, "OK", the program's title and ErrorBoxText(message).
// The call returns at once; the box goes when closed or with its parent.
void ShowErrorBox(const std::u16string &message, QWidget *parent = nullptr);

// A box with the icon, caption, text and one "OK" button, modal to parent's window only. It
// returns at once and deletes itself when closed. Ctrl+C in it puts its caption and text on the
// clipboard, a line each.
void OpenMessageBox(QMessageBox::Icon icon, const QString &caption, const QString &text,
                    QWidget *parent);
