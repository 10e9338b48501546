#pragma once

// The one way a secret leaves the window: onto the clipboard, marked so that clipboard managers
// and the system's clipboard history keep it out of their records.

#include <QLineEdit>

class QClipboard;
class QKeyEvent;
class QMouseEvent;

// Puts text on the clipboard marked as a secret. An empty text leaves the clipboard as it is:
// nothing the user had there is wiped for nothing.
void CopySecret(QClipboard &clipboard, const QString &text);

// A box whose text is a secret. Its copy keys copy the selection with CopySecret; it has no
// context menu (whose "Copy" would bypass the mark), no dragging out, and a selection made in it
// never becomes the X11 primary selection, which carries no mark.
class TKvSecretBox : public QLineEdit {
public:
  explicit TKvSecretBox(QWidget *parent = nullptr);

protected:
  void keyPressEvent(QKeyEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;

private:
  // Runs one of the box's own handlers, then takes back the primary selection it made.
  template <typename Handler> void KeepSelectionInside(Handler handler);
};
