// SPDX-License-Identifier: GPL-3.0-or-later
// Where the program's dialogs open.
#pragma once

#include "platform/windows/WindowsApi.h"

// Moves window to the centre of its owner, or of the work area of the
// monitor it is on when it has no owner, keeping it inside that work area.
void CenterWindow(HWND window);
