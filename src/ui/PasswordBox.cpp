// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PasswordBox.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QProxyStyle>

namespace {

// Shows every character of a password box as "*".
class TStarPasswordStyle : public QProxyStyle {
public:
  int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                QStyleHintReturn *returnData) const override {
    if (hint == SH_LineEdit_PasswordCharacter)
      return '*';
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
};

class TPasswordBoxAccessible : public QAccessibleWidget {
public:
  explicit TPasswordBoxAccessible(TKvPasswordBox *box)
      : QAccessibleWidget(box, QAccessible::EditableText) {}

  QAccessible::State state() const override {
    QAccessible::State state = QAccessibleWidget::state();
    state.editable = true;
    state.passwordEdit = true;
    return state;
  }

  QString text(QAccessible::Text kind) const override {
    if (kind == QAccessible::Value) {
      // Not a line edit any more once its destruction has begun.
      const auto *box = qobject_cast<const QLineEdit *>(widget());
      return box ? QString(box->text().size(), QLatin1Char('*')) : QString();
    }
    return QAccessibleWidget::text(kind);
  }
  // No text, editable text or value interface: nothing of the password can be read through them.
};

QAccessibleInterface *PasswordBoxFactory(const QString &key, QObject *object) {
  if (key != QLatin1String(TKvPasswordBox::staticMetaObject.className()))
    return nullptr;
  auto *box = qobject_cast<TKvPasswordBox *>(object);
  return box ? new TPasswordBoxAccessible(box) : nullptr;
}

} // namespace

TKvPasswordBox::TKvPasswordBox(QWidget *parent) : QLineEdit(parent) {
  // Qt's registry of factories is process-wide; the first box installs this one.
  static const bool installed = [] {
    QAccessible::installFactory(&PasswordBoxFactory);
    return true;
  }();
  (void)installed;
  setEchoMode(QLineEdit::Password);
  auto *stars = new TStarPasswordStyle;
  stars->setParent(this); // the box owns its style
  setStyle(stars);
}

QVariant TKvPasswordBox::inputMethodQuery(Qt::InputMethodQuery query) const {
  switch (query) {
  case Qt::ImSurroundingText:
  case Qt::ImTextBeforeCursor:
  case Qt::ImTextAfterCursor:
  case Qt::ImCurrentSelection:
    return QString();
  default:
    return QLineEdit::inputMethodQuery(query);
  }
}
