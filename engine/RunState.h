// SPDX-License-Identifier: GPL-3.0-or-later
// The one place where the window thread and the worker thread of a run meet:
// the settings Start copies from the form, the control flags, the counters of
// the progress display and the summary lines, the source list and the large
// storage areas of a run. One process-wide instance, g_RunState.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/DestinationClaims.h"
#include "engine/FetchAhead.h"
#include "engine/LeftOut.h"
#include "engine/PageRecord.h"

// Readings of check after copy in flight together at most; a backend may
// offer fewer.
inline constexpr uint32_t kReadingsInFlight = 64;

class CMainForm;

struct RunState {
  // Settings, written by Start while no worker runs and read by the worker.
  uint32_t bufferSize = 1048576;  // bytes; the run driver raises it to at least 1024
  uint32_t reconnectLimit = 300;  // seconds
  bool checkAfterCopy = true;
  uint32_t checkCycles = 1;
  // Pass unreadable: pages that cannot be read are written as zeros and
  // recorded beside the copy (PassedPages.h) instead of ending the file.
  bool passUnreadable = false;
  // Files of a folder source fetched ahead of the worker at most (see
  // FetchAhead.h); 0 copies one file at a time, opening each only when its
  // turn comes. Copy by parts never fetches ahead.
  uint32_t fetchFiles = kFetchFiles;

  // Control flags, shared by both threads without a lock.
  std::atomic<bool> runFlag{false};        // cleared to stop the worker
  std::atomic<bool> workerFinished{true};  // set once the worker released its buffers
  std::atomic<bool> pauseFlag{false};      // set to hold the worker (see PauseGate.h)
  std::atomic<bool> skipFlag{false};       // set to end the copy of the current file
  // Set by the worker: while it waits in WaitWhilePaused, and while it
  // copies a file (from the first open of the source to the file's end).
  std::atomic<bool> workerPaused{false};
  std::atomic<bool> fileActive{false};

  // Counters, written and read on the worker thread.
  uint32_t fileProgress = 0;  // per mille of the current file, 0 to 1000
  int32_t currentFileNumber = 0;
  int32_t fileCount = 0;
  int32_t folderCount = 0;
  uint64_t bytesDone = 0;
  uint64_t totalBytes = 0;
  uint32_t runCrc = 0xFFFFFFFF;  // CRC-32 register of the current source, not inverted
  int32_t errorsFixed = 0;
  int32_t skippedFiles = 0;   // files of the current source the user skipped
  uint64_t passedBytes = 0;   // bytes of the current source's copies passed as zeros
  int64_t pausedSeconds = 0;  // seconds the worker spent paused in this run

  // Sources of the run, written only while no worker runs. There is no limit
  // on their number.
  std::vector<std::string> sources;

  // The destination files this run has written or found complete, each with
  // the source file it belongs to. Worker only.
  CDestinationClaims destinationClaims;

  // What the current source left out and why (see LeftOut.h), the cause
  // the last failure gave, and whether the source as a whole stopped
  // answering, which ends its walk. Worker only; cleared for each source.
  std::vector<CLeftOutEntry> leftOut;
  std::string failureCause;
  bool sourceLost = false;

  // The stage fetching the current source's files ahead, while the run
  // driver copies a folder source with fetchFiles above 0; nullptr
  // otherwise. Worker only.
  CFetchAhead* fetchAhead = nullptr;

  // The copy buffer of a run: allocated when the worker starts, released when
  // it ends.
  std::unique_ptr<uint8_t[]> copyBuffer;

  // Read verification's records, one per page of the largest block:
  // allocated with the copy buffer while check after copy is on.
  std::unique_ptr<PageRecord[]> verifyRecords;

  // Where the readings of check after copy land, kReadingScratchBytes for
  // each reading in flight, aligned for direct reads: allocated with the
  // records (AllocateVerifyAreas).
  std::unique_ptr<uint8_t[]> readingArea;
  uint8_t* readingScratch = nullptr;  // the aligned start inside readingArea

  // The source being worked on, for the window caption; set by the run
  // driver, never cleared.
  const std::string* currentSourcePath = nullptr;

  // The front end the engine reports to.
  std::atomic<CMainForm*> mainForm{nullptr};

  // Allocates the records for blocks of bufferSize bytes and the readings'
  // scratch area. Returns false when memory is short (nothing is kept then).
  bool AllocateVerifyAreas();
  // Releases both.
  void ReleaseVerifyAreas();

  // Returns true while the copy of the current file may go on: the run
  // flag set and no skip asked for.
  bool FileGoesOn() const { return runFlag && !skipFlag; }
  // Returns true when a skip was asked for while the run goes on.
  bool SkipAsked() const { return runFlag && skipFlag; }

  // Restores every member to its value at program start, except the main
  // form reference. Only while no worker runs.
  void Reset();
};

extern RunState g_RunState;
