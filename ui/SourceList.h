// The Source field's syntax: blank-separated tokens (the character 0x20
// only; a tab is an ordinary character), double-quoted paths, and network
// paths "//server/share/..." whose server and share names may contain
// blanks. There is no limit on the length of the text or on the number of
// sources.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Splits text into its sources, in order. A token that begins with a double
// quote runs to the next double quote (consumed) or to the end, without the
// quotes, and may be empty; one that begins with "//" takes the next
// character and everything up to the next '/' as the server part, then that
// '/' and everything up to the next '/' as the share part, then everything
// up to the next blank; any other token runs to the next blank. A token
// directly after a closing quote needs no blank before it.
std::vector<std::string> SplitSourceText(std::string_view text);

// Echoes logText through the log channel with "%s", then splits sourceText
// into sources and writes each source to the log with "%s\r\n".
void ParseSourceList(const std::string& logText, std::string_view sourceText,
                     std::vector<std::string>& sources);
