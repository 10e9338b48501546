#include "ui/SecretClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>

void CopySecret(QClipboard &clipboard, const QString &text) {
  if (text.isEmpty())
    return;
  auto *mime = new QMimeData;
  mime->setText(text);
  // Clipboard managers leave out of their history what is marked as a secret.
  mime->setData(QStringLiteral("x-kde-passwordManagerHint"), QByteArrayLiteral("secret"));
#ifdef Q_OS_WIN
  // Windows' clipboard history and cloud clipboard skip content that carries this format.
  mime->setData(
      QStringLiteral(
          "application/x-qt-windows-mime;value=\"ExcludeClipboardContentFromMonitorProcessing\""),
      QByteArray(4, '\0'));
#endif
  clipboard.setMimeData(mime);
}

TKvSecretBox::TKvSecretBox(QWidget *parent) : QLineEdit(parent) {
  setContextMenuPolicy(Qt::NoContextMenu);
  setDragEnabled(false);
}

template <typename Handler> void TKvSecretBox::KeepSelectionInside(Handler handler) {
  // QLineEdit hands a mouse or keyboard selection to the primary selection on its own. Whatever
  // it put there is withdrawn before the event loop runs again, so no other program is ever
  // served it.
  QClipboard &clipboard = *QGuiApplication::clipboard();
  const QMimeData *before =
      clipboard.ownsSelection() ? clipboard.mimeData(QClipboard::Selection) : nullptr;
  handler();
  if (clipboard.ownsSelection() && clipboard.mimeData(QClipboard::Selection) != before)
    clipboard.clear(QClipboard::Selection);
}

void TKvSecretBox::keyPressEvent(QKeyEvent *event) {
  if (event->matches(QKeySequence::Copy)) {
    CopySecret(*QGuiApplication::clipboard(), selectedText());
    event->accept();
    return;
  }
  KeepSelectionInside([&] { QLineEdit::keyPressEvent(event); });
}

void TKvSecretBox::mouseReleaseEvent(QMouseEvent *event) {
  KeepSelectionInside([&] { QLineEdit::mouseReleaseEvent(event); });
}
