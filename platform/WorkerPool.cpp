// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/WorkerPool.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

namespace {

class CWorkerPool {
public:
  // Returns the pool. It is never destroyed: its threads wait to the end.
  static CWorkerPool& Get() {
    static CWorkerPool* pool = new CWorkerPool;
    return *pool;
  }

  // Runs job on a thread of the pool, a new one when none is free.
  void Run(std::function<void()> job) {
    std::lock_guard lock(m_lock);
    m_jobs.push_back(std::move(job));
    if (m_idle < m_jobs.size()) std::thread([this] { Serve(); }).detach();
    m_wake.notify_one();
  }

private:
  void Serve() {
    std::unique_lock lock(m_lock);
    for (;;) {
      while (m_jobs.empty()) {
        ++m_idle;
        m_wake.wait(lock);
        --m_idle;
      }
      std::function<void()> job = std::move(m_jobs.front());
      m_jobs.pop_front();
      lock.unlock();
      job();
      job = nullptr;
      lock.lock();
    }
  }

  std::mutex m_lock;
  std::condition_variable m_wake;
  std::deque<std::function<void()>> m_jobs;  // not taken yet
  size_t m_idle = 0;                         // threads waiting for a job
};

}  // namespace

void RunOnPoolThread(std::function<void()> job) { CWorkerPool::Get().Run(std::move(job)); }
