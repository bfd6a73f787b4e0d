// SPDX-License-Identifier: GPL-3.0-or-later
// What the engine sees of its front end: the form values it reads while a
// run goes on, the log and progress sinks, and the Start command the worker
// sends when it ends by itself. The window and the command-line front end
// implement it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/LeftOut.h"

// How one source of a run ended, for front ends that report it.
struct CSourceSummary {
  size_t index = 0;     // position in the source list
  std::string path;     // the source path as the log names it
  uint32_t result = 0;  // its ResultFlags
  uint32_t crc32 = 0;   // the CRC-32 of the bytes copied from it (complemented register)
  int32_t errorsFixed = 0;
  bool canceled = false;               // the run flag was clear when it was reported
  bool connected = true;               // false when it ended in "connection failed"
  std::vector<CLeftOutEntry> leftOut;  // what the walk passed over, in walk order
};

// What the scan of one source found, for front ends that report it: the
// totals a run would log and what a Start would do with the destination.
struct CScanSummary {
  size_t index = 0;     // position in the source list
  std::string path;     // the source path as the log names it
  uint32_t result = 0;  // its ResultFlags
  int64_t files = 0;    // files listed
  int64_t folders = 0;  // folders listed below the source
  uint64_t bytes = 0;   // their total size
  int64_t completeFiles = 0;
  int64_t partialFiles = 0;
  int64_t missingFiles = 0;
  int64_t differingFiles = 0;  // not this source's copy: a run leaves them alone
  uint64_t bytesToCopy = 0;    // what a run would read from the source
};

// A logon to a share that refused the run's, as the user gives it.
struct CShareLogon {
  std::string share;  // the share as the source path names it
  std::string user;
  std::string domain;
  std::string password;
};

class CMainForm {
public:
  virtual ~CMainForm() = default;

  // Form values, each read whole: a value the user changes meanwhile is seen
  // either before or after the change, never half-written.
  virtual std::string Destination() const = 0;
  virtual bool CopyByParts() const = 0;
  virtual bool ReGet() const = 0;
  virtual uint32_t Header() const = 0;
  virtual uint32_t PartNumber() const = 0;
  virtual uint32_t PartSize() const = 0;

  // Applies one formatted message to the log under the log's line rule and
  // returns once it is applied. Called from any thread; messages are applied
  // one at a time, in the order of the calls.
  virtual void LogMessage(std::string_view message) = 0;

  // Shows the progress counters of the run state and returns once the
  // display state holds them. Called on the worker thread.
  virtual void UpdateProgress() = 0;

  // The Start command the worker sends when it ends with the run flag still
  // set; returns once the window side has handled it.
  virtual void SendStartCommand() = 0;

  // Asked on the worker thread when the server of logon.share refused the
  // logon of the run. Returns true with the user, domain and password to try
  // next filled in, or false to end the source; the worker waits for the
  // answer. A front end that cannot ask anybody keeps the default.
  virtual bool AskShareLogon(CShareLogon& /*logon*/) { return false; }

  // Told on the worker thread when it starts waiting at a pause (paused
  // true) and when it goes on (false), each time after the run state's
  // workerPaused says so and before the progress is shown again. Nothing by
  // default.
  virtual void OnPauseChanged(bool /*paused*/) {}

  // Told on the worker thread once a source's summary lines are in the log,
  // or once it failed to connect. The window has no use for it.
  virtual void OnSourceDone(const CSourceSummary& /*summary*/) {}

  // Told on the worker thread of a scan once a source's scan lines are in
  // the log. Nothing by default.
  virtual void OnScanDone(const CScanSummary& /*summary*/) {}
};
