// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's own messages and its timer.
#pragma once

#include "platform/windows/WindowsApi.h"

// Posted by another thread to start the repaint timer when it is not
// running; at most one is pending at a time.
inline constexpr UINT kMsgRepaint = WM_APP + 1;
// Posted by the worker when it ends by itself: the closing Start command.
// wParam is the generation of the run it ends.
inline constexpr UINT kMsgRunEnded = WM_APP + 2;

// The timer that copies the log and the progress into the controls.
inline constexpr UINT_PTR kRepaintTimerId = 1;
inline constexpr UINT kRepaintIntervalMs = 30;
