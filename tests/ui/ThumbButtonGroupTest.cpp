// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ThumbButtonGroup.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <optional>
#include <vector>

namespace {

// Counts the automatic scrolling's ticks by hand instead of waiting for them.
struct ManualTimer : IKvAutoScrollTimer {
  void Start(int intervalMs, std::function<void()> tick) override {
    interval = intervalMs;
    onTick = std::move(tick);
  }
  void Stop() override {
    interval = 0;
    onTick = nullptr;
  }
  void Tick() {
    ASSERT_TRUE(onTick) << "the timer is not running";
    onTick();
  }
  int interval = 0;
  std::function<void()> onTick;
};

// The row as the main window holds it: 353 x 72, three buttons a row, three rows in view. Its
// sites change as the site list changes them, each change told to the row, and a drop moves a
// site as the window has the list do.
class ThumbButtonGroupTest : public ::testing::Test {
protected:
  void SetUp() override {
    host.resize(379, 394);
    auto *made = new TKvThumbButtonGroup(&host);
    made->setObjectName("bgThumbs");
    made->setGeometry(8, 109, 353, 72);
    made->SetSites(&sites);
    QObject::connect(made, &TKvThumbButtonGroup::MoveRequested,
                     [this](int from, int before) { MoveSite(from, before); });
    auto manual = std::make_unique<ManualTimer>();
    timer = manual.get();
    made->SetAutoScrollTimer(std::move(manual));
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
  }
  void TearDown() override { Group()->SetSites(nullptr); }

  TKvThumbButtonGroup *Group() { return host.findChild<TKvThumbButtonGroup *>("bgThumbs"); }
  QScrollBar *ScrollBar() { return Group()->findChild<QScrollBar *>("scrollBar"); }
  QWidget *DragImage() { return Group()->findChild<QWidget *>("dragImage"); }

  // Sites whose hosts are A, B, C, ...
  void AddButtons(int count) {
    for (int i = 0; i < count; ++i)
      AddSite(i < 26 ? QString(QChar('A' + i)) : QString::number(i));
  }
  void AddSite(const QString &hostName) { InsertSite(Group()->Count(), hostName); }
  void InsertSite(int position, const QString &hostName) {
    const std::u16string name = hostName.toStdU16String();
    const TKvSite site{++lastSiteId, 1, u"http://" + name, name};
    sites.insert(sites.begin() + position, site);
    Group()->SiteAdded(position);
  }
  void RemoveSite(int position) {
    Group()->SiteRemoving(position);
    sites.erase(sites.begin() + position);
    Group()->SiteRemoved(position);
  }
  void MoveSite(int from, int before) {
    ApplyMove(sites, {from, before});
    Group()->SiteMoved({from, before});
  }
  void ClearSites() {
    while (!sites.empty())
      RemoveSite(Group()->Count() - 1);
  }
  QString Order() {
    QString order;
    for (int i = 0; i < Group()->Count(); ++i)
      order += Group()->Caption(i).trimmed();
    return order;
  }

  void Mouse(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(at), QPointF(Group()->mapToGlobal(at)), button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(Group(), &event);
  }
  void Press(QPoint at) { Mouse(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton); }
  void MoveHeld(QPoint at) { Mouse(QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton); }
  void MoveFree(QPoint at) { Mouse(QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton); }
  void Release(QPoint at) { Mouse(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton); }
  // Press on a button's centre, drag past the threshold, move to to and release there.
  void Drag(int position, QPoint to) {
    const QPoint from = Group()->ButtonRect(position).center();
    Press(from);
    MoveHeld(from + QPoint(0, TKvThumbButtonGroup::DragThreshold));
    MoveHeld(to);
    Release(to);
  }

  std::vector<TKvSite> sites;
  TKvSiteId lastSiteId = 0;
  QWidget host;
  ManualTimer *timer = nullptr;
};

TEST_F(ThumbButtonGroupTest, RowsHoldAsManyButtonsAsFitAndScrollWhenMoreRowsExist) {
  struct Row {
    int width, count, columns;
    bool scrollBar;
    int maxTopRow;
  };
  const Row rows[] = {
      {353, 0, 3, false, 0},  {353, 9, 3, false, 0}, {353, 10, 3, true, 1},
      {353, 31, 3, true, 8},  {109, 2, 1, false, 0}, {110, 4, 1, true, 1},
      {440, 12, 4, false, 0}, {440, 13, 3, true, 2}, // the bar takes its width from the buttons
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(testing::Message() << row.width << " px, " << row.count << " buttons");
    ClearSites();
    Group()->resize(row.width, 72);
    AddButtons(row.count);
    EXPECT_EQ(Group()->Columns(), row.columns);
    EXPECT_EQ(ScrollBar()->isVisible(), row.scrollBar);
    EXPECT_EQ(Group()->MaxTopRow(), row.maxTopRow);
    EXPECT_EQ(ScrollBar()->maximum(), row.maxTopRow);
    EXPECT_EQ(ScrollBar()->pageStep(), 3);
  }
}

TEST_F(ThumbButtonGroupTest, ButtonsAre110By24InReadingOrderAndScrollByWholeRows) {
  AddButtons(11);
  EXPECT_EQ(Group()->ButtonRect(0), QRect(0, 0, 110, 24));
  EXPECT_EQ(Group()->ButtonRect(2), QRect(220, 0, 110, 24));
  EXPECT_EQ(Group()->ButtonRect(4), QRect(110, 24, 110, 24));
  ScrollBar()->setValue(1);
  EXPECT_EQ(Group()->TopRow(), 1);
  EXPECT_EQ(Group()->ButtonRect(4), QRect(110, 0, 110, 24));
  EXPECT_EQ(Group()->ButtonRect(10), QRect(110, 48, 110, 24));

  QWheelEvent wheelUp(QPointF(5, 5), QPointF(Group()->mapToGlobal(QPoint(5, 5))), QPoint(),
                      QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(Group(), &wheelUp);
  EXPECT_EQ(Group()->TopRow(), 0);
}

TEST_F(ThumbButtonGroupTest, HitTestingFindsTheButtonUnderAPoint) {
  AddButtons(5);
  const std::pair<QPoint, int> rows[] = {
      {{0, 0}, 0},  {{109, 23}, 0}, {{110, 0}, 1},   {{329, 23}, 2}, {{330, 0}, -1},
      {{0, 24}, 3}, {{219, 47}, 4}, {{220, 24}, -1}, {{0, 48}, -1},  {{-1, 0}, -1},
  };
  for (const auto &[point, expected] : rows) {
    SCOPED_TRACE(testing::Message() << point.x() << "," << point.y());
    EXPECT_EQ(Group()->ButtonAt(point), expected);
  }
  ClearSites();
  AddButtons(12);
  Group()->SetTopRow(1);
  EXPECT_EQ(Group()->ButtonAt({0, 0}), 3);
  EXPECT_EQ(Group()->ButtonAt({345, 0}), -1) << "the scroll bar is no button";
}

TEST_F(ThumbButtonGroupTest, AClickNeedsPressAndReleaseOnTheSameButtonWithoutADrag) {
  AddButtons(5);
  QSignalSpy clicked(Group(), &TKvThumbButtonGroup::ButtonClicked);
  QSignalSpy reordered(Group(), &TKvThumbButtonGroup::MoveRequested);
  struct Row {
    const char *name;
    QPoint press, move, release;
    int clickedButton; // -1: no click
  };
  const Row rows[] = {
      {"still", {115, 5}, {115, 5}, {115, 5}, 1},
      {"4 px across", {115, 5}, {119, 5}, {119, 5}, 1},
      {"4 px down and across", {115, 5}, {111, 9}, {111, 9}, 1},
      {"5 px across starts a drag", {130, 5}, {135, 5}, {135, 5}, -1},
      {"5 px up starts a drag", {130, 12}, {130, 7}, {130, 7}, -1},
      {"released on the next button", {108, 5}, {108, 5}, {112, 5}, -1},
      {"released beside the buttons", {328, 5}, {328, 5}, {331, 5}, -1},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.name);
    clicked.clear();
    Press(row.press);
    MoveHeld(row.move);
    Release(row.release);
    if (row.clickedButton < 0) {
      EXPECT_TRUE(clicked.isEmpty());
    } else {
      ASSERT_EQ(clicked.size(), 1);
      EXPECT_EQ(clicked[0][0].toInt(), row.clickedButton);
    }
    EXPECT_FALSE(Group()->IsDragging());
  }
  EXPECT_TRUE(reordered.isEmpty()) << "a drag back onto its own button moves nothing";
  Mouse(QEvent::MouseButtonPress, {5, 5}, Qt::RightButton, Qt::RightButton);
  Mouse(QEvent::MouseButtonRelease, {5, 5}, Qt::RightButton, Qt::NoButton);
  EXPECT_TRUE(clicked.isEmpty()) << "only the left button clicks";
}

TEST_F(ThumbButtonGroupTest, HoverAndPressedStatesFollowThePointerAndChangeTheLook) {
  AddButtons(3);
  const QRect first(0, 0, 110, 24);
  const QImage plain = Group()->grab(first).toImage();
  MoveFree({5, 5});
  EXPECT_EQ(Group()->HoverIndex(), 0);
  const QImage hot = Group()->grab(first).toImage();
  Press({5, 5});
  EXPECT_EQ(Group()->PressedIndex(), 0);
  const QImage down = Group()->grab(first).toImage();
  MoveHeld({5, 30}); // the drag starts: nothing is drawn pressed
  EXPECT_EQ(Group()->PressedIndex(), -1);
  Release({5, 30});
  MoveFree({120, 5});
  EXPECT_EQ(Group()->HoverIndex(), 1);
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(Group(), &leave);
  EXPECT_EQ(Group()->HoverIndex(), -1);
  EXPECT_NE(plain, hot);
  EXPECT_NE(plain, down);
  EXPECT_NE(hot, down);
}

TEST_F(ThumbButtonGroupTest, EveryButtonShowsImageZeroOfTheImageListAndItsCaption) {
  QPixmap red(16, 16);
  red.fill(Qt::red);
  Group()->SetImages({red});
  AddSite("example.org");
  AddSite(""); // no caption
  const QImage picture = Group()->grab().toImage();
  const QPoint imageCentre(4 + 8, 12);
  EXPECT_EQ(picture.pixelColor(imageCentre), QColor(Qt::red));
  EXPECT_EQ(picture.pixelColor(imageCentre + QPoint(110, 0)), QColor(Qt::red));
  EXPECT_EQ(Group()->toolTip(), "Recently used URLs");
  // Some caption pixel differs from the face behind it.
  const QColor face = picture.pixelColor(110 + 60, 12); // the empty button's face
  bool captionDrawn = false;
  for (int x = 30; x < 100 && !captionDrawn; ++x)
    for (int y = 4; y < 20 && !captionDrawn; ++y)
      captionDrawn = picture.pixelColor(x, y) != face;
  EXPECT_TRUE(captionDrawn);
}

TEST_F(ThumbButtonGroupTest, DropTargetIsTheButtonUnderThePointerOrTheNextPastItsMiddle) {
  AddButtons(5);
  const std::pair<QPoint, int> rows[] = {
      {{10, 5}, 0},
      {{54, 5}, 0},
      {{55, 5}, 1},
      {{120, 20}, 1},
      {{275, 5}, 3},
      {{340, 5}, 3}, // beside the last column: past the middle of the row's last
                     // button
      {{10, 30}, 3},
      {{165, 30}, 5},
      {{250, 30}, 5}, // after the last button: the end
      {{10, 60}, 5},  // below the last button: the end
      {{10, -1}, -1},
      {{353, 5}, -1}, // outside the group
  };
  for (const auto &[point, expected] : rows) {
    SCOPED_TRACE(testing::Message() << point.x() << "," << point.y());
    EXPECT_EQ(Group()->DropTargetAt(point), expected);
  }
  Group()->resize(110, 72); // one button a row: the vertical middle counts
  const std::pair<QPoint, int> column[] = {
      {{100, 11}, 0}, {{100, 12}, 1}, {{5, 30}, 1}, {{5, 36}, 2}, {{5, 71}, 3}};
  for (const auto &[point, expected] : column) {
    SCOPED_TRACE(testing::Message() << "one column, " << point.x() << "," << point.y());
    EXPECT_EQ(Group()->DropTargetAt(point), expected);
  }
}

TEST_F(ThumbButtonGroupTest, DropMovesTheButtonUnlessItWouldStayWhereItIs) {
  struct Row {
    int from;
    QPoint to;
    std::optional<std::pair<int, int>> event; // the button and the one it goes before
    const char *order;
  };
  const Row rows[] = {
      {0, {10, 5}, std::nullopt, "ABCDE"},  // onto its own position
      {0, {100, 5}, std::nullopt, "ABCDE"}, // the position just after it
      {0, {170, 5}, {{0, 2}}, "BACDE"},
      {0, {300, 60}, {{0, 5}}, "BCDEA"}, // below the last: the end
      {4, {10, 5}, {{4, 0}}, "EABCD"},
      {2, {120, 5}, {{2, 1}}, "ACBDE"},
      {2, {300, 5}, std::nullopt, "ABCDE"},  // before 3, just after it
      {3, {250, 30}, {{3, 5}}, "ABCED"},     // after the last button
      {4, {250, 30}, std::nullopt, "ABCDE"}, // the end is just after the last
      {1, {10, -20}, std::nullopt, "ABCDE"}, // released outside the group
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(testing::Message()
                 << "from " << row.from << " to " << row.to.x() << "," << row.to.y());
    ClearSites();
    AddButtons(5);
    QSignalSpy reordered(Group(), &TKvThumbButtonGroup::MoveRequested);
    QSignalSpy clicked(Group(), &TKvThumbButtonGroup::ButtonClicked);
    const quint64 moved = Group()->ButtonId(row.from);
    Drag(row.from, row.to);
    EXPECT_EQ(Order(), row.order);
    EXPECT_TRUE(clicked.isEmpty());
    if (!row.event) {
      EXPECT_TRUE(reordered.isEmpty());
      continue;
    }
    ASSERT_EQ(reordered.size(), 1);
    EXPECT_EQ(reordered[0][0].toInt(), row.event->first);
    EXPECT_EQ(reordered[0][1].toInt(), row.event->second);
    EXPECT_EQ(Group()->PositionOf(moved), Order().indexOf(QChar('A' + row.from)))
        << "the button keeps its id";
  }
}

TEST_F(ThumbButtonGroupTest, InsertionMarkShowsOnlyAValidTargetAndALoneButtonCannotMove) {
  AddButtons(5);
  Press({20, 5});
  MoveHeld({20, 12});
  ASSERT_TRUE(Group()->IsDragging());
  const std::pair<QPoint, int> rows[] = {{{10, 5}, -1}, {{100, 5}, -1}, {{170, 5}, 2},
                                         {{10, 30}, 3}, {{250, 30}, 5}, {{10, 90}, -1}};
  for (const auto &[point, mark] : rows) {
    SCOPED_TRACE(testing::Message() << point.x() << "," << point.y());
    MoveHeld(point);
    EXPECT_EQ(Group()->InsertionMark(), mark);
  }
  MoveHeld({170, 5});
  const QImage marked = Group()->grab().toImage();
  MoveHeld({10, 5});
  EXPECT_NE(Group()->grab().toImage(), marked) << "the mark is drawn";
  Release({10, 5});
  EXPECT_EQ(Group()->InsertionMark(), -1);

  ClearSites();
  AddButtons(1);
  QSignalSpy reordered(Group(), &TKvThumbButtonGroup::MoveRequested);
  Drag(0, {250, 60});
  EXPECT_TRUE(reordered.isEmpty());
}

TEST_F(ThumbButtonGroupTest, APictureOfTheDraggedButtonFollowsThePointerUntilTheDrop) {
  AddButtons(5);
  EXPECT_EQ(DragImage(), nullptr);
  Press({130, 10}); // 20, 10 into button 1
  MoveHeld({130, 16});
  QWidget *picture = DragImage();
  ASSERT_NE(picture, nullptr);
  EXPECT_TRUE(picture->isVisible());
  EXPECT_EQ(picture->size(), QSize(110, 24));
  for (const QPoint at : {QPoint(200, 40), QPoint(-30, 100)}) {
    SCOPED_TRACE(testing::Message() << at.x() << "," << at.y());
    MoveHeld(at);
    EXPECT_EQ(picture->pos(), Group()->mapToGlobal(at) - QPoint(20, 10));
  }
  Release({-30, 100});
  EXPECT_EQ(DragImage(), nullptr);
}

TEST_F(ThumbButtonGroupTest, EscapeALostReleaseHidingOrAChangeOfTheButtonsEndADragWithoutAMove) {
  AddButtons(5);
  QSignalSpy reordered(Group(), &TKvThumbButtonGroup::MoveRequested);
  QSignalSpy clicked(Group(), &TKvThumbButtonGroup::ButtonClicked);
  Press({20, 5});
  MoveHeld({250, 30});
  QTest::keyClick(Group(), Qt::Key_Escape);
  EXPECT_FALSE(Group()->IsDragging());
  EXPECT_EQ(DragImage(), nullptr);
  Release({250, 30});

  Press({20, 5});
  MoveHeld({250, 30});
  MoveFree({250, 31}); // the release happened where the group never heard of it
  EXPECT_FALSE(Group()->IsDragging());
  Release({250, 31});

  Press({20, 5});
  MoveHeld({250, 30});
  Group()->hide();
  EXPECT_FALSE(Group()->IsDragging());
  Group()->show();
  Release({250, 30});

  Press({20, 5});
  MoveHeld({250, 30});
  RemoveSite(4);
  Release({250, 30});

  Press({20, 5});
  AddSite("F");
  Release({20, 5});
  EXPECT_TRUE(reordered.isEmpty());
  EXPECT_TRUE(clicked.isEmpty());
  EXPECT_EQ(Order(), "ABCDF");
}

TEST_F(ThumbButtonGroupTest, DraggingNearAnEdgeScrollsOneRowPerTick) {
  AddButtons(30); // ten rows, three in view
  Press({20, 30});
  MoveHeld({20, 40});
  struct Row {
    int y, topRow, interval;
  };
  const Row rows[] = {
      {65, 0, 0},   {66, 0, 500}, {68, 0, 500}, {69, 0, 250},
      {71, 0, 250}, {71, 7, 0},   {66, 7, 0}, // no rows hidden below
      {6, 3, 0},    {5, 3, 500},  {4, 3, 500},  {3, 3, 250},
      {0, 3, 250},  {0, 0, 0},    {3, 0, 0}, // no rows hidden above
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(testing::Message() << "y " << row.y << ", top row " << row.topRow);
    Group()->SetTopRow(row.topRow);
    MoveHeld({20, 30}); // out of every zone first
    EXPECT_EQ(timer->interval, 0);
    MoveHeld({20, row.y});
    EXPECT_EQ(timer->interval, row.interval);
  }
  MoveHeld({20, 30});
  MoveHeld({20, 80}); // below the group: no zone
  EXPECT_EQ(timer->interval, 0);

  // Each tick scrolls one row, the target follows, and the timer stops at the last row.
  Group()->SetTopRow(5);
  MoveHeld({20, 67});
  ASSERT_EQ(timer->interval, 500);
  timer->Tick();
  EXPECT_EQ(Group()->TopRow(), 6);
  EXPECT_EQ(Group()->InsertionMark(), 24); // row 6 + 2 in view
  timer->Tick();
  EXPECT_EQ(Group()->TopRow(), 7);
  EXPECT_EQ(timer->interval, 0);
  MoveHeld({20, 2});
  ASSERT_EQ(timer->interval, 250);
  timer->Tick();
  EXPECT_EQ(Group()->TopRow(), 6);

  QSignalSpy reordered(Group(), &TKvThumbButtonGroup::MoveRequested);
  Release({20, 30}); // row 7 in view: target 21
  EXPECT_EQ(timer->interval, 0);
  ASSERT_EQ(reordered.size(), 1);
  EXPECT_EQ(reordered[0][0].toInt(), 3);
  EXPECT_EQ(reordered[0][1].toInt(), 21);
  EXPECT_EQ(Group()->Caption(20), "   D");
}

TEST_F(ThumbButtonGroupTest, KeysMoveTheFocusMarkButNeverActivateAButton) {
  AddButtons(10); // rows of 3: 0-2, 3-5, 6-8, 9
  QApplication::setActiveWindow(&host);
  Group()->setFocus();
  ASSERT_TRUE(Group()->hasFocus());
  EXPECT_EQ(Group()->FocusIndex(), 0);
  QSignalSpy clicked(Group(), &TKvThumbButtonGroup::ButtonClicked);
  struct Row {
    int from;
    Qt::Key key;
    int to, topRow;
  };
  const Row rows[] = {
      {0, Qt::Key_Right, 1, 0},    {1, Qt::Key_Left, 0, 0},   {0, Qt::Key_Left, 0, 0},
      {9, Qt::Key_Right, 9, 1},    {1, Qt::Key_Down, 4, 0},   {4, Qt::Key_Up, 1, 0},
      {1, Qt::Key_Up, 1, 0},       {7, Qt::Key_Down, 9, 1},   {9, Qt::Key_Down, 9, 1},
      {0, Qt::Key_PageDown, 9, 1}, {9, Qt::Key_PageUp, 0, 0}, {2, Qt::Key_End, 9, 1},
      {9, Qt::Key_Home, 0, 0},     {4, Qt::Key_Return, 4, 0}, {4, Qt::Key_Enter, 4, 0},
      {4, Qt::Key_Space, 4, 0},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(testing::Message() << "from " << row.from << ", key " << row.key);
    Group()->SetTopRow(0);
    Group()->SetFocusIndex(row.from);
    QTest::keyClick(Group(), row.key);
    EXPECT_EQ(Group()->FocusIndex(), row.to);
    EXPECT_EQ(Group()->TopRow(), row.topRow);
  }
  EXPECT_TRUE(clicked.isEmpty());

  Group()->SetTopRow(0);
  Group()->SetFocusIndex(1);
  const QImage marked = Group()->grab().toImage();
  Group()->SetFocusIndex(2);
  EXPECT_NE(Group()->grab().toImage(), marked) << "the mark is drawn where the focus is";
}

TEST_F(ThumbButtonGroupTest, FocusMarkStaysOnItsButtonWhenButtonsComeAndGo) {
  AddButtons(5);
  Group()->SetFocusIndex(2);
  InsertSite(0, "new");
  EXPECT_EQ(Group()->FocusIndex(), 3);
  RemoveSite(0);
  EXPECT_EQ(Group()->FocusIndex(), 2);
  MoveSite(2, 5);
  EXPECT_EQ(Group()->FocusIndex(), 4);
  Drag(4, {10, 5});
  EXPECT_EQ(Group()->FocusIndex(), 0) << "a pressed button takes the mark and keeps it";
  RemoveSite(0);
  EXPECT_EQ(Group()->FocusIndex(), 0);
  ClearSites();
  EXPECT_EQ(Group()->FocusIndex(), -1);
}

TEST_F(ThumbButtonGroupTest, TenThousandButtonsAreNoWidgets) {
  AddButtons(10000);
  EXPECT_EQ(Group()->findChildren<QWidget *>().size(), 1) << "only the scroll bar";
  EXPECT_EQ(Group()->MaxTopRow(), 3334 - 3);
  Group()->SetTopRow(Group()->MaxTopRow());
  EXPECT_EQ(Group()->ButtonAt({5, 48}), 9999);
  EXPECT_EQ(Group()->Caption(9999), "   9999");
}

TEST_F(ThumbButtonGroupTest, AssistiveTechnologyFindsEachButtonScrolledPressedMovedOrGone) {
  AddButtons(12); // rows of 3: four rows, three in view
  QAccessibleInterface *row = QAccessible::queryAccessibleInterface(Group());
  ASSERT_EQ(row->childCount(), 13) << "the buttons, then the scroll bar";
  EXPECT_EQ(row->child(12)->role(), QAccessible::ScrollBar);
  EXPECT_FALSE(row->child(12)->state().invisible);
  QAccessibleInterface *last = row->child(11);
  EXPECT_EQ(last->text(QAccessible::Name), "L");
  EXPECT_TRUE(last->state().offscreen) << "its row is scrolled out of view";
  EXPECT_FALSE(row->child(0)->state().offscreen);
  // A button without a caption goes by its tooltip.
  sites[1].Host.clear();
  sites[1].URL = u"a://";
  EXPECT_EQ(row->child(1)->text(QAccessible::Name), "a://");

  Press(Group()->ButtonRect(2).center());
  EXPECT_TRUE(row->child(2)->state().pressed);
  Release(Group()->ButtonRect(2).center());
  EXPECT_FALSE(row->child(2)->state().pressed);

  // The press action clicks a button out of view, which comes into view with the focus mark.
  QSignalSpy clicked(Group(), &TKvThumbButtonGroup::ButtonClicked);
  last->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  ASSERT_EQ(clicked.size(), 1);
  EXPECT_EQ(clicked[0][0].toInt(), 11);
  EXPECT_FALSE(last->state().offscreen);
  EXPECT_EQ(Group()->FocusIndex(), 11);
  // The focus action gives the row the focus, its mark on that button.
  QApplication::setActiveWindow(&host);
  row->child(4)->actionInterface()->doAction(QAccessibleActionInterface::setFocusAction());
  EXPECT_TRUE(Group()->hasFocus());
  EXPECT_EQ(Group()->FocusIndex(), 4);
  EXPECT_TRUE(row->child(4)->state().focused);
  EXPECT_EQ(row->focusChild(), row->child(4));
  EXPECT_EQ(clicked.size(), 1) << "focusing clicks nothing";

  // Moving takes the interface along; removing ends it.
  MoveSite(11, 0);
  EXPECT_EQ(row->indexOfChild(last), 0);
  EXPECT_EQ(row->child(0), last);
  EXPECT_EQ(last->text(QAccessible::Name), "L");
  const QAccessible::Id lastId = QAccessible::uniqueId(last);
  RemoveSite(0);
  EXPECT_EQ(QAccessible::accessibleInterface(lastId), nullptr);
  EXPECT_EQ(row->childCount(), 12);
  EXPECT_EQ(row->child(0)->text(QAccessible::Name), "A");
  ClearSites();
  EXPECT_EQ(row->childCount(), 1);
  EXPECT_EQ(row->child(0)->role(), QAccessible::ScrollBar);
}

} // namespace
