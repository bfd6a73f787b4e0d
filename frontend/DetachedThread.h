// SPDX-License-Identifier: GPL-3.0-or-later
// Starting a worker that nobody joins or holds a handle to.
#pragma once

#include <functional>
#include <string>

// Runs work on a new detached thread. Returns false with the system's
// description in error when the thread could not be created.
bool StartDetachedThread(std::function<void()> work, std::string& error);
