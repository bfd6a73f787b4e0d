// Ctrl-C and SIGTERM as commands read by the main thread: both signals are
// blocked and read from a signal descriptor, so no code runs inside a signal
// handler.
#pragma once

class CSignalWatch {
public:
  CSignalWatch() = default;
  // Closes the descriptor; the signals stay blocked.
  ~CSignalWatch();
  CSignalWatch(const CSignalWatch&) = delete;
  CSignalWatch& operator=(const CSignalWatch&) = delete;

  // Blocks SIGINT and SIGTERM in the calling thread, and so in every thread
  // it starts afterwards, and opens the descriptor they are read from.
  // Returns false when that fails; the signals then keep their default
  // effect.
  bool Start();

  // Returns the descriptor that becomes readable when a signal is pending,
  // or -1 before Start.
  int Fd() const { return m_fd; }

  // Returns how many of the watched signals were pending, without waiting.
  int TakePending();

private:
  int m_fd = -1;
};
