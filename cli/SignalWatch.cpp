#include "SignalWatch.h"

#include <pthread.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>

CSignalWatch::~CSignalWatch() {
  if (m_fd >= 0) close(m_fd);
}

bool CSignalWatch::Start() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return false;
  m_fd = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
  if (m_fd < 0) {
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    return false;
  }
  return true;
}

int CSignalWatch::TakePending() {
  int count = 0;
  signalfd_siginfo info;
  for (;;) {
    const ssize_t got = read(m_fd, &info, sizeof info);
    if (got == static_cast<ssize_t>(sizeof info)) {
      ++count;
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else {
      return count;
    }
  }
}
