// SPDX-License-Identifier: GPL-3.0-or-later
// Prints the main window's form table as JSON, for the scripts that click the real window:
//   {"width": 379, "height": 394, "siteButton": {"width": 110, "height": 24},
//    "controls": [{"name": "Label1", "kind": "label", "left": 8, ...}, ...]}

#include "ui/MainFormLayout.h"
#include "ui/ThumbButtonGroup.h"

#include <cstdio>
#include <string>

namespace {

// A JSON string; the table's texts hold no control characters, so quotes and backslashes are all
// that needs escaping.
std::string Json(const char *text) {
  std::string quoted = "\"";
  for (const char *c = text; *c; ++c) {
    if (*c == '"' || *c == '\\')
      quoted += '\\';
    quoted += *c;
  }
  return quoted + "\"";
}

} // namespace

int main() {
  std::printf("{\"width\": %d, \"height\": %d, \"siteButton\": {\"width\": %d, \"height\": %d},\n"
              " \"controls\": [",
              MainFormWidth, MainFormHeight, TKvThumbButtonGroup::ButtonWidth,
              TKvThumbButtonGroup::ButtonHeight);
  const char *separator = "\n";
  for (const TKvControlPlace &place : MainFormControls()) {
    std::printf("%s  {\"name\": %s, \"kind\": %s, \"left\": %d, \"top\": %d, \"width\": %d, "
                "\"height\": %d, \"caption\": %s, \"hint\": %s}",
                separator, Json(place.Name).c_str(), Json(KindName(place.Kind)).c_str(), place.Left,
                place.Top, place.Width, place.Height, Json(place.Caption).c_str(),
                Json(place.Hint).c_str());
    separator = ",\n";
  }
  std::printf("\n]}\n");
  return 0;
}
