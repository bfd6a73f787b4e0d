// SPDX-License-Identifier: GPL-3.0-or-later
// The texts of the About box and of the menu entry that opens it.
#pragma once

inline constexpr char kAboutMenuText[] = "&About Ferrox...";
inline constexpr char kAboutVersionLine[] = "Ferrox Version 1.0";
inline constexpr char kAboutSecondLine[] = "Resumes after network drops";
inline constexpr char kAboutLicenceLine[] = "Licensed under the GNU GPL v3 or later";
