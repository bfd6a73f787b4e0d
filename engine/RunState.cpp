#include "RunState.h"

RunState g_RunState;

void RunState::Reset() {
  bufferSize = 1048576;
  reconnectLimit = 300;
  checkAfterCopy = true;
  checkCycles = 1;
  runFlag = false;
  workerFinished = true;
  pauseFlag = false;
  fileProgress = 0;
  currentFileNumber = 0;
  fileCount = 0;
  folderCount = 0;
  bytesDone = 0;
  totalBytes = 0;
  runCrc = 0xFFFFFFFF;
  errorsFixed = 0;
  sources.clear();
  destinationClaims.Clear();
  copyBuffer.reset();
  verifyRecords.reset();
  currentSourcePath = nullptr;
}
