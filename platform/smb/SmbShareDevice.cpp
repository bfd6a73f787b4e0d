// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/smb/SmbShareDevice.h"

#include <map>
#include <mutex>
#include <string>

namespace {

// The high bytes of every share's device number: "SMB".
constexpr uint64_t kSmbDeviceBase = uint64_t{0x534D42} << 40;
// The port a location without one reaches.
constexpr uint16_t kDefaultPort = 445;

std::mutex g_lock;
std::map<std::string, uint64_t> g_devices;  // guarded by g_lock

// Returns text with ASCII letters in lower case.
std::string Folded(const std::string& text) {
  std::string folded(text);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

}  // namespace

uint64_t SmbShareDevice(const CSmbLocation& location) {
  if (location.server.empty() || location.share.empty()) return 0;
  const uint16_t port = location.port == 0 ? kDefaultPort : location.port;
  // The server cannot hold '/', so "server:port/share" keys every share apart.
  const std::string key = Folded(location.server) + ":" + std::to_string(port) + "/" + Folded(location.share);
  std::lock_guard lock(g_lock);
  auto found = g_devices.find(key);
  if (found != g_devices.end()) return found->second;
  const uint64_t device = kSmbDeviceBase | (g_devices.size() + 1);
  g_devices.emplace(key, device);
  return device;
}
