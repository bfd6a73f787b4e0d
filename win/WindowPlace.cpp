// SPDX-License-Identifier: GPL-3.0-or-later
#include "win/WindowPlace.h"

void CenterWindow(HWND window) {
  RECT own{};
  if (!GetWindowRect(window, &own)) return;
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (!GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) return;
  const RECT area = monitor.rcWork;
  RECT around = area;
  const HWND owner = GetWindow(window, GW_OWNER);
  if (owner && !IsIconic(owner)) GetWindowRect(owner, &around);

  const LONG width = own.right - own.left;
  const LONG height = own.bottom - own.top;
  LONG x = around.left + (around.right - around.left - width) / 2;
  LONG y = around.top + (around.bottom - around.top - height) / 2;
  if (x + width > area.right) x = area.right - width;
  if (y + height > area.bottom) y = area.bottom - height;
  if (x < area.left) x = area.left;
  if (y < area.top) y = area.top;
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
