// SPDX-License-Identifier: GPL-3.0-or-later
// The Win32 API as the Windows files of the project include it: without the
// rarely used parts, and without the min and max macros that would break
// std::min and std::max.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
