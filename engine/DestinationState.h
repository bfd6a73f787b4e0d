// SPDX-License-Identifier: GPL-3.0-or-later
// What a run would make of the destination file of one source file, by the
// rules the copy itself applies: the first step the whole-file copy takes
// with a destination it found (shared by the copy and the scan), and the
// whole classification the scan reports (complete, partial, missing or
// differing, and the bytes a run would read).
#pragma once

#include <cstdint>
#include <string>

#include "engine/DestinationCheck.h"
#include "platform/FileServices.h"

// The first step of the whole-file copy with a regular destination file
// that exists already.
enum class CWholeFileStep {
  kComplete,       // stamped with the source's time (or both empty) at its length: done, nothing read
  kCheckComplete,  // as long or longer: compared by CompareSamples before it counts complete (longer differs)
  kCheckContinue,  // shorter, not stamped, not empty: compared by CompareTail before it is continued
  kContinue,       // shorter and stamped, or empty: continued from its end without a comparison
};

// Returns the step the whole-file copy takes with the regular file existing,
// found at the destination of the source file listed as source. Changes
// nothing.
CWholeFileStep WholeFileStep(const CFindData& existing, const CFindData& source);

// What a run would find at a destination file.
enum class CDestinationState {
  kMissing,    // no file there: a run copies it whole
  kComplete,   // a run counts it complete and reads nothing
  kPartial,    // a run continues it (or, for a part file outside ReGet, writes it again)
  kDiffers,    // not this source's copy (or no file at all): a run leaves it alone
  kUnchecked,  // the comparison a run makes could not read the source
};

// The piece of its source a part file holds: the first header bytes, then
// the source from partStart up to partEnd. reget is the form's ReGet: only
// then does a run continue a part file it finds; otherwise it writes it
// again from its start.
struct CPartPlan {
  uint64_t header = 0;
  uint64_t partStart = 0;
  uint64_t partEnd = 0;
  bool reget = false;
};

// Returns the part plan of the form values header, partNumber and partSize
// for a source of size bytes, as the copy by parts cuts it.
CPartPlan PartPlanOf(uint64_t header, uint32_t partNumber, uint64_t partSize, uint64_t size, bool reget);

// The verdict on one destination file.
struct CDestinationVerdict {
  CDestinationState state = CDestinationState::kMissing;
  uint64_t bytesToRead = 0;      // what a run would read from the source for it (0 for kDiffers, kUnchecked)
  CMatch match = CMatch::kSame;  // how the comparison came out, when one was made
  int error = 0;                 // errno of a failed comparison
};

// Classifies the destination file at destination of the source file at
// source, listed as listing, as a Start would find it now: the whole-file
// copy's rules, or those of the copy by parts when parts is given.
// Compares the destination with the source where the copy would (opening
// the source for reading only then); never writes, creates or stamps
// anything. A folder or special file at destination differs. A destination
// with a record of pages passed as zeros (PassedPages.h) is partial when the
// record names this source (and part), and differs otherwise.
CDestinationVerdict ClassifyDestination(const std::string& source, const CFindData& listing,
                                        const std::string& destination, const CPartPlan* parts);
