// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/FingerprintView.h"

#include "common/SecureZero.h"
#include "ui/Images.h"

#include <QAction>
#include <QColor>
#include <QIcon>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QWidget>
#include <algorithm>

namespace {

void Wipe(std::u16string &text) {
  SecureZero(text.data(), text.size() * sizeof(char16_t));
}

// The symbol, on a red frame for a weak master password and an amber one for a fair one. The
// frame fills the picture's transparent margin and tints its background.
QIcon SymbolIcon(int symbol, TKvStrength strength) {
  const QPixmap picture = FingerprintSymbolImage(symbol);
  if (strength == TKvStrength::Strong)
    return QIcon(picture);
  const bool weak = strength == TKvStrength::Weak;
  QPixmap framed(picture.size());
  framed.fill(weak ? QColor(0xF6, 0xC6, 0xC6) : QColor(0xFF, 0xE6, 0xA8));
  QPainter painter(&framed);
  painter.setPen(weak ? QColor(0xD0, 0x10, 0x10) : QColor(0xE8, 0x9A, 0x00));
  painter.drawRect(framed.rect().adjusted(0, 0, -1, -1));
  painter.drawPixmap(0, 0, picture);
  painter.end();
  return QIcon(framed);
}

} // namespace

QString FingerprintToolTip(const QString &names, const QString &sentence) {
  // Left to itself Qt wraps a rich-text tooltip into a narrow column of seven lines; the table
  // sets a width that reads at a glance (about 55 characters a line).
  return "<table width=340><tr><td><p>" + names.toHtmlEscaped() + "</p><p>" +
         sentence.toHtmlEscaped() + "</p></td></tr></table>";
}

TKvFingerprintView::TKvFingerprintView(QLineEdit &box) : QObject(&box) {
  // Trailing actions line up from the box's right edge inwards: the last symbol goes first, so
  // that they read from left to right as the command line prints them.
  for (std::size_t i = FActions.size(); i-- > 0;) {
    auto *action = new QAction(&box);
    action->setObjectName(QStringLiteral("acFingerprint%1").arg(i + 1));
    box.addAction(action, QLineEdit::TrailingPosition);
    // Hidden once added: the box hides the button of an action only when the action changes, and
    // a shown button without a name would reach screen readers.
    action->setVisible(false);
    FActions[i] = action;
  }
}

TKvFingerprintView::~TKvFingerprintView() {
  {
    const std::lock_guard<std::mutex> lock(FLock);
    FStop = true;
    DropPending();
  }
  FWake.notify_all();
  if (FWorker.joinable())
    FWorker.join();
}

void TKvFingerprintView::DropPending() {
  if (FPending)
    Wipe(*FPending);
  FPending.reset();
}

void TKvFingerprintView::Show(const QString &password) {
  if (password.isEmpty())
    return Hide();
  // One copy, made at its final size, that the worker wipes when it is done with it.
  auto copy = std::make_unique<std::u16string>(static_cast<std::size_t>(password.size()), u'\0');
  std::copy_n(reinterpret_cast<const char16_t *>(password.utf16()), copy->size(), copy->begin());
  {
    const std::lock_guard<std::mutex> lock(FLock);
    DropPending();
    FPending = std::move(copy);
    FPendingGeneration = ++FGeneration;
  }
  if (!FWorker.joinable())
    FWorker = std::thread([this] { Work(); });
  FWake.notify_one();
}

void TKvFingerprintView::Hide() {
  {
    const std::lock_guard<std::mutex> lock(FLock);
    ++FGeneration;
    DropPending();
  }
  for (QAction *action : FActions)
    action->setVisible(false);
}

void TKvFingerprintView::Work() {
  std::unique_lock<std::mutex> lock(FLock);
  for (;;) {
    FWake.wait(lock, [this] { return FStop || FPending; });
    if (FStop)
      return;
    const std::unique_ptr<std::u16string> password = std::move(FPending);
    const uint64_t generation = FPendingGeneration;
    lock.unlock();
    TResult result;
    try {
      result.Symbols = FingerprintSymbols(FingerprintHash(*password));
      result.Exponent = GuessesExponent(*password);
    } catch (...) {
      result.Failed = true; // no memory for the hash: the box shows no symbols
    }
    Wipe(*password);
    QMetaObject::invokeMethod(
        this, [this, generation, result] { Present(generation, result); }, Qt::QueuedConnection);
    lock.lock();
  }
}

void TKvFingerprintView::Present(uint64_t generation, const TResult &result) {
  if (generation != FGeneration || result.Failed)
    return;
  const TKvStrength strength = StrengthOf(result.Exponent);
  const QString names = QString::fromStdU16String(SymbolNames(result.Symbols));
  const QString sentence = QString::fromStdU16String(StrengthSentence(result.Exponent));
  const QString tip = FingerprintToolTip(names, sentence);
  const QString description = names + ". " + sentence;
  for (std::size_t i = 0; i < FActions.size(); ++i) {
    QAction *action = FActions[i];
    const int symbol = result.Symbols[i];
    action->setIcon(SymbolIcon(symbol, strength));
    action->setText(QString::fromStdU16String(std::u16string(SymbolName(symbol))));
    action->setToolTip(tip);
    action->setVisible(true);
    // The box's button for the action is what assistive technology meets.
    for (QObject *object : action->associatedObjects())
      if (auto *button = qobject_cast<QWidget *>(object); button && button != parent()) {
        button->setAccessibleName(action->text());
        button->setAccessibleDescription(description);
      }
  }
  emit Shown();
}
