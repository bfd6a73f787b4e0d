// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's form values with their defaults: every setting of a run
// as the form exchange last stored it. They belong to the window thread; the
// values the engine reads while a run goes on reach it through
// CEngineFormValues.
#pragma once

#include <cstdint>
#include <string>

inline constexpr uint32_t kDefaultBufferSize = 1048576;   // 1 MiB
inline constexpr uint32_t kCheckedBufferSize = 10485760;  // 10 MiB, with check after copy
inline constexpr uint32_t kDefaultReconnectLimit = 300;   // seconds
inline constexpr uint32_t kDefaultCheckCycles = 1;
inline constexpr uint32_t kDefaultHeader = 1024;  // bytes
inline constexpr uint32_t kDefaultPartNumber = 1;
inline constexpr uint32_t kDefaultPartSize = 104857600;  // 100 MiB

struct CFormValues {
  uint32_t bufferSize = kDefaultBufferSize;
  uint32_t reconnectLimit = kDefaultReconnectLimit;
  std::string source;  // the Source field, UTF-8
  bool checkAfterCopy = false;
  std::string destination;  // the Destination field, UTF-8
  uint32_t checkCycles = kDefaultCheckCycles;
  uint32_t header = kDefaultHeader;
  uint32_t partNumber = kDefaultPartNumber;
  uint32_t partSize = kDefaultPartSize;
  bool copyByParts = false;
  bool reget = false;
  bool passUnreadable = false;  // Pass unreadable: pages that cannot be read become zeros
};
