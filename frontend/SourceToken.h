// SPDX-License-Identifier: GPL-3.0-or-later
// How one path is written into the Source field so that the field's syntax
// gives it back unchanged, and how a list of chosen paths becomes Source
// text.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Returns the text that stands for path in the Source field, whatever
// token follows it after a blank: the path in double quotes when it holds
// no double quote, otherwise the path itself when it reads back whole
// unquoted; nullopt when neither reads back as path (a double quote that
// quoting cannot carry).
std::optional<std::string> SourceToken(std::string_view path);

// The Source text for a list of paths, and the paths that could not be
// written into it.
struct CSourceText {
  std::string text;
  std::vector<std::string> leftOut;
};

// Returns the text of paths in order, each as its SourceToken followed by
// one blank, as the Source File browse writes them; a path without a
// SourceToken is left out and listed in leftOut.
CSourceText BuildSourceText(const std::vector<std::string>& paths);

// Returns source with added appended after one blank when append is set,
// else added alone.
std::string CombineSourceText(const std::string& source, const std::string& added, bool append);
