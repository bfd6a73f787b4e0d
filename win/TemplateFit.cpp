// SPDX-License-Identifier: GPL-3.0-or-later
#include "win/TemplateFit.h"

#include <string>
#include <vector>

#include "frontend/DialogUnits.h"

namespace {

// The room a button's frame and a check box's gap take beside the text,
// in horizontal dialog units.
constexpr int kButtonMarginDlu = 3;
constexpr int kCheckGapDlu = 3;

// Returns the width in pixels that control needs to show its text whole
// in its own font, or 0 when it has no text of its own to fit.
int NeededWidth(HWND control, int baseX) {
  wchar_t className[32] = {};
  GetClassNameW(control, className, 32);
  const std::wstring kind = className;
  const LONG_PTR style = GetWindowLongPtrW(control, GWL_STYLE);
  int extra = 0;
  if (kind == L"Static") {
    if ((style & SS_TYPEMASK) != SS_LEFT) return 0;
  } else if (kind == L"Button") {
    const LONG_PTR type = style & BS_TYPEMASK;
    if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON)
      extra = 2 * MulDiv(kButtonMarginDlu, baseX, 4);
    else if (type == BS_AUTOCHECKBOX || type == BS_CHECKBOX)
      extra = GetSystemMetrics(SM_CXMENUCHECK) + MulDiv(kCheckGapDlu, baseX, 4);
    else
      return 0;
  } else {
    return 0;
  }
  if (!(GetWindowLongPtrW(control, GWL_STYLE) & WS_VISIBLE)) return 0;

  const int length = GetWindowTextLengthW(control);
  if (length <= 0) return 0;
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), length + 1)));
  if (kind != L"Static" || !(style & SS_NOPREFIX)) std::erase(text, L'&');

  HDC dc = GetDC(control);
  if (!dc) return 0;
  const auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  const HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  if (old) SelectObject(dc, old);
  ReleaseDC(control, dc);
  return size.cx + extra;
}

// Returns the control's place in the dialog's client coordinates.
RECT PlaceOf(HWND dialog, HWND control) {
  RECT place{};
  GetWindowRect(control, &place);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
  return place;
}

}  // namespace

void FitTemplateTexts(HWND dialog) {
  // The base units the system laid the template out with.
  RECT unit{0, 0, 4, 8};
  if (!MapDialogRect(dialog, &unit) || unit.right <= 0) return;
  const int baseX = unit.right;

  std::vector<HWND> controls;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    controls.push_back(child);
  int widened = baseX;
  for (HWND control : controls) {
    const RECT place = PlaceOf(dialog, control);
    const int dluWidth = MulDiv(place.right - place.left, 4, baseX);
    widened = WidenBaseX(widened, NeededWidth(control, baseX), dluWidth);
  }
  if (widened == baseX) return;

  for (HWND control : controls) {
    const RECT place = PlaceOf(dialog, control);
    SetWindowPos(control, nullptr, MulDiv(place.left, widened, baseX), place.top,
                 MulDiv(place.right - place.left, widened, baseX), place.bottom - place.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  RECT client{};
  GetClientRect(dialog, &client);
  RECT frame{};
  GetWindowRect(dialog, &frame);
  const int grow = MulDiv(client.right, widened, baseX) - client.right;
  SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left + grow, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}
