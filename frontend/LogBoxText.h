// SPDX-License-Identifier: GPL-3.0-or-later
// What the form exchange reads of the log box: at most the first 32000
// bytes of the log channel's text, so that reading the form never refuses
// the log, however long it grows (the box itself shows the whole kept log);
// and the text as the box draws it.
#pragma once

#include <string>
#include <string_view>

// Returns the first 32000 bytes of channelText (cut at a UTF-8 boundary),
// or all of it when it is shorter.
std::string LogBoxText(std::string_view channelText);

// Returns text without its carriage returns, as the box draws it.
std::string WithoutCarriageReturns(std::string_view text);
