// SPDX-License-Identifier: GPL-3.0-or-later
// The process's one libsmbclient context: the connections it caches, the
// time limit of their requests (SmbTimeout.h), the identity they log on with, and the lock
// that makes it usable from any thread.
//
// libsmbclient is not thread-safe, so every call into it is made while a
// CSmbCall is alive, which holds the lock (reads of a file already open take
// a CSmbFileCall, below). A call that waits on a server (at most the time
// limit) keeps other threads' SMB calls waiting meanwhile.
#pragma once

#include <cstdint>
#include <mutex>

#include "platform/smb/SmbTimeout.h"

typedef struct _SMBCCTX SMBCCTX;

// Returns true when err tells that the connection to a server broke, was
// refused or timed out, rather than that a file or folder failed.
bool IsSmbConnectionError(int err);

// Holds the context's lock while it lives; every use of libsmbclient's
// context happens through one. A thread may hold several at a time (the
// lock is recursive), so a stream or listing may be released within one.
class CSmbCall {
public:
  CSmbCall();
  ~CSmbCall() = default;
  CSmbCall(const CSmbCall&) = delete;
  CSmbCall& operator=(const CSmbCall&) = delete;

  // Returns the context, set up on first use, with the time limit and the
  // credentials' logon rules in force (idle connections are dropped when
  // either changed since the last call). Returns nullptr with errno set
  // when libsmbclient cannot be set up.
  SMBCCTX* Context();

  // Drops every cached connection that no open file or listing uses, so
  // that the next call to its server connects anew. errno is kept.
  void DropIdleConnections();

  // Called after a call failed with errno err: a connection-level failure
  // drops the idle connections, so that a dead one never makes later
  // attempts fail. errno is kept.
  void AfterFailure(int err);

  // Returns true when, since this CSmbCall was made, libsmbclient asked for
  // the credentials of a connection, found no live cached one and no new
  // connection came of it: the server refused the logon or the share, said
  // that the share does not exist, or could not be reached (the failed
  // call's errno tells which). A call that went through a cached
  // connection, or made a new one, had its logon and share admitted.
  // (libsmbclient asks for the credentials also on its way to a cached
  // connection when they name another user than its default one: only the
  // connection that came of it, or none, tells.)
  bool NewConnectionFailed() const;

private:
  std::unique_lock<std::recursive_mutex> m_contextLock;
  std::unique_lock<std::recursive_mutex> m_lock;
  uint64_t m_logonsAsked;  // the process's counts when this call began
  uint64_t m_connectionsMade;
  uint64_t m_connectionsReused;
};

// Returns a context of its own for one reader thread (verification's
// readings in flight together: libsmbclient's contexts are not shared
// between threads), with the time limit and the credentials in force, or
// nullptr with errno set. It logs on with the same credentials as every
// other connection. Contexts are kept for the next reader, with their
// connections, when given back.
SMBCCTX* TakeSmbReaderContext();

// Gives back a context of TakeSmbReaderContext, with no file open in it;
// after a connection-level failure its connections are dropped first.
// errno is kept.
void ReturnSmbReaderContext(SMBCCTX* context, bool connectionFailed);

// Holds the lock of the process's context alone while it lives, for seeks
// and reads of a file open in it, which convert nothing and log on to
// nothing (as a reader thread's reads, below): they go out while another
// thread logs on or opens in a reader context. Every other use of the
// context takes a CSmbCall, and a CSmbFileCall is never made while holding
// LockSmbSharedState.
class CSmbFileCall {
public:
  CSmbFileCall();
  ~CSmbFileCall() = default;
  CSmbFileCall(const CSmbFileCall&) = delete;
  CSmbFileCall& operator=(const CSmbFileCall&) = delete;

  // Returns the context the file was opened in: set up by the CSmbCall that
  // opened it.
  SMBCCTX* Context() const;

private:
  std::unique_lock<std::recursive_mutex> m_lock;
};

// Returns a hold on the lock every CSmbCall holds, for a reader thread's
// calls other than its reads. Some of libsmbclient's state is the whole
// process's, whatever the context: its loaded configuration, and the
// character-set converters that logging on and naming a file go through,
// which two threads must never use at once. A reader thread therefore
// takes, opens, closes and gives back its context while holding this; its
// read requests convert nothing and go out together.
std::unique_lock<std::recursive_mutex> LockSmbSharedState();
