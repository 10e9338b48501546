// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ThumbButtonGroup.h"

#include "ui/ThumbButtonAccessible.h"

#include <QAccessible>
#include <QFocusEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cstdlib>
#include <qdrawutil.h>

namespace {

class TQtAutoScrollTimer : public IKvAutoScrollTimer {
public:
  TQtAutoScrollTimer() {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (tick_)
        tick_();
    });
  }
  void Start(int intervalMs, std::function<void()> tick) override {
    tick_ = std::move(tick);
    timer_.start(intervalMs);
  }
  void Stop() override {
    timer_.stop();
    tick_ = nullptr;
  }

private:
  QTimer timer_;
  std::function<void()> tick_;
};

constexpr int ImageLeft = 4;
constexpr int ImageSize = 16;
constexpr int CaptionGap = 2;

} // namespace

TKvThumbButtonGroup::TKvThumbButtonGroup(QWidget *parent)
    : QWidget(parent), scrollBar_(new QScrollBar(Qt::Vertical, this)),
      scrollTimer_(std::make_unique<TQtAutoScrollTimer>()) {
  InstallThumbButtonAccessibility();
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  setToolTip(QStringLiteral("Recently used URLs"));
  scrollBar_->setObjectName(QStringLiteral("scrollBar"));
  scrollBar_->setFocusPolicy(Qt::NoFocus);
  scrollBar_->setSingleStep(1);
  scrollBar_->hide();
  connect(scrollBar_, &QScrollBar::valueChanged, this, [this] {
    SetHover(underMouse() && !dragging_ ? ButtonAt(pointer_) : -1);
    update();
  });
  Relayout();
}

TKvThumbButtonGroup::~TKvThumbButtonGroup() {
  // The rest of the destruction sees a plain widget: assistive technology asking then gets a plain
  // widget's interface, never the buttons of a row that is gone.
  if (TKvThumbButtonGroupAccessible *accessible = Accessible())
    QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(accessible));
}

void TKvThumbButtonGroup::SetAutoScrollTimer(std::unique_ptr<IKvAutoScrollTimer> timer) {
  if (scrollTimer_)
    scrollTimer_->Stop();
  scrollInterval_ = 0;
  scrollTimer_ = std::move(timer);
  UpdateAutoScroll();
}

void TKvThumbButtonGroup::SetImages(QList<QPixmap> images) {
  images_ = std::move(images);
  update();
}

void TKvThumbButtonGroup::SetSites(const std::vector<TKvSite> *sites) {
  sites_ = sites;
  SitesLoaded();
}

void TKvThumbButtonGroup::SitesLoaded() {
  EndPress();
  focus_ = Count() > 0 ? 0 : -1; // the mark is on some button whenever there is one
  Relayout();
  if (TKvThumbButtonGroupAccessible *accessible = Accessible())
    for (int position = 0; position < Count(); ++position)
      accessible->ButtonInserted(position);
}

void TKvThumbButtonGroup::SiteAdded(int32_t position) {
  EndPress();
  if (focus_ < 0)
    focus_ = 0;
  else if (focus_ >= position)
    ++focus_;
  Relayout();
  if (TKvThumbButtonGroupAccessible *accessible = Accessible())
    accessible->ButtonInserted(position);
}

void TKvThumbButtonGroup::SiteRemoving(int32_t position) {
  EndPress();
  if (TKvThumbButtonGroupAccessible *accessible = Accessible())
    accessible->ButtonRemoving(position);
}

void TKvThumbButtonGroup::SiteRemoved(int32_t position) {
  if (focus_ > position || focus_ == Count())
    --focus_;
  Relayout();
}

void TKvThumbButtonGroup::SiteMoved(const TKvListMove &move) {
  EndPress();
  focus_ = PositionAfter(focus_, move);
  repaint();
  if (TKvThumbButtonGroupAccessible *accessible = Accessible())
    accessible->ButtonsMoved();
}

QString TKvThumbButtonGroup::Caption(int position) const {
  return IsValid(position) ? QStringLiteral("   ") + QString::fromStdU16String(Site(position).Host)
                           : QString();
}

QString TKvThumbButtonGroup::ToolTip(int position) const {
  return IsValid(position) ? QString::fromStdU16String(Site(position).URL) : QString();
}

quint64 TKvThumbButtonGroup::ButtonId(int position) const {
  return IsValid(position) ? Site(position).Id : 0;
}

int TKvThumbButtonGroup::PositionOf(quint64 id, int hint) const {
  if (id != 0 && ButtonId(hint) == id)
    return hint;
  for (int position = 0; position < Count(); ++position)
    if (ButtonId(position) == id)
      return position;
  return -1;
}

void TKvThumbButtonGroup::ClickButton(int position) {
  if (!IsValid(position))
    return;
  EndPress();
  SetFocusIndex(position);
  emit ButtonClicked(position); // last: the handler may change the buttons
}

TKvThumbButtonGroupAccessible *TKvThumbButtonGroup::Accessible() {
  return dynamic_cast<TKvThumbButtonGroupAccessible *>(QAccessible::queryAccessibleInterface(this));
}

bool TKvThumbButtonGroup::event(QEvent *event) {
  if (event->type() == QEvent::ToolTip) {
    const auto *help = static_cast<QHelpEvent *>(event);
    const int position = ButtonAt(help->pos());
    const QString text = ToolTip(position);
    if (!text.isEmpty()) {
      // Shown while the pointer stays on this button; moving to another one asks again.
      QToolTip::showText(help->globalPos(), text, this, ButtonRect(position));
      return true;
    }
  }
  return QWidget::event(event);
}

// ---- Layout

int TKvThumbButtonGroup::RowCount() const {
  return (Count() + columns_ - 1) / columns_;
}

int TKvThumbButtonGroup::VisibleRows() const {
  return std::max(1, height() / ButtonHeight);
}

int TKvThumbButtonGroup::TopRow() const {
  return scrollBar_->value();
}

int TKvThumbButtonGroup::MaxTopRow() const {
  return std::max(0, RowCount() - VisibleRows());
}

void TKvThumbButtonGroup::SetTopRow(int row) {
  scrollBar_->setValue(std::clamp(row, 0, MaxTopRow()));
}

void TKvThumbButtonGroup::Relayout() {
  // The scroll bar takes its width from the buttons only when it is needed.
  const int barWidth = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  const auto columnsFor = [](int width) { return std::max(1, width / ButtonWidth); };
  columns_ = columnsFor(width());
  bool needBar = RowCount() > VisibleRows();
  if (needBar) {
    columns_ = columnsFor(width() - barWidth);
    needBar = RowCount() > VisibleRows();
  }
  scrollBar_->setGeometry(width() - barWidth, 0, barWidth, height());
  scrollBar_->setPageStep(VisibleRows());
  scrollBar_->setRange(0, needBar ? MaxTopRow() : 0);
  scrollBar_->setVisible(needBar);
  SetHover(underMouse() && !dragging_ ? ButtonAt(pointer_) : -1);
  update();
}

QRect TKvThumbButtonGroup::ButtonRect(int position) const {
  if (!IsValid(position))
    return {};
  const int row = position / columns_ - TopRow();
  const int column = position % columns_;
  return {column * ButtonWidth, row * ButtonHeight, ButtonWidth, ButtonHeight};
}

int TKvThumbButtonGroup::ButtonAt(QPoint point) const {
  if (!rect().contains(point) || (!scrollBar_->isHidden() && point.x() >= scrollBar_->x()))
    return -1;
  const int column = point.x() / ButtonWidth;
  const int row = point.y() / ButtonHeight;
  if (column >= columns_ || row >= VisibleRows())
    return -1;
  const int position = (TopRow() + row) * columns_ + column;
  return IsValid(position) ? position : -1;
}

int TKvThumbButtonGroup::DropTargetAt(QPoint point) const {
  if (!rect().contains(point))
    return -1;
  const int row = TopRow() + point.y() / ButtonHeight;
  // Beyond the last column counts as past the middle of the row's last button.
  const int column = std::min(point.x() / ButtonWidth, columns_ - 1);
  const int position = row * columns_ + column;
  if (position >= Count())
    return Count();
  const QRect r = ButtonRect(position);
  const bool pastMiddle = columns_ > 1 ? point.x() >= r.left() + ButtonWidth / 2
                                       : point.y() >= r.top() + ButtonHeight / 2;
  return pastMiddle ? position + 1 : position;
}

void TKvThumbButtonGroup::EnsureVisible(int position) {
  if (!IsValid(position))
    return;
  const int row = position / columns_;
  if (row < TopRow())
    SetTopRow(row);
  else if (row >= TopRow() + VisibleRows())
    SetTopRow(row - VisibleRows() + 1);
}

QSize TKvThumbButtonGroup::sizeHint() const {
  return {3 * ButtonWidth, 3 * ButtonHeight};
}

// ---- State

void TKvThumbButtonGroup::SetFocusIndex(int position) {
  if (Count() == 0)
    position = -1;
  else
    position = std::clamp(position, 0, Count() - 1);
  const bool moved = position != focus_;
  focus_ = position;
  EnsureVisible(focus_);
  update();
  if (moved && hasFocus())
    if (TKvThumbButtonGroupAccessible *accessible = Accessible())
      accessible->FocusMoved();
}

void TKvThumbButtonGroup::SetHover(int position) {
  if (position == hover_)
    return;
  hover_ = position;
  update();
}

int TKvThumbButtonGroup::PressedIndex() const {
  if (pressed_ < 0 || dragging_)
    return -1;
  return ButtonAt(pointer_) == pressed_ ? pressed_ : -1;
}

// ---- Mouse

void TKvThumbButtonGroup::mousePressEvent(QMouseEvent *event) {
  pointer_ = event->position().toPoint();
  if (event->button() != Qt::LeftButton || pressed_ >= 0) {
    QWidget::mousePressEvent(event);
    return;
  }
  const int position = ButtonAt(pointer_);
  if (position < 0)
    return;
  pressed_ = position;
  pressPoint_ = pointer_;
  focus_ = position;
  SetHover(position);
  update();
}

void TKvThumbButtonGroup::mouseMoveEvent(QMouseEvent *event) {
  const QPoint point = event->position().toPoint();
  if (rect().contains(point))
    pointer_ = point;
  if (pressed_ >= 0 && !(event->buttons() & Qt::LeftButton))
    EndPress(); // the release went elsewhere: nothing was clicked or dropped
  if (pressed_ < 0) {
    SetHover(ButtonAt(point));
    return;
  }
  if (!dragging_) {
    const QPoint moved = point - pressPoint_;
    if (std::abs(moved.x()) < DragThreshold && std::abs(moved.y()) < DragThreshold) {
      SetHover(ButtonAt(point));
      update();
      return;
    }
    StartDrag(event->globalPosition().toPoint());
  }
  DragTo(point, event->globalPosition().toPoint());
}

void TKvThumbButtonGroup::mouseReleaseEvent(QMouseEvent *event) {
  if (event->button() != Qt::LeftButton || pressed_ < 0) {
    QWidget::mouseReleaseEvent(event);
    return;
  }
  const QPoint point = event->position().toPoint();
  if (dragging_) {
    DragTo(point, event->globalPosition().toPoint());
    Drop();
    return;
  }
  const int position = pressed_;
  const bool click = ButtonAt(point) == position;
  EndPress();
  SetHover(ButtonAt(point));
  if (click)
    emit ButtonClicked(position); // last: the handler may change the buttons
}

void TKvThumbButtonGroup::leaveEvent(QEvent *event) {
  if (pressed_ < 0)
    pointer_ = {-1, -1};
  SetHover(-1);
  QWidget::leaveEvent(event);
}

void TKvThumbButtonGroup::wheelEvent(QWheelEvent *event) {
  const int steps = event->angleDelta().y() / 120;
  if (steps == 0 || scrollBar_->isHidden()) {
    event->ignore();
    return;
  }
  SetTopRow(TopRow() - steps);
  event->accept();
}

// ---- Drag

void TKvThumbButtonGroup::StartDrag(QPoint globalPoint) {
  dragging_ = true;
  SetHover(-1);
  const QRect source = ButtonRect(pressed_);
  const qreal ratio = devicePixelRatioF();
  QPixmap picture(source.size() * ratio);
  picture.setDevicePixelRatio(ratio);
  picture.fill(palette().color(QPalette::Window));
  {
    QPainter painter(&picture);
    PaintButton(painter, pressed_, QRect({0, 0}, source.size()), true, false);
  }
  dragImage_ = std::make_unique<QLabel>(this, Qt::ToolTip | Qt::FramelessWindowHint |
                                                  Qt::WindowTransparentForInput |
                                                  Qt::WindowDoesNotAcceptFocus);
  dragImage_->setObjectName(QStringLiteral("dragImage"));
  dragImage_->setAttribute(Qt::WA_ShowWithoutActivating);
  dragImage_->setPixmap(picture);
  dragImage_->resize(source.size());
  grabOffset_ = pressPoint_ - source.topLeft();
  dragImage_->move(globalPoint - grabOffset_);
  dragImage_->show();
}

void TKvThumbButtonGroup::DragTo(QPoint point, QPoint globalPoint) {
  dragPoint_ = point;
  if (dragImage_)
    dragImage_->move(globalPoint - grabOffset_);
  UpdateDropTarget();
  UpdateAutoScroll();
}

void TKvThumbButtonGroup::UpdateDropTarget() {
  int target = dragging_ ? DropTargetAt(dragPoint_) : -1;
  if (Count() < 2 || MovesNothing({pressed_, target}))
    target = -1;
  if (target != dropTarget_) {
    dropTarget_ = target;
    update();
  }
}

void TKvThumbButtonGroup::UpdateAutoScroll() {
  int interval = 0;
  if (dragging_ && rect().contains(dragPoint_)) {
    const int y = dragPoint_.y();
    if (y >= height() - ScrollZone && TopRow() < MaxTopRow())
      interval = y >= height() - FastZoneBottom ? FastScrollMs : SlowScrollMs;
    else if (y < ScrollZone && TopRow() > 0)
      interval = y < FastZoneTop ? FastScrollMs : SlowScrollMs;
  }
  if (interval == scrollInterval_ || !scrollTimer_)
    return;
  scrollInterval_ = interval;
  if (interval == 0)
    scrollTimer_->Stop();
  else
    scrollTimer_->Start(interval, [this] { AutoScrollTick(); });
}

void TKvThumbButtonGroup::AutoScrollTick() {
  if (!dragging_)
    return;
  SetTopRow(TopRow() + (dragPoint_.y() >= height() / 2 ? 1 : -1));
  UpdateDropTarget();
  UpdateAutoScroll();
}

void TKvThumbButtonGroup::Drop() {
  const int from = pressed_;
  const int target = dropTarget_;
  EndPress();
  SetHover(ButtonAt(pointer_));
  if (target >= 0)
    emit MoveRequested(from, target); // last: the handler changes the buttons
}

void TKvThumbButtonGroup::EndPress() {
  if (scrollTimer_ && scrollInterval_ != 0)
    scrollTimer_->Stop();
  scrollInterval_ = 0;
  dragImage_.reset(); // never in the call stack: it takes no input
  pressed_ = -1;
  dragging_ = false;
  dropTarget_ = -1;
  update();
}

// ---- Keyboard and focus

void TKvThumbButtonGroup::keyPressEvent(QKeyEvent *event) {
  if (event->key() == Qt::Key_Escape && dragging_) {
    EndPress();
    return;
  }
  if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
    QWidget::keyPressEvent(event);
    return;
  }
  const int page = columns_ * VisibleRows();
  const int last = Count() - 1;
  const int at = focus_;
  int to = at;
  switch (event->key()) {
  case Qt::Key_Left:
    to = std::max(at - 1, 0);
    break;
  case Qt::Key_Right:
    to = std::min(at + 1, last);
    break;
  case Qt::Key_Up:
    to = at - columns_ >= 0 ? at - columns_ : at;
    break;
  case Qt::Key_Down:
    // Into a shorter last row: its last button.
    to = at / columns_ < RowCount() - 1 ? std::min(at + columns_, last) : at;
    break;
  case Qt::Key_PageUp:
    to = std::max(at - page, 0);
    break;
  case Qt::Key_PageDown:
    to = std::min(at + page, last);
    break;
  case Qt::Key_Home:
    to = 0;
    break;
  case Qt::Key_End:
    to = last;
    break;
  case Qt::Key_Return:
  case Qt::Key_Enter:
  case Qt::Key_Space:
    return; // the keyboard never activates a button
  default:
    QWidget::keyPressEvent(event);
    return;
  }
  SetFocusIndex(to);
}

void TKvThumbButtonGroup::focusInEvent(QFocusEvent *event) {
  EnsureVisible(focus_);
  update();
  QWidget::focusInEvent(event);
}

void TKvThumbButtonGroup::focusOutEvent(QFocusEvent *event) {
  update();
  QWidget::focusOutEvent(event);
}

void TKvThumbButtonGroup::hideEvent(QHideEvent *event) {
  EndPress();
  QWidget::hideEvent(event);
}

void TKvThumbButtonGroup::resizeEvent(QResizeEvent *event) {
  QWidget::resizeEvent(event);
  Relayout();
  SetTopRow(TopRow());
}

// ---- Painting

void TKvThumbButtonGroup::PaintButton(QPainter &painter, int position, const QRect &rect, bool hot,
                                      bool down) const {
  const QPalette &pal = palette();
  QRect face = rect.adjusted(1, 1, -1, -1);
  if (down) {
    painter.fillRect(face, pal.color(QPalette::Midlight).darker(110));
    qDrawShadePanel(&painter, face, pal, true, 1);
  } else if (hot) {
    QColor fill = pal.color(QPalette::Highlight);
    fill.setAlpha(48);
    painter.fillRect(face, pal.color(QPalette::Button));
    painter.fillRect(face, fill);
    painter.setPen(pal.color(QPalette::Highlight));
    painter.drawRect(face.adjusted(0, 0, -1, -1));
  } else {
    painter.fillRect(face, pal.color(QPalette::Button));
    qDrawShadePanel(&painter, face, pal, false, 1);
  }
  const QPoint shift = down ? QPoint(1, 1) : QPoint(0, 0);
  if (!images_.isEmpty()) {
    const QRect target(rect.left() + ImageLeft, rect.top() + (rect.height() - ImageSize) / 2,
                       ImageSize, ImageSize);
    painter.drawPixmap(target.translated(shift), images_.front());
  }
  QRect textRect = rect.adjusted(ImageLeft + ImageSize + CaptionGap, 0, -ImageLeft, 0);
  textRect.translate(shift);
  painter.setPen(pal.color(QPalette::ButtonText));
  painter.drawText(
      textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
      painter.fontMetrics().elidedText(Caption(position), Qt::ElideRight, textRect.width()));
}

void TKvThumbButtonGroup::paintEvent(QPaintEvent *event) {
  QPainter painter(this);
  painter.fillRect(event->rect(), palette().color(QPalette::Window));
  // Only the rows in view are painted.
  const int first = TopRow() * columns_;
  const int end = std::min(Count(), (TopRow() + VisibleRows() + 1) * columns_);
  const int down = PressedIndex();
  for (int i = first; i < end; ++i) {
    const QRect r = ButtonRect(i);
    if (r.intersects(event->rect()))
      PaintButton(painter, i, r, i == hover_, i == down);
  }
  if (hasFocus() && IsValid(focus_)) {
    // Drawn by hand: some styles draw a focus frame only after a Tab key.
    QPen dotted(palette().color(QPalette::WindowText), 1, Qt::DotLine);
    painter.setPen(dotted);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(ButtonRect(focus_).adjusted(3, 3, -4, -4));
  }
  if (dropTarget_ >= 0) {
    // The mark stands at the leading edge of the button at the target, or at the trailing edge
    // of the last button when the target is the end.
    const bool atEnd = dropTarget_ == Count();
    const QRect r = ButtonRect(atEnd ? Count() - 1 : dropTarget_);
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette().color(QPalette::Text));
    if (columns_ > 1) {
      const int x = atEnd ? r.right() - 1 : r.left();
      painter.drawRect(x, r.top() + 1, 2, r.height() - 2);
    } else {
      const int y = atEnd ? r.bottom() - 1 : r.top();
      painter.drawRect(r.left() + 1, y, r.width() - 2, 2);
    }
  }
}
