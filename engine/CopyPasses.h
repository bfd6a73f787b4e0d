// SPDX-License-Identifier: GPL-3.0-or-later
// The passes of a file copy: open the source (reconnecting within the
// limit), open and check the destination, move blocks until the end, close,
// and go again after a failure while the passes get somewhere. The whole-file
// copy and the part extraction differ only in the steps of CCopyPass.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/DestinationCheck.h"
#include "engine/PassedPages.h"
#include "engine/ResultFlags.h"
#include "platform/FileServices.h"

// What a pass does at each step.
class CFileNode;

class CCopyPass {
public:
  // How a pass goes on after Begin.
  enum class CStart {
    kCopy,   // blocks are moved into the destination Begin opened
    kRetry,  // the source failed while the destination was checked: a failed pass
    kEnd,    // the operation ends with the result Begin set
  };

  CCopyPass() = default;
  CCopyPass(const CCopyPass&) = delete;
  CCopyPass& operator=(const CCopyPass&) = delete;
  virtual ~CCopyPass() = default;

  // Opens the destination of a pass over source into destination and sets
  // source where the pass reads from. Returns kCopy with destination open,
  // kRetry, or kEnd with result set.
  virtual CStart Begin(CStream& source, std::unique_ptr<CStream>& destination, ResultFlags& result) = 0;

  // Moves the next block from source to destination as TransferBlock does.
  // data is left nullptr when the block's bytes are already in the run's sum.
  virtual ResultFlags Move(CStream& source, CStream& destination, uint32_t& count, const uint8_t*& data) = 0;

  // Returns the destination's length after logging a progress point.
  virtual uint64_t Progress(CStream& destination) = 0;

  // Returns true when the pass that left the destination length long got
  // further than the passes before it; called once the destination is
  // closed.
  virtual bool Closed(uint64_t length) = 0;

  // Returns the offset in the source where the operation ends.
  virtual uint64_t End() const = 0;

  // Returns how the destination's bytes map onto the source's.
  virtual CCopyLayout Layout() const = 0;

  // Returns the file being copied.
  virtual CFileNode& Node() = 0;

  // Returns the pages of the destination passed as zeros so far, as its
  // record holds them.
  CPassedPages& Passed() { return m_passed; }

  // Returns true while the pass about to begin reads the block the passes
  // stalled on page by page (set by RunCopyPasses before Begin): Begin then
  // keeps what the earlier passes wrote, a header cut short included.
  bool Narrowing() const { return m_narrowing; }
  void SetNarrowing(bool narrowing) { m_narrowing = narrowing; }

private:
  CPassedPages m_passed;
  bool m_narrowing = false;
};

// Runs passes of pass from source to destination (the file called name)
// until one reaches the end, the run is stopped, a write fails, the passes
// stall (see CPassStall) or the user skips the file; the run state shows
// the file as being copied meanwhile (CFileCopyScope), and a pause holds it
// before each block. Under the run's passUnreadable, passes that stall on a
// block read it page by page instead: the pages that fail kPageTries tries
// are recorded (PassedPages.h) and written as zeros, and the passes go on
// after them. Returns 0; 2 when the reconnect limit ran out, when failing
// passes stalled, when the source changed under the copy (logged), or when
// the destination holds pages passed as zeros (ReportPassedPages); 64 when the file was skipped (logged by
// SkippedResult); otherwise the result Begin ended with, or the failing block's flags.
ResultFlags RunCopyPasses(const std::string& source, const std::string& destination, const std::string& name,
                          CCopyPass& pass);
