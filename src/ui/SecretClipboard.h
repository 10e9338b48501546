// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The one way a secret leaves the window: onto the clipboard, marked so that clipboard managers
// and the system's clipboard history keep it out of their records.

#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <chrono>

class QClipboard;
class QKeyEvent;
class QMimeData;
class QMouseEvent;

// Puts text on the clipboard marked as a secret and returns the data now on it (the clipboard owns
// it). An empty text leaves the clipboard as it is, nothing the user had there is wiped for
// nothing, and gives null.
const QMimeData *CopySecret(QClipboard &clipboard, const QString &text);

// Takes a secret the program put on the clipboard back off it: a given time after the latest copy,
// and when the guard ends (it lives as long as the program, so a closed window cancels nothing).
// Only while the clipboard still holds the very data the latest copy put there: whatever the user
// copied since, even the same text from another program, stays.
class TKvClipboardGuard {
public:
  // clearAfter zero: no clearing after a delay, only at the end.
  TKvClipboardGuard(QClipboard &clipboard, std::chrono::milliseconds clearAfter);
  ~TKvClipboardGuard();
  TKvClipboardGuard(const TKvClipboardGuard &) = delete;
  TKvClipboardGuard &operator=(const TKvClipboardGuard &) = delete;

  // CopySecret; a text that was copied starts the delay again.
  void Copy(const QString &text);
  // Whether the clipboard still holds what the latest Copy put there: the same data object,
  // tracked so that a new object at a freed address is never taken for it, and where the system
  // says who owns the clipboard (X11, Wayland, Windows), still owned by this program.
  bool HoldsOurs() const;
  // Empties the clipboard while it holds ours; leaves it alone otherwise.
  void ClearIfOurs();
  // Whether a clearing after the delay is still to come.
  bool Pending() const { return FTimer.isActive(); }

private:
  QClipboard &FClipboard;
  std::chrono::milliseconds FClearAfter;
  QTimer FTimer;
  QPointer<const QMimeData> FPut;
  // The system told right after the copy that this program owns the clipboard; it tracks
  // ownership, so losing it later means another program took the clipboard.
  bool FOwnershipKnown = false;
};

// A box whose text is a secret. Its copy keys copy the selection with CopySecret; it has no
// context menu (whose "Copy" would bypass the mark), no dragging out, and a selection made in it
// never becomes the X11 primary selection, which carries no mark.
class TKvSecretBox : public QLineEdit {
public:
  explicit TKvSecretBox(QWidget *parent = nullptr);
  void SetClipboardGuard(TKvClipboardGuard &guard) { FGuard = &guard; }

protected:
  void keyPressEvent(QKeyEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;

private:
  // Runs one of the box's own handlers, then takes back the primary selection it made.
  template <typename Handler> void KeepSelectionInside(Handler handler);

  TKvClipboardGuard *FGuard = nullptr;
};
