// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MainFormLayout.h"

#include "ui/Images.h"
#include "ui/PasswordBox.h"
#include "ui/SecretClipboard.h"
#include "ui/ThumbButtonGroup.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

namespace {

using enum TKvControlKind;

// The start-at-log-on box speaks the platform's language.
#ifdef _WIN32
constexpr char RunOnStartupCaption[] = "Run on Windows startup";
#else
constexpr char RunOnStartupCaption[] = "Run at log-on";
#endif

constexpr TKvControlPlace Controls[] = {
    // name, kind, left, top, width, height, caption, hint, font pixels, accessible name
    {"Label1", Label, 8, 12, 124, 19, "Master password:", "", 16},
    {"edMasterPass", PasswordEdit, 8, 36, 354, 21, "", "", 0, "Master password"},
    {"cbRunOnStartup", CheckBox, 120, 63, 144, 17, RunOnStartupCaption, "", 0},
    {"cbSave", CheckBox, 270, 63, 92, 17, "Save password", "", 0},
    {"Label2", Label, 8, 85, 59, 18, "Site URL:", "", 15},
    {"bgThumbs", ButtonGroup, 8, 109, 353, 72, "", "Recently used URLs", 0, "Recently used URLs"},
    {"edURL", Edit, 8, 187, 329, 21, "", "", 0, "Site URL"},
    {"sbDeleteURL", GlyphButton, 339, 187, 23, 22, "", "Delete URL", 0, "Delete URL"},
    {"Label3", Label, 8, 216, 104, 18, "Login (optional):", "", 15},
    {"edLogin", DropDown, 8, 240, 329, 21, "", "", 0, "Login (optional)"},
    {"sbDeleteLogin", GlyphButton, 338, 239, 23, 22, "", "Delete login", 0, "Delete login"},
    {"Label4", Label, 8, 274, 112, 19, "Your password:", "", 16},
    {"edPassword", SecretEdit, 8, 299, 300, 27, "", "", 16, "Your password"},
    {"sbCopy", GlyphButton, 311, 299, 51, 27, "Copy", "Copy password", 0},
    {"bbGenerate", PushButton, 102, 340, 85, 25, "Generate", "Generate password", 0},
    {"bbClose", PushButton, 193, 340, 85, 25, "Close", "", 0},
    {"lbSite", Label, 69, 375, 239, 13, "Need more features? Please visit ", "", 0},
};

// Makes one control of the form as its row of the table says, owned by the form.
void CreateControl(QWidget &form, const TKvControlPlace &place) {
  const QString caption = QString::fromUtf8(place.Caption);
  QWidget *control = nullptr;
  switch (place.Kind) {
  case TKvControlKind::Label: {
    auto *label = new QLabel(caption, &form);
    label->setFocusPolicy(Qt::NoFocus);
    control = label;
    break;
  }
  case TKvControlKind::Edit:
    control = new QLineEdit(&form);
    break;
  case TKvControlKind::PasswordEdit:
    control = new TKvPasswordBox(&form);
    break;
  case TKvControlKind::SecretEdit: {
    auto *box = new TKvSecretBox(&form);
    box->setReadOnly(true);
    control = box;
    break;
  }
  case TKvControlKind::CheckBox:
    control = new QCheckBox(caption, &form);
    break;
  case TKvControlKind::ButtonGroup: {
    auto *group = new TKvThumbButtonGroup(&form);
    group->SetImages({HouseImage()});
    control = group;
    break;
  }
  case TKvControlKind::DropDown: {
    // Entries come only from the program, in the order it adds them.
    auto *box = new QComboBox(&form);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    control = box;
    break;
  }
  case TKvControlKind::GlyphButton: {
    auto *button = new QToolButton(&form);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRaise(true);
    if (caption.isEmpty())
      button->setIcon(QIcon(DeleteGlyph()));
    else
      button->setText(caption);
    control = button;
    break;
  }
  case TKvControlKind::PushButton: {
    // No default button: Enter in a box clicks nothing.
    auto *button = new QPushButton(caption, &form);
    button->setAutoDefault(false);
    button->setDefault(false);
    control = button;
    break;
  }
  }
  control->setObjectName(QString::fromLatin1(place.Name));
  control->setGeometry(place.Left, place.Top, place.Width, place.Height);
  control->setToolTip(QString::fromUtf8(place.Hint));
  control->setAccessibleName(QString::fromUtf8(place.AccessibleName));
  // The drop-down's text box takes the focus, so a screen reader asks it for the name.
  if (auto *dropDown = qobject_cast<QComboBox *>(control))
    dropDown->lineEdit()->setAccessibleName(dropDown->accessibleName());
  if (place.FontPixels != 0)
    control->setFont(WindowFont(place.FontPixels));
}

} // namespace

std::span<const TKvControlPlace> MainFormControls() {
  return Controls;
}

const char *KindName(TKvControlKind kind) {
  switch (kind) {
  case Label:
    return "label";
  case Edit:
    return "edit";
  case PasswordEdit:
    return "password edit";
  case SecretEdit:
    return "secret edit";
  case CheckBox:
    return "check box";
  case ButtonGroup:
    return "button group";
  case DropDown:
    return "drop-down";
  case GlyphButton:
    return "glyph button";
  case PushButton:
    return "push button";
  }
  return "";
}

// Tahoma is loaded from Wine's metric-compatible copy when the system has one but fontconfig
// does not list it. Without it, DejaVu Sans Condensed stands in: it relates to DejaVu Sans (the
// Verdana-like face) as Tahoma relates to Verdana, so captions keep about Tahoma's widths.
QFont WindowFont(int pixelSize) {
  static const bool loaded = [] {
    for (const char *file :
         {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"})
      if (QFile::exists(QString::fromLatin1(file)))
        QFontDatabase::addApplicationFont(QString::fromLatin1(file));
    return true;
  }();
  (void)loaded;
  QFont font;
  font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed"),
                    QStringLiteral("DejaVu Sans")});
  font.setPixelSize(pixelSize);
  return font;
}

void CreateFormControls(QWidget &form) {
  for (const TKvControlPlace &place : Controls)
    CreateControl(form, place);
}
