// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The row of site buttons: one flat button per site of a list it reads and never changes, each the
// list's first image and the site's host as caption, drawn by the group itself. There is no widget
// and no copy per button, so ten thousand sites cost the painting of the few rows in view. Buttons
// flow left to right in rows of as many as fit; when there are more rows than fit the height, a
// vertical scroll bar scrolls whole rows. A click (press and release on the same button, no drag
// in between) emits ButtonClicked; dragging a button and dropping it elsewhere emits
// MoveRequested, and the buttons move once the list tells the row that its sites did. The keyboard
// moves a focus mark among the buttons but never activates one. Assistive technology sees each
// button as a push button with a press action (ThumbButtonAccessible.h).

#include "sites/SiteStore.h"

#include <QList>
#include <QPixmap>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

class QLabel;
class QScrollBar;
class TKvThumbButtonGroupAccessible;

// Paces the automatic scrolling while a dragged button is held near the top or bottom edge. The
// group owns one; tests hand it one that they tick by hand.
class IKvAutoScrollTimer {
public:
  virtual ~IKvAutoScrollTimer() = default;
  // Calls tick every intervalMs milliseconds until Stop. Starting again replaces the interval and
  // counts the new one from now.
  virtual void Start(int intervalMs, std::function<void()> tick) = 0;
  virtual void Stop() = 0;
};

class TKvThumbButtonGroup : public QWidget, public IKvSiteListener {
  Q_OBJECT

public:
  static constexpr int ButtonWidth = 110;
  static constexpr int ButtonHeight = 24;
  // A drag starts once the pointer has moved this far, horizontally or vertically, from the press.
  static constexpr int DragThreshold = 5;
  // Near an edge during a drag the group scrolls one row per interval: the fast interval in the
  // outermost pixels, the slow one in the rest of the zone.
  static constexpr int ScrollZone = 6;
  static constexpr int FastZoneBottom = 3;
  static constexpr int FastZoneTop = 4;
  static constexpr int FastScrollMs = 250;
  static constexpr int SlowScrollMs = 500;

  explicit TKvThumbButtonGroup(QWidget *parent = nullptr);
  ~TKvThumbButtonGroup() override;

  // Replaces the timer that paces the automatic scrolling (a QTimer by default).
  void SetAutoScrollTimer(std::unique_ptr<IKvAutoScrollTimer> timer);

  // The images of the form; every button shows the first, none when there is none.
  void SetImages(QList<QPixmap> images);

  // The sites the buttons stand for, in order; none when null. The row reads them whenever it
  // needs them and must be told of every change (IKvSiteListener); a change ends a press or drag
  // in progress without an event.
  void SetSites(const std::vector<TKvSite> *sites);
  void SitesLoaded() override;
  void SiteAdded(int32_t position) override;
  void SiteRemoving(int32_t position) override;
  void SiteRemoved(int32_t position) override;
  void SiteMoved(const TKvListMove &move) override;

  // Buttons are addressed by position, counted from 0: the caption is three spaces and the site's
  // host, the tooltip the site's URL.
  int Count() const { return sites_ ? static_cast<int>(sites_->size()) : 0; }
  QString Caption(int position) const;
  QString ToolTip(int position) const;
  // A button's id is its site's, kept through moves and never given to another site: it is how
  // assistive technology holds on to one button. 0 is no button's.
  quint64 ButtonId(int position) const;
  // The button's position now, -1 when it is gone; hint is where it was last seen.
  int PositionOf(quint64 id, int hint = -1) const;
  // Does what a mouse click on the button does: the press action of assistive technology (the
  // keyboard still clicks nothing).
  void ClickButton(int position);

  // Layout, in the group's own coordinates.
  int Columns() const { return columns_; }
  int RowCount() const;
  int VisibleRows() const;
  int TopRow() const;
  int MaxTopRow() const;
  void SetTopRow(int row);
  QRect ButtonRect(int position) const; // lies outside the group when scrolled out of view
  int ButtonAt(QPoint point) const;     // -1 where there is no button
  // The position a button dropped at point would be put before; -1 outside the group's buttons
  // area. Past a button's middle (horizontally, or vertically with one button per row) it is the
  // next position; below or after the last button it is Count().
  int DropTargetAt(QPoint point) const;

  // State shown by the painting.
  int FocusIndex() const { return focus_; } // on some button whenever there is one
  void SetFocusIndex(int position);
  int HoverIndex() const { return hover_; }
  int PressedIndex() const; // the button drawn pressed, -1 for none
  bool IsDragging() const { return dragging_; }
  int InsertionMark() const { return dropTarget_; } // target of the drag shown, -1 for none

  QSize sizeHint() const override;

signals:
  void ButtonClicked(int position);
  // A drop asks for the button at from to stand before the one at before (Count(): after the
  // last); never for a move that would leave every button where it is.
  void MoveRequested(int from, int before);

protected:
  bool event(QEvent *event) override;
  void paintEvent(QPaintEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;
  void hideEvent(QHideEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;
  void leaveEvent(QEvent *event) override;
  void wheelEvent(QWheelEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;
  void focusInEvent(QFocusEvent *event) override;
  void focusOutEvent(QFocusEvent *event) override;

private:
  bool IsValid(int position) const { return position >= 0 && position < Count(); }
  // The row's interface for assistive technology, told of every change of the buttons.
  TKvThumbButtonGroupAccessible *Accessible();
  void Relayout();
  void SetHover(int position);
  void EnsureVisible(int position);
  void EndPress();
  void StartDrag(QPoint globalPoint);
  void DragTo(QPoint point, QPoint globalPoint);
  void UpdateDropTarget();
  void UpdateAutoScroll();
  void AutoScrollTick();
  void Drop();
  const TKvSite &Site(int position) const { return (*sites_)[static_cast<size_t>(position)]; }
  void PaintButton(QPainter &painter, int position, const QRect &rect, bool hot, bool down) const;

  const std::vector<TKvSite> *sites_ = nullptr;
  QList<QPixmap> images_;
  QScrollBar *scrollBar_;
  std::unique_ptr<IKvAutoScrollTimer> scrollTimer_;
  int columns_ = 1;
  int focus_ = -1;
  int hover_ = -1;
  QPoint pointer_{-1, -1}; // last pointer position seen inside the group
  // A press on a button, and the drag it may become.
  int pressed_ = -1;
  QPoint pressPoint_;
  bool dragging_ = false;
  QPoint dragPoint_;
  QPoint grabOffset_; // from the dragged button's corner to the pointer
  int dropTarget_ = -1;
  int scrollInterval_ = 0; // interval the timer runs at, 0 when stopped
  // The dragged button's picture while a drag lasts; a child of the group, gone when the drag ends.
  std::unique_ptr<QLabel> dragImage_;
};
