// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The main window's form: its size and every control's place, caption, hint and font, in pixels
// at 96 dots per inch with the client area's top-left corner as origin (Qt scales for other
// resolutions), and how a row becomes a control. The window builds its controls from this table,
// and the tests, also the scripts that click the real window, read their coordinates from it.

#include <span>

class QFont;
class QWidget;

enum class TKvControlKind {
  Label,        // QLabel, takes no focus
  Edit,         // single-line QLineEdit
  PasswordEdit, // TKvPasswordBox: shows "*", and assistive technology never gets its text
  SecretEdit,   // read-only TKvSecretBox: its text leaves it only marked as a secret
  CheckBox,     // QCheckBox
  ButtonGroup,  // TKvThumbButtonGroup, the recently-used-URL buttons
  DropDown,     // editable QComboBox
  GlyphButton,  // QToolButton, takes no focus; without a caption it shows the delete glyph
  PushButton,   // QPushButton, never a default button
};

struct TKvControlPlace {
  const char *Name; // the control's object name
  TKvControlKind Kind;
  int Left, Top, Width, Height;
  const char *Caption; // a label's or button's text
  const char *Hint;    // the tooltip
  int FontPixels;      // 0: the window's font
  // What a screen reader calls a control that has no caption of its own to go by.
  const char *AccessibleName = "";
};

inline constexpr int MainFormWidth = 379;
inline constexpr int MainFormHeight = 394;
inline constexpr int MainFormFontPixels = 11;

// From top to bottom. lbSite's caption is followed by the home page's address, and the label
// keeps its right edge where the table puts it, growing to the left for a longer address.
std::span<const TKvControlPlace> MainFormControls();

// The kind's name in the table as the scripts read it ("label", "edit", ...).
const char *KindName(TKvControlKind kind);

// The window's typeface at the given pixel size: Tahoma, or a stand-in with about its widths.
QFont WindowFont(int pixelSize);

// Makes every control of the table as its row says, a child of form named as in the table.
void CreateFormControls(QWidget &form);
