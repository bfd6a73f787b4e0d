// SPDX-License-Identifier: GPL-3.0-or-later
#include "frontend/DialogAnchors.h"

#include <algorithm>

#include "frontend/ControlIds.h"

namespace {

// The template's rows: the log's top and bottom, and the left edge of the
// Options group beside the fields (dialog units).
constexpr int kLogTop = 80;
constexpr int kLogBottom = 200;
constexpr int kOptionsLeft = 130;
// Buttons below the log from this x on keep to the right edge.
constexpr int kRightButtonsLeft = 200;

}  // namespace

CControlAnchor MainDialogAnchor(const CControlTemplate& control) {
  CControlAnchor anchor;
  switch (control.id) {
    case kIdLog:
      anchor.growX = anchor.growY = true;
      return anchor;
    case kIdSource:
    case kIdDestination:
      anchor.growX = true;
      return anchor;
    default:
      break;
  }
  if (control.y + control.height <= kLogTop) {
    anchor.moveX = control.x >= kOptionsLeft;
    return anchor;
  }
  if (control.y >= kLogBottom) {
    anchor.moveY = true;
    if (control.kind == ControlKind::kProgressBar || control.kind == ControlKind::kGroupBox)
      anchor.growX = true;
    else if (control.x >= kRightButtonsLeft && control.kind != ControlKind::kCheckBox &&
             control.kind != ControlKind::kStatic && control.kind != ControlKind::kEdit)
      anchor.moveX = true;
  }
  return anchor;
}

CPixelRect AnchoredPlace(const CPixelRect& place, const CControlAnchor& anchor, int dx, int dy) {
  dx = std::max(dx, 0);
  dy = std::max(dy, 0);
  CPixelRect moved = place;
  if (anchor.moveX) moved.x += dx;
  if (anchor.moveY) moved.y += dy;
  if (anchor.growX) moved.width += dx;
  if (anchor.growY) moved.height += dy;
  return moved;
}
