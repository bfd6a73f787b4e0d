// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/SignalWatch.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <thread>

CSignalWatch::~CSignalWatch() {
  if (m_fd >= 0) close(m_fd);
  if (m_wakeFd >= 0) close(m_wakeFd);
}

bool CSignalWatch::Start() {
  m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGTSTP);
  sigaddset(&set, SIGCONT);
  if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return false;
  m_fd = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
  if (m_fd < 0) {
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    return false;
  }
  m_started = true;
  return true;
}

int CSignalWatch::TakePending() {
  if (m_fd < 0) return 0;
  int count = 0;
  signalfd_siginfo info;
  for (;;) {
    const ssize_t got = read(m_fd, &info, sizeof info);
    if (got == static_cast<ssize_t>(sizeof info)) {
      if (info.ssi_signo == SIGTSTP)
        m_job = CJobSignal::kStop;
      else if (info.ssi_signo == SIGCONT)
        m_job = CJobSignal::kContinue;
      else
        ++count;
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else {
      return count;
    }
  }
}

CJobSignal CSignalWatch::TakeJobSignal() {
  const CJobSignal job = m_job;
  m_job = CJobSignal::kNone;
  return job;
}

bool CSignalWatch::StopProcess() {
  if (m_fd < 0) return false;
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTSTP);
  // SIGTSTP's default effect, on this thread alone while it is let through.
  signal(SIGTSTP, SIG_DFL);
  pthread_sigmask(SIG_UNBLOCK, &stop, nullptr);
  raise(SIGTSTP);
  // Here once continued, or at once when the system discarded the signal.
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  // The SIGCONT that continued the process waits, blocked, to be read.
  sigset_t pending;
  sigemptyset(&pending);
  return sigpending(&pending) == 0 && sigismember(&pending, SIGCONT) == 1;
}

void CSignalWatch::Wait(int ms) {
  pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
  if (poll(fds, 2, ms) < 0 && errno != EINTR) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  if (m_wakeFd >= 0 && (fds[1].revents & POLLIN) != 0) {
    uint64_t count = 0;
    if (read(m_wakeFd, &count, sizeof count) < 0) {
      // Nothing was pending after all.
    }
  }
}

void CSignalWatch::Wake() {
  const uint64_t one = 1;
  if (m_wakeFd >= 0 && write(m_wakeFd, &one, sizeof one) < 0) {
    // The main thread notices at its next tick anyway.
  }
}
