// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/RunState.h"

#include <new>

#include "platform/FileServices.h"

RunState g_RunState;

void RunState::Reset() {
  bufferSize = 1048576;
  reconnectLimit = 300;
  checkAfterCopy = true;
  checkCycles = 1;
  passUnreadable = false;
  fetchFiles = kFetchFiles;
  runFlag = false;
  workerFinished = true;
  pauseFlag = false;
  skipFlag = false;
  workerPaused = false;
  fileActive = false;
  fileProgress = 0;
  currentFileNumber = 0;
  fileCount = 0;
  folderCount = 0;
  bytesDone = 0;
  totalBytes = 0;
  runCrc = 0xFFFFFFFF;
  errorsFixed = 0;
  skippedFiles = 0;
  passedBytes = 0;
  pausedSeconds = 0;
  sources.clear();
  destinationClaims.Clear();
  leftOut.clear();
  failureCause.clear();
  sourceLost = false;
  fetchAhead = nullptr;
  copyBuffer.reset();
  ReleaseVerifyAreas();
  currentSourcePath = nullptr;
}

bool RunState::AllocateVerifyAreas() {
  verifyRecords.reset(new (std::nothrow) PageRecord[(bufferSize >> 12) + 1]);
  readingArea.reset(new (std::nothrow)
                        uint8_t[kReadingsInFlight * kReadingScratchBytes + kReadingScratchAlign]);
  if (!verifyRecords || !readingArea) {
    ReleaseVerifyAreas();
    return false;
  }
  const auto address = reinterpret_cast<uintptr_t>(readingArea.get());
  readingScratch =
      readingArea.get() + (kReadingScratchAlign - address % kReadingScratchAlign) % kReadingScratchAlign;
  return true;
}

void RunState::ReleaseVerifyAreas() {
  verifyRecords.reset();
  readingArea.reset();
  readingScratch = nullptr;
}
