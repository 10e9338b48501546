// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What assistive technology sees of the button row, which paints its buttons itself: the row is a
// group whose children are its buttons, then its scroll bar. Each button is a push button named
// after its caption (the site's host) and described by its tooltip (the site's URL), with a press
// action that does what a mouse click does and a focus action that puts the row's focus mark on
// it. A button's interface stays with the button through moves and goes when the button goes;
// while assistive technology listens, every change of the buttons is told to it as it happens.

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>
#include <unordered_map>

class TKvThumbButtonGroup;

class TKvThumbButtonGroupAccessible : public QAccessibleWidget {
public:
  explicit TKvThumbButtonGroupAccessible(TKvThumbButtonGroup *group);
  ~TKvThumbButtonGroupAccessible() override;
  TKvThumbButtonGroupAccessible(const TKvThumbButtonGroupAccessible &) = delete;
  TKvThumbButtonGroupAccessible &operator=(const TKvThumbButtonGroupAccessible &) = delete;

  int childCount() const override;
  QAccessibleInterface *child(int index) const override;
  int indexOfChild(const QAccessibleInterface *child) const override;
  QAccessibleInterface *childAt(int x, int y) const override;
  QAccessibleInterface *focusChild() const override;

  // The row calls these as its buttons change.
  void ButtonInserted(int position);
  void ButtonRemoving(int position); // while the button is still there
  void ButtonsMoved();
  void FocusMoved(); // the focus mark, while focused

private:
  TKvThumbButtonGroup *Group() const;
  QAccessibleInterface *ButtonInterface(int position) const;
  static void Tell(QAccessibleInterface *about, QAccessible::Event event);

  // The buttons' interfaces made so far, by button id; Qt's registry owns them until we delete
  // them.
  mutable std::unordered_map<quint64, QAccessible::Id> buttons_;
};

class TKvThumbButtonAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
  TKvThumbButtonAccessible(TKvThumbButtonGroup *group, quint64 id, int position);

  bool isValid() const override;
  QObject *object() const override { return nullptr; }
  QWindow *window() const override;
  QAccessibleInterface *parent() const override;
  QAccessibleInterface *child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface *) const override { return -1; }
  QAccessibleInterface *childAt(int, int) const override { return nullptr; }
  QString text(QAccessible::Text kind) const override;
  void setText(QAccessible::Text, const QString &) override {}
  QRect rect() const override;
  QAccessible::Role role() const override { return QAccessible::Button; }
  QAccessible::State state() const override;
  void *interface_cast(QAccessible::InterfaceType type) override;

  QStringList actionNames() const override;
  void doAction(const QString &actionName) override;
  QStringList keyBindingsForAction(const QString &) const override { return {}; }

  const TKvThumbButtonGroup *Group() const { return group_; }
  // The button's position now; -1 once it is gone.
  int Position() const;

private:
  QPointer<TKvThumbButtonGroup> group_;
  quint64 id_;
  mutable int position_; // where the button was last seen, to find it fast
};

// Gives every TKvThumbButtonGroup the interfaces above. Qt's factories are process-wide: the first
// group installs it, before anything asks for its interface.
void InstallThumbButtonAccessibility();
