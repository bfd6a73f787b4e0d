// What the log box holds of the log channel's text: at most 32000 bytes, as
// an edit box cuts insertions at its text limit, so a single message longer
// than the limit is shown up to the limit.
#pragma once

#include <string>
#include <string_view>

// Returns the first 32000 bytes of channelText (cut at a UTF-8 boundary),
// or all of it when it is shorter.
std::string LogBoxText(std::string_view channelText);

// Returns text without its carriage returns, as the box draws it.
std::string WithoutCarriageReturns(std::string_view text);
