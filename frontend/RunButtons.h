// SPDX-License-Identifier: GPL-3.0-or-later
// Pause and Skip File in a window: when each button is enabled, the Pause
// button's text, and the Skip File command. Window thread only; they talk
// to the worker only through the run state's flags.
#pragma once

class CRunHost;

// Enables Pause while a copy started by Start runs (its run flag set: not
// while Scan Folders runs, nor while an aborted copy winds down) and Skip
// File while, besides, the progress shown last says a file is being copied
// (host.fileActive); disables them otherwise (host.SetRunButtons).
void ShowRunButtons(CRunHost& host);

// Clears the pause flag and gives the Pause button its text "&Pause", as
// at the start and the end of a copy.
void ResetPause(CRunHost& host);

// Skip File: while a copy runs and a file is being copied, sets the skip
// flag, which ends the copy of that file (its partial copy stays) and lets
// the run go on with the next; does nothing otherwise.
void OnSkipFile(CRunHost& host);
