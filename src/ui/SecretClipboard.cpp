// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SecretClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>

const QMimeData *CopySecret(QClipboard &clipboard, const QString &text) {
  if (text.isEmpty())
    return nullptr;
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
  return mime;
}

TKvClipboardGuard::TKvClipboardGuard(QClipboard &clipboard, std::chrono::milliseconds clearAfter)
    : FClipboard(clipboard), FClearAfter(clearAfter) {
  FTimer.setSingleShot(true);
  QObject::connect(&FTimer, &QTimer::timeout, [this] { ClearIfOurs(); });
}

TKvClipboardGuard::~TKvClipboardGuard() {
  ClearIfOurs();
}

void TKvClipboardGuard::Copy(const QString &text) {
  const QMimeData *put = CopySecret(FClipboard, text);
  if (put == nullptr)
    return;
  FPut = put;
  // Where the system knows no owner (Qt's own clipboard of a platform without a system one), the
  // data object alone tells.
  FOwnershipKnown = FClipboard.ownsClipboard();
  if (FClearAfter.count() > 0)
    FTimer.start(FClearAfter);
}

bool TKvClipboardGuard::HoldsOurs() const {
  return !FPut.isNull() && FClipboard.mimeData(QClipboard::Clipboard) == FPut.data() &&
         (!FOwnershipKnown || FClipboard.ownsClipboard());
}

void TKvClipboardGuard::ClearIfOurs() {
  FTimer.stop();
  if (HoldsOurs())
    FClipboard.clear(QClipboard::Clipboard);
  FPut.clear();
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
    if (FGuard != nullptr)
      FGuard->Copy(selectedText());
    else
      CopySecret(*QGuiApplication::clipboard(), selectedText());
    event->accept();
    return;
  }
  KeepSelectionInside([&] { QLineEdit::keyPressEvent(event); });
}

void TKvSecretBox::mouseReleaseEvent(QMouseEvent *event) {
  KeepSelectionInside([&] { QLineEdit::mouseReleaseEvent(event); });
}
