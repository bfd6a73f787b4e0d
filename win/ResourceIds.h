// SPDX-License-Identifier: GPL-3.0-or-later
// The ids of the resources in ferrox.rc that the window's code loads.
#pragma once

inline constexpr int kIdAboutDialog = 100;      // the About box's template
inline constexpr int kIdAboutMenuString = 101;  // "&About Ferrox..."
inline constexpr int kIdMainDialog = 102;       // the main window's template
inline constexpr int kIdProgramIcon = 128;      // the program icon, 16 to 256 pixels

// The system-menu command of the About entry; the system keeps the low four
// bits of a system command for itself.
inline constexpr unsigned kIdAboutCommand = 16;
