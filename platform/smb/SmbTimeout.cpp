// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/smb/SmbTimeout.h"

#include <atomic>

namespace {

std::atomic<uint32_t> g_timeoutMs{kSmbDefaultTimeoutMs};
std::atomic<uint32_t> g_slowPieceMs{kSmbSlowPieceMs};
std::atomic<uint32_t> g_slowRequestUs{kSmbSlowRequestUs};

}  // namespace

void SetSmbTimeoutMs(uint32_t ms) { g_timeoutMs.store(ms == 0 ? kSmbDefaultTimeoutMs : ms); }

uint32_t SmbTimeoutMs() { return g_timeoutMs.load(); }

void SetSmbSlowPieceMs(uint32_t ms) { g_slowPieceMs.store(ms == UINT32_MAX ? kSmbSlowPieceMs : ms); }

uint32_t SmbSlowPieceMs() { return g_slowPieceMs.load(); }

void SetSmbSlowRequestUs(uint32_t us) { g_slowRequestUs.store(us == UINT32_MAX ? kSmbSlowRequestUs : us); }

uint32_t SmbSlowRequestUs() { return g_slowRequestUs.load(); }
