#include "RunCopy.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <memory>
#include <thread>

#include "CliFrontEnd.h"
#include "CopyThreadProc.h"
#include "ExitStatus.h"
#include "JsonPresenter.h"
#include "OutputBuffer.h"
#include "RunState.h"
#include "SignalWatch.h"
#include "TextPresenter.h"

namespace {

// How often the main thread wakes to redraw and flush while the worker runs.
constexpr int kTickMs = 50;

// Copies the form values into the run state and arms the run, as the
// window's Start does.
void PrepareRun(const CCliOptions& options, CMainForm& form) {
  RunState& run = g_RunState;
  run.mainForm = &form;
  run.sources = options.sources;
  run.runFlag = true;
  run.workerFinished = false;
  run.bufferSize = options.bufferSize;
  run.reconnectLimit = options.reconnectLimit;
  run.checkCycles = options.checkCycles;
  run.checkAfterCopy = options.checkAfterCopy;
}

// Returns the exit status of a run that ended by itself.
int ExitStatusOf(ResultFlags result, ResultFlags sourceResults, bool aborted) {
  if (aborted) return kExitAborted;
  if (result == kResultNoStorage) return kExitUsage;
  return static_cast<int>(sourceResults);
}

}  // namespace

int RunCopy(const CCliOptions& options, CLogFile* logFile) {
  // A reader that goes away must not end the copy: the write fails with
  // EPIPE, which is reported like any other failed write.
  std::signal(SIGPIPE, SIG_IGN);

  COutputBuffer out(STDOUT_FILENO);
  std::unique_ptr<CPresenter> presenter;
  if (options.json)
    presenter = std::make_unique<CJsonPresenter>(out);
  else
    presenter = std::make_unique<CTextPresenter>(out, isatty(STDOUT_FILENO) == 1, STDOUT_FILENO);
  CCliFrontEnd frontEnd(options, *presenter, out, logFile);

  CSignalWatch signals;
  const bool watching = signals.Start();
  const int doneFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);

  PrepareRun(options, frontEnd);
  ResultFlags result = kResultOk;
  std::thread worker([&result, doneFd] {
    result = CopyThreadProc();
    const uint64_t one = 1;
    if (doneFd >= 0 && write(doneFd, &one, sizeof one) < 0) {
      // The main thread notices the end at its next tick anyway.
    }
  });

  bool aborted = false;
  for (bool done = false; !done;) {
    pollfd fds[2] = {{signals.Fd(), POLLIN, 0}, {doneFd, POLLIN, 0}};
    const int ready = poll(fds, 2, kTickMs);
    if (ready < 0 && errno != EINTR) std::this_thread::sleep_for(std::chrono::milliseconds(kTickMs));
    if (watching && (fds[0].revents & POLLIN) != 0) {
      for (int pending = signals.TakePending(); pending > 0; --pending) {
        if (aborted) {
          frontEnd.FinishIfIdle(kExitAborted);
          _exit(kExitAborted);
        }
        aborted = true;
        g_RunState.runFlag = false;
      }
    }
    done = (fds[1].revents & POLLIN) != 0 || g_RunState.workerFinished.load();
    frontEnd.Tick();
  }
  worker.join();
  if (doneFd >= 0) close(doneFd);

  const int status = frontEnd.Finish(result, ExitStatusOf(result, frontEnd.SourceResults(), aborted));
  g_RunState.mainForm = nullptr;
  return status;
}
