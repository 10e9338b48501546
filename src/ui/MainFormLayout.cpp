#include "ui/MainFormLayout.h"

namespace {

using enum TKvControlKind;

constexpr TKvControlPlace Controls[] = {
    // name, kind, left, top, width, height, caption, hint, font pixels
    {"Label1", Label, 8, 12, 124, 19, "Master password:", "", 16},
    {"edMasterPass", Edit, 8, 36, 354, 21, "", "", 0},
    {"cbRunOnStartup", CheckBox, 120, 63, 144, 17, "Run on Windows startup", "", 0},
    {"cbSave", CheckBox, 270, 63, 92, 17, "Save password", "", 0},
    {"Label2", Label, 8, 85, 59, 18, "Site URL:", "", 15},
    {"bgThumbs", ButtonGroup, 8, 109, 353, 72, "", "Recently used URLs", 0},
    {"edURL", Edit, 8, 187, 329, 21, "", "", 0},
    {"sbDeleteURL", GlyphButton, 339, 187, 23, 22, "", "Delete URL", 0},
    {"Label3", Label, 8, 216, 104, 18, "Login (optional):", "", 15},
    {"edLogin", DropDown, 8, 240, 329, 21, "", "", 0},
    {"sbDeleteLogin", GlyphButton, 338, 239, 23, 22, "", "Delete login", 0},
    {"Label4", Label, 8, 274, 112, 19, "Your password:", "", 16},
    {"edPassword", SecretEdit, 8, 299, 300, 27, "", "", 16},
    {"sbCopy", GlyphButton, 311, 299, 51, 27, "Copy", "Copy password", 0},
    {"bbGenerate", PushButton, 102, 340, 85, 25, "Generate", "Generate password", 0},
    {"bbClose", PushButton, 193, 340, 85, 25, "Close", "", 0},
    {"lbSite", Label, 69, 375, 239, 13, "Need more features? Please visit ", "", 0},
};

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
