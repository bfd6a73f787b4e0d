// SPDX-License-Identifier: GPL-3.0-or-later
// Threads kept for the whole life of the process and lent to jobs that need
// a thread of their own for a while (readings in flight, reading ahead).
#pragma once

#include <functional>

// Runs job on a thread of the process's pool: a waiting one, or a new one
// when none waits. The job owns the thread until it returns; the thread then
// waits for the next job. A copy of many files thus starts no thread per
// file, and what a library keeps per thread lives as long as the thread
// (libsmbclient keeps stack frames per thread that it never frees: threads
// that came and went with every file would leave them behind by the
// thousand). The pool is never destroyed.
void RunOnPoolThread(std::function<void()> job);
