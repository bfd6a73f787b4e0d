// SPDX-License-Identifier: GPL-3.0-or-later
// The main window and the About box as dialog templates: every control with
// its id, kind, label, place in dialog units and initial state, in template
// order, which is also the tab order. Toolkit-free: a front end builds its
// widgets from these tables.
#pragma once

#include <span>

enum class ControlKind {
  kStatic,         // left-aligned static text
  kEdit,           // one-line edit box that scrolls sideways
  kLog,            // multi-line read-only edit box with a vertical scroll bar
  kButton,         // push button
  kDefaultButton,  // the default push button
  kHiddenButton,   // push button that is never shown
  kCheckBox,       // check box that toggles itself
  kGroupBox,       // group box with a title
  kProgressBar,    // progress bar with a border
  kIcon,           // the program's icon
};

struct CControlTemplate {
  int id;  // kIdNone for static texts, group boxes and the icon
  ControlKind kind;
  const char* text;
  int x, y, width, height;  // dialog units
  bool disabled = false;
};

// Size of the main window's client area in dialog units, and its caption.
inline constexpr int kMainDialogWidth = 333;
inline constexpr int kMainDialogHeight = 281;
inline constexpr char kMainDialogCaption[] = "Ferrox";

// Size of the About box in dialog units, and its caption.
inline constexpr int kAboutDialogWidth = 217;
inline constexpr int kAboutDialogHeight = 55;
inline constexpr char kAboutDialogCaption[] = "About Ferrox";

// Returns the main window's controls in template order.
std::span<const CControlTemplate> MainDialogTemplate();

// Returns the About box's controls in template order.
std::span<const CControlTemplate> AboutDialogTemplate();
