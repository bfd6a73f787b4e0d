// SPDX-License-Identifier: GPL-3.0-or-later
#include "frontend/ProgressDisplay.h"

#include <limits>

#include "engine/RunState.h"

namespace {

// Returns part * scale / whole in double precision, truncated toward zero to
// a signed 32-bit number (saturating far beyond any real percentage).
int32_t Share(uint64_t part, double scale, uint64_t whole) {
  const double value = static_cast<double>(part) * scale / static_cast<double>(whole);
  if (value >= static_cast<double>(std::numeric_limits<int32_t>::max()))
    return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(value);
}

// Returns value as "%3d" does: padded on the left with blanks to three characters.
std::string Pad3(int32_t value) {
  std::string digits = std::to_string(value);
  if (digits.size() < 3) digits.insert(0, 3 - digits.size(), ' ');
  return digits;
}

}  // namespace

void ComputeProgress(const RunState& state, CProgressDisplay& display) {
  const auto filePercent = static_cast<int32_t>(state.fileProgress / 10);
  display.fileLabel = "File (" + std::to_string(state.currentFileNumber) + "/" +
                      std::to_string(state.fileCount) + ") " + Pad3(filePercent) + "%";
  display.fileBar = static_cast<int32_t>(state.fileProgress);

  const char* source = state.currentSourcePath ? state.currentSourcePath->c_str() : "";
  if (state.totalBytes != 0) {
    const int32_t totalPercent = Share(state.bytesDone, 100.0, state.totalBytes);
    display.totalLabel = "Total " + Pad3(totalPercent) + "%";
    display.totalBar = Share(state.bytesDone, 1000.0, state.totalBytes);
    display.caption = Pad3(totalPercent) + "% - " + source;
  } else {
    display.caption = std::string("from ") + source;
  }
  display.paused = state.workerPaused;
  display.fileActive = state.fileActive;
  if (display.paused) display.caption.insert(0, kPausedCaptionPrefix);
}
