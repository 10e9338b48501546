// SPDX-License-Identifier: GPL-3.0-or-later
// The main window as a screen reader meets it: through QAccessible, on the real window, with Qt's
// bridge to assistive technology live (with-accessibility-bus.sh), so that Qt tells all it would
// tell a screen reader.

#include "MainWindowFixture.h"
#include "crypto/SitePassword.h"
#include "storage/MasterPassword.h"
#include "ui/ThumbButtonGroup.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTest>
#include <vector>

namespace {

// What the program tells assistive technology, as the platform's bridge would get it, while it
// lives.
class TToldAssistiveTechnology {
public:
  struct Told {
    QAccessible::Event type;
    QAccessible::Id id, parent;
    QString name, description;
    QString carried; // the text a text event carries
    bool readable;   // its interface offers text: only then does the bridge pass the text on
  };

  TToldAssistiveTechnology() : previous_(QAccessible::installUpdateHandler(&Receive)) {
    current_ = this;
  }
  ~TToldAssistiveTechnology() {
    QAccessible::installUpdateHandler(previous_);
    current_ = nullptr;
  }
  TToldAssistiveTechnology(const TToldAssistiveTechnology &) = delete;
  TToldAssistiveTechnology &operator=(const TToldAssistiveTechnology &) = delete;

  // The events of one type about the children of parent (any when 0), in order.
  std::vector<Told> OfType(QAccessible::Event type, QAccessibleInterface *parent = nullptr) const {
    std::vector<Told> found;
    for (const Told &told : events)
      if (told.type == type && (!parent || told.parent == QAccessible::uniqueId(parent)))
        found.push_back(told);
    return found;
  }

  std::vector<Told> events;

private:
  static void Receive(QAccessibleEvent *event) {
    Told told{event->type(), 0, 0, {}, {}, {}, false};
    if (QAccessibleInterface *about = event->accessibleInterface()) {
      told.id = QAccessible::uniqueId(about);
      if (QAccessibleInterface *parent = about->parent())
        told.parent = QAccessible::uniqueId(parent);
      told.name = about->text(QAccessible::Name);
      told.description = about->text(QAccessible::Description);
      told.readable = about->textInterface() != nullptr;
    }
    switch (event->type()) {
    case QAccessible::TextInserted:
      told.carried = static_cast<QAccessibleTextInsertEvent *>(event)->textInserted();
      break;
    case QAccessible::TextRemoved:
      told.carried = static_cast<QAccessibleTextRemoveEvent *>(event)->textRemoved();
      break;
    case QAccessible::TextUpdated: {
      const auto *update = static_cast<QAccessibleTextUpdateEvent *>(event);
      told.carried = update->textRemoved() + "|" + update->textInserted();
      break;
    }
    case QAccessible::ValueChanged:
      told.carried = static_cast<QAccessibleValueChangeEvent *>(event)->value().toString();
      break;
    default:
      break;
    }
    current_->events.push_back(told);
  }

  static inline TToldAssistiveTechnology *current_ = nullptr;
  QAccessible::UpdateHandler previous_;
};

// The window on three stored sites, logins for the first two, shown.
class MainWindowAccessibilityTest : public MainWindowTest {
protected:
  void SetUp() override {
    // The bridge goes live once it has found the accessibility bus.
    ASSERT_TRUE(QTest::qWaitFor([] { return QAccessible::isActive(); }, 10000))
        << "no accessibility bus: run through with-accessibility-bus.sh";
    MainWindowTest::SetUp();
    Put("urls.db", "1:https://one.example\r\n2:https://two.example\r\n3:http://three.example\r\n");
    Put("logins.db", "1:alice\r\n1:bob\r\n2:carol\r\n");
    window = Open();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }

  QAccessibleInterface *Row() { return QAccessible::queryAccessibleInterface(window->bgThumbs); }
  QAccessibleInterface *Button(int position) { return Row()->child(position); }
  void PressAction(QAccessibleInterface *button) {
    ASSERT_NE(button->actionInterface(), nullptr);
    button->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  }
  QStringList Entries() const {
    QStringList entries;
    for (int i = 0; i < window->edLogin->count(); ++i)
      entries << window->edLogin->itemText(i);
    return entries;
  }

  std::unique_ptr<TfmMain> window;
};

TEST_F(MainWindowAccessibilityTest, EachSiteButtonIsAPushButtonNamedByItsHostAndDescribedByItsURL) {
  QAccessibleInterface *form = QAccessible::queryAccessibleInterface(window.get());
  QAccessibleInterface *row = Row();
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->role(), QAccessible::Grouping);
  EXPECT_EQ(row->text(QAccessible::Name), "Recently used URLs");
  EXPECT_EQ(row->parent()->object(), window.get());
  EXPECT_EQ(form->child(form->indexOfChild(row))->object(), window->bgThumbs);

  struct Expected {
    QString name, description;
  };
  const Expected buttons[] = {{"one.example", "https://one.example"},
                              {"two.example", "https://two.example"},
                              {"three.example", "http://three.example"}};
  // The buttons, then the row's own scroll bar (hidden while all rows fit).
  ASSERT_EQ(row->childCount(), 4);
  for (int position = 0; position < 3; ++position) {
    SCOPED_TRACE(position);
    QAccessibleInterface *button = row->child(position);
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->isValid());
    EXPECT_EQ(button->role(), QAccessible::Button);
    EXPECT_EQ(button->text(QAccessible::Name), buttons[position].name);
    EXPECT_EQ(button->text(QAccessible::Description), buttons[position].description);
    EXPECT_EQ(button->parent(), row);
    EXPECT_EQ(row->indexOfChild(button), position);
    EXPECT_EQ(row->child(position), button) << "one interface per button";
    EXPECT_EQ(button->childCount(), 0);
    const QRect local = window->bgThumbs->ButtonRect(position);
    EXPECT_EQ(button->rect(), QRect(window->bgThumbs->mapToGlobal(local.topLeft()), local.size()));
    EXPECT_EQ(row->childAt(button->rect().center().x(), button->rect().center().y()), button);
    EXPECT_EQ(button->window(), window->windowHandle());
    const QAccessible::State state = button->state();
    EXPECT_TRUE(state.focusable);
    EXPECT_FALSE(state.invisible || state.offscreen || state.pressed || state.disabled);
    EXPECT_TRUE(button->actionInterface()->actionNames().contains(
        QAccessibleActionInterface::pressAction()));
  }
  QAccessibleInterface *scrollBar = row->child(3);
  ASSERT_NE(scrollBar, nullptr);
  EXPECT_EQ(scrollBar->role(), QAccessible::ScrollBar);
  EXPECT_EQ(row->indexOfChild(scrollBar), 3);
  EXPECT_TRUE(scrollBar->state().invisible);
  EXPECT_EQ(row->child(4), nullptr);
  EXPECT_EQ(row->child(-1), nullptr);
}

TEST_F(MainWindowAccessibilityTest, ThePressActionChoosesTheSiteAsAMouseClickDoes) {
  PressAction(Button(1));
  EXPECT_EQ(window->LastClickedButton(), 1);
  EXPECT_EQ(window->edURL->text(), "https://two.example");
  EXPECT_EQ(Entries(), QStringList({"carol"}));
  EXPECT_TRUE(window->edLogin->currentText().isEmpty());
  EXPECT_EQ(window->bgThumbs->FocusIndex(), 1);

  // "Generate" and "Delete URL" then work on that site, as after a click.
  window->edMasterPass->setText("master");
  window->edLogin->setEditText("dave");
  Control<QAbstractButton>(*window, "bbGenerate")->click();
  EXPECT_EQ(window->edPassword->text(), QString::fromStdU16String(DeriveSitePassword(
                                            u"master", u"https://two.example", u"dave")));
  EXPECT_GE(window->Logins().IndexOf(u"2:dave"), 0);
  Control<QAbstractButton>(*window, "sbDeleteURL")->click();
  EXPECT_EQ(window->bgThumbs->Count(), 2);
  EXPECT_EQ(window->URLs().IndexOf(u"2:https://two.example"), -1);
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(MainWindowAccessibilityTest, AssistiveTechnologyIsToldAsSitesComeMoveAndGo) {
  TToldAssistiveTechnology told;

  // "Generate" for a new site adds a button: told with the new button's name and URL.
  window->edMasterPass->setText("master");
  window->edURL->setText("https://four.example/login");
  Control<QAbstractButton>(*window, "bbGenerate")->click();
  const auto created = told.OfType(QAccessible::ObjectCreated, Row());
  ASSERT_EQ(created.size(), 1U);
  EXPECT_EQ(created[0].name, "four.example");
  QAccessibleInterface *four = Button(3);
  EXPECT_EQ(created[0].id, QAccessible::uniqueId(four));
  EXPECT_EQ(four->text(QAccessible::Description), "https://four.example/login");
  EXPECT_EQ(Row()->childCount(), 5);

  // A drag moves it to the front: the row says its children moved, the interface moves along.
  QAccessibleInterface *one = Button(0);
  const QPoint from = window->bgThumbs->ButtonRect(3).center();
  const QPoint to = window->bgThumbs->ButtonRect(0).topLeft() + QPoint(5, 5);
  const auto mouse = [&](QEvent::Type type, QPoint at, Qt::MouseButton button,
                         Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(at), QPointF(window->bgThumbs->mapToGlobal(at)), button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(window->bgThumbs, &event);
  };
  mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
  mouse(QEvent::MouseMove, from + QPoint(0, TKvThumbButtonGroup::DragThreshold), Qt::NoButton,
        Qt::LeftButton);
  mouse(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
  mouse(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
  ASSERT_EQ(window->bgThumbs->Caption(0), "   four.example");
  const auto reordered = told.OfType(QAccessible::ObjectReorder, Row()->parent());
  ASSERT_EQ(reordered.size(), 1U);
  EXPECT_EQ(reordered[0].id, QAccessible::uniqueId(Row()));
  EXPECT_EQ(Row()->indexOfChild(four), 0);
  EXPECT_EQ(Row()->indexOfChild(one), 1);
  EXPECT_EQ(Button(0), four);
  EXPECT_EQ(one->text(QAccessible::Name), "one.example");

  // Chosen by its press action and deleted: told while it is still there, then gone.
  const QAccessible::Id fourId = QAccessible::uniqueId(four);
  PressAction(four);
  Control<QAbstractButton>(*window, "sbDeleteURL")->click();
  const auto destroyed = told.OfType(QAccessible::ObjectDestroyed, Row());
  ASSERT_EQ(destroyed.size(), 1U);
  EXPECT_EQ(destroyed[0].id, fourId);
  EXPECT_EQ(destroyed[0].name, "four.example");
  EXPECT_EQ(QAccessible::accessibleInterface(fourId), nullptr);
  EXPECT_EQ(Row()->childCount(), 4);
  EXPECT_EQ(Button(0), one);
  EXPECT_EQ(Row()->indexOfChild(one), 0);
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(MainWindowAccessibilityTest, EveryControlAScreenReaderCanReachHasAName) {
  // Walks the window's whole tree as a screen reader does; every box, button, check box and
  // group has a name, and every child knows its parent and its place.
  QStringList nameless;
  std::vector<QAccessibleInterface *> open = {QAccessible::queryAccessibleInterface(window.get())};
  int visited = 0;
  while (!open.empty()) {
    QAccessibleInterface *node = open.back();
    open.pop_back();
    ++visited;
    if (node->state().invisible)
      continue; // out of a screen reader's reach (the fingerprint's buttons before it is shown)
    switch (node->role()) {
    case QAccessible::EditableText:
    case QAccessible::Button:
    case QAccessible::CheckBox:
    case QAccessible::ComboBox:
    case QAccessible::Grouping:
      if (node->text(QAccessible::Name).trimmed().isEmpty())
        nameless << (node->object() ? node->object()->objectName() : QStringLiteral("(no object)"));
      break;
    default:
      break;
    }
    for (int i = 0; i < node->childCount(); ++i) {
      QAccessibleInterface *child = node->child(i);
      ASSERT_NE(child, nullptr);
      EXPECT_EQ(child->parent(), node);
      EXPECT_EQ(node->indexOfChild(child), i);
      open.push_back(child);
    }
  }
  EXPECT_GT(visited, 20);
  EXPECT_TRUE(nameless.isEmpty()) << nameless.join(", ").toStdString();
  // The login drop-down's text box, which takes the focus, has the drop-down's name.
  EXPECT_EQ(
      QAccessible::queryAccessibleInterface(window->edLogin->lineEdit())->text(QAccessible::Name),
      "Login (optional)");
}

TEST_F(MainWindowAccessibilityTest, NoScreenReaderIsEverHandedTheMasterPassword) {
  // Typed, replaced, deleted, and loaded when the window opens: Qt's line edit puts the plain text
  // of every change into its events, and the bridge passes that text on only for a box whose
  // interface offers text. The master password box offers none.
  TToldAssistiveTechnology told;
  window->edMasterPass->setFocus();
  QTest::keyClicks(window->edMasterPass, "s3cret Qx7z");
  QTest::keyClick(window->edMasterPass, Qt::Key_Backspace);
  window->edMasterPass->selectAll();
  QTest::keyClick(window->edMasterPass, Qt::Key_Delete);
  window->cbSave->setChecked(true);
  window->edMasterPass->setText("saved Qx7z");
  window.reset();
  ASSERT_TRUE(Has("master.key"));
  window = Open();
  ASSERT_EQ(window->edMasterPass->text(), "saved Qx7z");

  const auto secret = [](const QString &text) {
    return text.contains("s3cret") || text.contains("Qx7") || text.contains("saved");
  };
  int boxEvents = 0;
  for (const TToldAssistiveTechnology::Told &event : told.events) {
    SCOPED_TRACE(testing::Message() << "event 0x" << std::hex << event.type);
    if (event.name == "Master password")
      ++boxEvents;
    EXPECT_FALSE(secret(event.name) || secret(event.description)) << event.name.toStdString();
    EXPECT_FALSE(event.readable && secret(event.carried)) << event.carried.toStdString();
  }
  EXPECT_GT(boxEvents, 10) << "the box's changes were told, without their text";
}

TEST_F(MainWindowAccessibilityTest, ScreenReadersHearWhichSiteButtonTheArrowKeysReach) {
  QApplication::setActiveWindow(window.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  window->bgThumbs->setFocus();
  ASSERT_TRUE(window->bgThumbs->hasFocus());
  TToldAssistiveTechnology told;
  QTest::keyClick(window->bgThumbs, Qt::Key_Right);
  QTest::keyClick(window->bgThumbs, Qt::Key_Right);
  QTest::keyClick(window->bgThumbs, Qt::Key_Right); // at the end: no move, nothing to tell
  const auto focused = told.OfType(QAccessible::Focus, Row());
  ASSERT_EQ(focused.size(), 2U);
  EXPECT_EQ(focused[0].name, "two.example");
  EXPECT_EQ(focused[1].name, "three.example");
  EXPECT_EQ(focused[1].id, QAccessible::uniqueId(Button(2)));
  EXPECT_TRUE(Button(2)->state().focused);
  EXPECT_FALSE(Button(1)->state().focused);
}

} // namespace
