// SPDX-License-Identifier: GPL-3.0-or-later
// The real clock: calendar seconds and real pauses.
#pragma once

#include "platform/FileServices.h"

// Returns the process-wide system clock.
CClock& SystemClock();
