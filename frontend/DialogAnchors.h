// SPDX-License-Identifier: GPL-3.0-or-later
// How the controls of the main dialog follow the window when it is made
// larger than its template: the log takes the extra height; the log, the
// Source and Destination fields, the progress bars and the Copy part group
// take the extra width; the Options group moves right with the fields' end,
// the controls below the log move down, and Scan Folders and Exit stay at
// the right edge. Every front end places its controls by these rules.
#pragma once

#include "frontend/DialogTemplate.h"

struct CControlAnchor {
  bool moveX = false;  // the left edge moves by the extra width
  bool moveY = false;  // the top edge moves by the extra height
  bool growX = false;  // the width grows by the extra width
  bool growY = false;  // the height grows by the extra height
};

struct CPixelRect {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const CPixelRect&) const = default;
};

// Returns how control, one of the main dialog's template, follows the
// window's extra width and height.
CControlAnchor MainDialogAnchor(const CControlTemplate& control);

// Returns place (where the control stands at the template's size) moved
// and grown as anchor says by the extra width dx and extra height dy
// (negative values are taken as 0).
CPixelRect AnchoredPlace(const CPixelRect& place, const CControlAnchor& anchor, int dx, int dy);
