// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's way to show where a run stands.
#pragma once

// Hands the run state's progress counters to the main form's display and
// returns once the display state holds them. Without a main form it does
// nothing.
void UpdateProgress();
