// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Connections.h"

#include <algorithm>
#include <atomic>

namespace {

std::atomic<uint32_t> g_connections{kDefaultConnections};

}  // namespace

void SetConnections(uint32_t count) {
  g_connections.store(count == 0 ? kDefaultConnections : std::min(count, kMostConnections));
}

uint32_t Connections() { return g_connections.load(); }
