// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SiteLink.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <algorithm>

#ifndef KV_HOMEPAGE
#define KV_HOMEPAGE "https://www.korvane.org"
#endif

QString HomePageAddress() {
  return QStringLiteral(KV_HOMEPAGE);
}

TKvSiteLink::TKvSiteLink(QLabel &label) : QObject(&label), FLabel(label) {
  FLabel.setText(FLabel.text() + HomePageAddress());
  FLabel.setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  FLabel.setTextFormat(Qt::PlainText);
  // Like a label that sizes itself to its text, it keeps its right edge and grows to the left
  // when a packager's longer address does not fit.
  const int right = FLabel.x() + FLabel.width();
  const int width =
      std::max(FLabel.width(), FLabel.fontMetrics().horizontalAdvance(FLabel.text()) + 2);
  FLabel.setGeometry(std::max(0, right - width), FLabel.y(), std::min(width, right),
                     FLabel.height());
  FLabel.setMouseTracking(true);
  FLabel.installEventFilter(this);
}

bool TKvSiteLink::eventFilter(QObject *watched, QEvent *event) {
  switch (event->type()) {
  case QEvent::MouseMove:
    Underline(true);
    break;
  case QEvent::Leave:
    Underline(false);
    break;
  case QEvent::MouseButtonRelease: {
    const auto *mouse = static_cast<QMouseEvent *>(event);
    if (mouse->button() == Qt::LeftButton && FLabel.rect().contains(mouse->position().toPoint()))
      emit Clicked();
    break;
  }
  default:
    break;
  }
  return QObject::eventFilter(watched, event);
}

void TKvSiteLink::Underline(bool underline) {
  QFont font = FLabel.font();
  if (font.underline() == underline)
    return;
  font.setUnderline(underline);
  FLabel.setFont(font);
}
