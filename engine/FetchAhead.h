// SPDX-License-Identifier: GPL-3.0-or-later
// Files in flight: while the worker copies one file, the next files of the
// walk are opened on threads of the pool and their first bytes read ahead
// (a small file whole), so that the worker finds them waiting instead of
// waiting for the opens and first reads itself. Nothing is written ahead:
// the worker still takes every file in walk order and does with it what it
// does without the stage; a fetched file only stands in for the first open
// of its source (see ReconnectSource.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/FileServices.h"

// Files fetched ahead of the worker at most: enough to hide the round trips
// of a share behind the copy of the current file, few enough that the
// streams and threads they hold stay modest. 0 turns the stage off.
inline constexpr uint32_t kFetchFiles = 32;
// Bytes read ahead of one file at most: a small file comes whole, a large
// one gives its first blocks and is opened again for the rest.
inline constexpr uint64_t kFetchFileBytes = 16ull << 20;
// Bytes held ahead of the worker for all files together, so that a run of
// large files cannot take more memory than this beside the copy buffer.
inline constexpr uint64_t kFetchBytes = 64ull << 20;
// Threads fetching together: opens overlap, but a share sees few requests
// of this run at once: on a share each is a helper process with a
// connection of its own, and 15 keep a link of 10 ms busy with small files.
// Never more than the connections the user's setting leaves beside the
// copy's own (platform/Connections.h).
inline constexpr uint32_t kFetchThreads = 15;

class CFileNode;

class CFetchAhead {
public:
  // Starts fetching the files below the listed folder root, copied from
  // source into destFolder, in the order CopyFolder reaches them, at most
  // depth files (and kFetchBytes bytes) ahead of the worker's position,
  // which starts at the first file. Depth 0 starts nothing. The tree must
  // stay as it is until the stage is stopped.
  CFetchAhead(const CFileNode& root, const std::string& source, const std::string& destFolder,
              uint32_t depth);
  CFetchAhead(const CFetchAhead&) = delete;
  CFetchAhead& operator=(const CFetchAhead&) = delete;
  // Stops the stage and drops everything fetched, unwritten.
  ~CFetchAhead();

  // Moves the worker's position to the file whose source is source, when it
  // lies at or after the position; what was fetched for the files before it
  // is dropped. Returns true when the file is one of the stage's.
  bool Reached(const std::string& source);

  // Returns the fetched file at source as a stream that serves the bytes
  // read ahead and opens the file itself for anything else, waiting for a
  // fetch still under way; or nullptr when the file was not fetched, its
  // fetch failed, or it was taken before (each file is taken once). Moves
  // the worker's position to it.
  std::unique_ptr<CStream> Take(const std::string& source);

  // Stops the fetching threads, waits for them and drops everything
  // fetched. Later calls of Take return nullptr.
  void Stop();

  struct CState;

private:
  std::shared_ptr<CState> m_state;
};
