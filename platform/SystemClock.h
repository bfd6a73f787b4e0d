// The real clock: calendar seconds and real pauses.
#pragma once

#include "FileServices.h"

// Returns the process-wide system clock.
CClock& SystemClock();
