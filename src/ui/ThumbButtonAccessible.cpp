// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ThumbButtonAccessible.h"

#include "ui/ThumbButtonGroup.h"

#include <QWidget>

namespace {

QAccessibleInterface *ThumbButtonGroupFactory(const QString &key, QObject *object) {
  if (key != QLatin1String(TKvThumbButtonGroup::staticMetaObject.className()))
    return nullptr;
  auto *group = qobject_cast<TKvThumbButtonGroup *>(object);
  return group ? new TKvThumbButtonGroupAccessible(group) : nullptr;
}

} // namespace

void InstallThumbButtonAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(&ThumbButtonGroupFactory);
    return true;
  }();
  (void)installed;
}

// ---- The row

TKvThumbButtonGroupAccessible::TKvThumbButtonGroupAccessible(TKvThumbButtonGroup *group)
    : QAccessibleWidget(group, QAccessible::Grouping) {}

TKvThumbButtonGroupAccessible::~TKvThumbButtonGroupAccessible() {
  for (const auto &[buttonId, interfaceId] : buttons_)
    QAccessible::deleteAccessibleInterface(interfaceId);
}

TKvThumbButtonGroup *TKvThumbButtonGroupAccessible::Group() const {
  return static_cast<TKvThumbButtonGroup *>(widget());
}

int TKvThumbButtonGroupAccessible::childCount() const {
  return Group()->Count() + QAccessibleWidget::childCount();
}

QAccessibleInterface *TKvThumbButtonGroupAccessible::child(int index) const {
  const int buttons = Group()->Count();
  if (index < 0)
    return nullptr;
  return index < buttons ? ButtonInterface(index) : QAccessibleWidget::child(index - buttons);
}

int TKvThumbButtonGroupAccessible::indexOfChild(const QAccessibleInterface *child) const {
  if (const auto *button = dynamic_cast<const TKvThumbButtonAccessible *>(child))
    return button->Group() == Group() ? button->Position() : -1;
  const int index = QAccessibleWidget::indexOfChild(child);
  return index < 0 ? -1 : Group()->Count() + index;
}

QAccessibleInterface *TKvThumbButtonGroupAccessible::childAt(int x, int y) const {
  TKvThumbButtonGroup *group = Group();
  const int position = group->ButtonAt(group->mapFromGlobal(QPoint(x, y)));
  if (position >= 0)
    return ButtonInterface(position);
  // Else one of the row's own widgets, the scroll bar; asking every button would make them all.
  for (int i = 0; i < QAccessibleWidget::childCount(); ++i) {
    QAccessibleInterface *widget = QAccessibleWidget::child(i);
    if (widget && !widget->state().invisible && widget->rect().contains(x, y))
      return widget;
  }
  return nullptr;
}

QAccessibleInterface *TKvThumbButtonGroupAccessible::focusChild() const {
  const TKvThumbButtonGroup *group = Group();
  return group->hasFocus() ? ButtonInterface(group->FocusIndex()) : nullptr;
}

QAccessibleInterface *TKvThumbButtonGroupAccessible::ButtonInterface(int position) const {
  TKvThumbButtonGroup *group = Group();
  const quint64 id = group->ButtonId(position);
  if (id == 0)
    return nullptr;
  if (const auto found = buttons_.find(id); found != buttons_.end())
    return QAccessible::accessibleInterface(found->second);
  auto *button = new TKvThumbButtonAccessible(group, id, position);
  buttons_.emplace(id, QAccessible::registerAccessibleInterface(button));
  return button;
}

void TKvThumbButtonGroupAccessible::Tell(QAccessibleInterface *about, QAccessible::Event event) {
  if (!about)
    return;
  QAccessibleEvent told(about, event);
  QAccessible::updateAccessibility(&told);
}

// Without assistive technology nothing is told, and no button's interface is made for it.

void TKvThumbButtonGroupAccessible::ButtonInserted(int position) {
  if (!QAccessible::isActive())
    return;
  Tell(ButtonInterface(position), QAccessible::ObjectCreated);
}

void TKvThumbButtonGroupAccessible::ButtonRemoving(int position) {
  const quint64 buttonId = Group()->ButtonId(position);
  const auto found = buttons_.find(buttonId);
  if (found == buttons_.end())
    return; // nobody has seen it
  const QAccessible::Id interfaceId = found->second;
  // Told while the button is still there, so that its place in the row can be read.
  if (QAccessible::isActive())
    Tell(QAccessible::accessibleInterface(interfaceId), QAccessible::ObjectDestroyed);
  buttons_.erase(buttonId);
  QAccessible::deleteAccessibleInterface(interfaceId);
}

void TKvThumbButtonGroupAccessible::ButtonsMoved() {
  if (!QAccessible::isActive())
    return;
  QAccessibleEvent told(Group(), QAccessible::ObjectReorder);
  QAccessible::updateAccessibility(&told);
}

void TKvThumbButtonGroupAccessible::FocusMoved() {
  if (!QAccessible::isActive())
    return;
  Tell(focusChild(), QAccessible::Focus);
}

// ---- One button

TKvThumbButtonAccessible::TKvThumbButtonAccessible(TKvThumbButtonGroup *group, quint64 id,
                                                   int position)
    : group_(group), id_(id), position_(position) {}

int TKvThumbButtonAccessible::Position() const {
  if (!group_)
    return -1;
  position_ = group_->PositionOf(id_, position_);
  return position_;
}

bool TKvThumbButtonAccessible::isValid() const {
  return Position() >= 0;
}

QAccessibleInterface *TKvThumbButtonAccessible::parent() const {
  return group_ ? QAccessible::queryAccessibleInterface(group_.data()) : nullptr;
}

QWindow *TKvThumbButtonAccessible::window() const {
  const QAccessibleInterface *row = parent();
  return row ? row->window() : nullptr;
}

QString TKvThumbButtonAccessible::text(QAccessible::Text kind) const {
  const int position = Position();
  if (position < 0)
    return {};
  switch (kind) {
  case QAccessible::Name: {
    // The caption without the blanks that set it off from the image; a button without one (a
    // site without a host) goes by its tooltip.
    const QString caption = group_->Caption(position).trimmed();
    return caption.isEmpty() ? group_->ToolTip(position) : caption;
  }
  case QAccessible::Description:
    return group_->ToolTip(position);
  default:
    return {};
  }
}

QRect TKvThumbButtonAccessible::rect() const {
  const int position = Position();
  if (position < 0)
    return {};
  const QRect local = group_->ButtonRect(position);
  return {group_->mapToGlobal(local.topLeft()), local.size()};
}

QAccessible::State TKvThumbButtonAccessible::state() const {
  QAccessible::State state;
  const int position = Position();
  if (position < 0) {
    state.invalid = true;
    return state;
  }
  const TKvThumbButtonGroup &group = *group_;
  state.focusable = group.focusPolicy() != Qt::NoFocus;
  state.focused = group.hasFocus() && group.FocusIndex() == position;
  state.pressed = group.PressedIndex() == position;
  state.hotTracked = group.HoverIndex() == position;
  state.disabled = !group.isEnabled();
  state.invisible = !group.isVisible();
  state.offscreen = !group.rect().intersects(group.ButtonRect(position)); // scrolled out of view
  return state;
}

void *TKvThumbButtonAccessible::interface_cast(QAccessible::InterfaceType type) {
  return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface *>(this)
                                              : nullptr;
}

QStringList TKvThumbButtonAccessible::actionNames() const {
  if (Position() < 0)
    return {};
  return {pressAction(), setFocusAction()};
}

void TKvThumbButtonAccessible::doAction(const QString &actionName) {
  const int position = Position();
  if (position < 0)
    return;
  TKvThumbButtonGroup *group = group_;
  // Nothing of this interface is used after the group acts: a click may delete the button.
  if (actionName == pressAction()) {
    group->ClickButton(position);
  } else if (actionName == setFocusAction()) {
    group->setFocus(Qt::OtherFocusReason);
    group->SetFocusIndex(position);
  }
}
