// SPDX-License-Identifier: GPL-3.0-or-later
// Opening a source file within the reconnect limit.
#pragma once

#include <memory>
#include <string>

#include "platform/FileServices.h"

// Opens the file at path for reading, retrying with a short pause between
// failed attempts until the reconnect limit has passed or the run flag is
// cleared, and counts the seconds left down in the log's last line. Returns
// the open stream, or nullptr after logging "reconnect limit over", or at
// once after a share refused the logon and no other logon was given.
std::unique_ptr<CStream> ReconnectSource(const std::string& path);
