// A dialog resource as the portable dialog model reads it: the same dialogs
// the Windows build compiles into the DLL, generated from one table
// (src/ui/dialog_resources.py). Texts are code page 1252 bytes.
#pragma once

#include <cstddef>

namespace platform {

enum class ControlKind {
  kDefPushButton,
  kPushButton,
  kGroupBox,
  kLeftText,
  kCentreText,
  kHorizontalScrollBar,
  kEdit,
  kAutoRadioButton,
  kIcon,
  kListBox,
};

struct ControlRect {
  short x, y, cx, cy;  // dialog units
};

struct ControlTemplate {
  ControlKind kind;
  int id;  // -1: no id
  const char* text;
  ControlRect rect;
  bool startsGroup;
};

struct DialogTemplate {
  int id;
  const char* caption;
  short cx, cy;
  bool modeless;
  const ControlTemplate* controls;
  std::size_t controlCount;
};

}  // namespace platform
