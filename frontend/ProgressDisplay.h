// SPDX-License-Identifier: GPL-3.0-or-later
// The five display elements of a run's progress (file label and bar, total
// label and bar, window caption), computed from the run state's counters
// without any toolkit. Each front end applies them to its own widgets.
#pragma once

#include <cstdint>
#include <string>

struct RunState;

inline constexpr int kProgressBarRange = 1000;

// What the caption begins with while the worker waits at a pause.
inline constexpr char kPausedCaptionPrefix[] = "Paused - ";

// The widest text a progress label shows in practice; the labels are made
// wide enough for it.
inline constexpr char kWidestProgressLabel[] = "File (99999/99999) 100%";

struct CProgressDisplay {
  std::string fileLabel = "File :";
  int32_t fileBar = 0;  // 0 to 1000
  std::string totalLabel = "Total :";
  int32_t totalBar = 0;  // bytes done in thousandths of the total; above 1000 when bytes done exceed it
  std::string caption = "Ferrox";
  bool paused = false;      // the worker waits at a pause
  bool fileActive = false;  // a file is being copied: Skip File may end it
};

// Updates display from the run state: the file label and bar, the caption,
// paused and fileActive always; the total label and bar only while the
// total is known (not 0), otherwise they keep what they showed and the
// caption names the source. While the worker waits at a pause the caption
// begins with "Paused - ".
void ComputeProgress(const RunState& state, CProgressDisplay& display);
