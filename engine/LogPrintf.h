// SPDX-License-Identifier: GPL-3.0-or-later
// The one way the engine speaks to the user in words.
#pragma once

// Formats a printf-style message and hands it to the main form's log,
// returning once the log holds it. A message that begins with "\r\n" starts a
// new line; any other replaces the log's last line. Safe from any thread;
// messages of any length are formatted whole. Without a main form the
// message is dropped. errno is left as it was, so a failure's cause can be
// reported after the message that names the failure.
void LogPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
