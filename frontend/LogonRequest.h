// SPDX-License-Identifier: GPL-3.0-or-later
// One question for a share logon, from the worker to the window: the worker
// waits for the answer on a condition variable, the window answers when the
// user does. Shared by both sides, so that whichever lets go of it last
// frees it; neither side ever waits for the other beyond the few
// instructions the lock is held for.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include "engine/MainForm.h"

// How often a waiting worker looks at the run flag.
inline constexpr std::chrono::milliseconds kLogonPollInterval{50};

class CLogonRequest {
public:
  // A question about asked.share; asked.user and asked.domain are what the
  // window offers first. Its password is not kept.
  explicit CLogonRequest(const CShareLogon& asked);
  // Overwrites a password that was never taken.
  ~CLogonRequest();
  CLogonRequest(const CLogonRequest&) = delete;
  CLogonRequest& operator=(const CLogonRequest&) = delete;

  // The share, user and domain the question was asked with.
  const std::string& Share() const { return m_asked.share; }
  const std::string& User() const { return m_asked.user; }
  const std::string& Domain() const { return m_asked.domain; }

  // Worker side: waits until the request is answered or runFlag is clear,
  // looking at the flag every kLogonPollInterval. Returns true with the
  // given user, domain and password in logon (the copy held here is then
  // overwritten); false when the logon was refused or the run stopped, in
  // which case the request is settled as refused and a later answer is
  // dropped.
  bool Await(const std::atomic<bool>& runFlag, CShareLogon& logon);

  // Window side: answers with given (its password is moved in and the
  // caller's overwritten) or refuses. Returns false, dropping the answer,
  // when the request was already settled.
  bool Give(CShareLogon& given);
  bool Refuse();

  // Returns true once the request is answered, refused or given up.
  bool Settled() const;

private:
  CShareLogon m_asked;
  mutable std::mutex m_lock;
  std::condition_variable m_changed;
  bool m_settled = false;  // under m_lock
  bool m_given = false;    // under m_lock
  CShareLogon m_answer;    // under m_lock; its password until the worker takes it
};

// Overwrites the bytes of text and empties it.
void WipeText(std::string& text);
