// SPDX-License-Identifier: GPL-3.0-or-later
// The manual page of ferrox-cli and its bash completion against the program's
// own --help text: the same options with the same arguments, the same exit
// statuses and the same JSON events, so that none of them falls behind when
// an option is added. The including build defines FERROX_CLI_PATH,
// FERROX_MANUAL_SOURCE (docs/man/ferrox-cli.1.scd) and FERROX_COMPLETION
// (the bash completion script).
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/CliRunner.h"

namespace {

using ferrox_test::ReadFile;
using ferrox_test::RunCli;
using ferrox_test::SplitLines;

std::string HelpText() {
  CTempDir dir;
  const ferrox_test::CRunResult result = RunCli(dir, {"--help"});
  EXPECT_EQ(result.status, 0);
  return result.out;
}

std::vector<std::string> ManualLines() {
  const std::string text = ReadFile(FERROX_MANUAL_SOURCE);
  EXPECT_FALSE(text.empty()) << "cannot read " << FERROX_MANUAL_SOURCE;
  return SplitLines(text);
}

// Returns the lines of the manual section titled heading ("# heading").
std::vector<std::string> ManualSection(const std::string& heading) {
  std::vector<std::string> section;
  bool inside = false;
  for (const std::string& line : ManualLines()) {
    if (line.starts_with("# ")) {
      inside = line == "# " + heading;
      continue;
    }
    if (inside) section.push_back(line);
  }
  EXPECT_FALSE(section.empty()) << "no section " << heading << " in the manual";
  return section;
}

// Returns an item line of the manual as a reader sees it: without the bold and
// underline marks, each escaped character standing for itself.
std::string PlainManualText(const std::string& line) {
  std::string plain;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\\' && i + 1 < line.size()) {
      plain += line[++i];
    } else if (c != '*' && c != '_') {
      plain += c;
    }
  }
  return plain;
}

// The options of the help text as they are written in its first column, such
// as "-d, --dest DIR" or "--log FILE", in the order given.
std::vector<std::string> HelpOptions(const std::string& help) {
  std::vector<std::string> options;
  for (const std::string& line : SplitLines(help)) {
    const size_t indent = line.find_first_not_of(' ');
    // Option lines are indented by two or six blanks; their descriptions
    // continue much further in, and the paragraphs about --log and --json
    // are not indented at all.
    if (indent == std::string::npos || indent < 2 || indent > 6 || line[indent] != '-') continue;
    const std::string rest = line.substr(indent);
    options.push_back(rest.substr(0, rest.find("  ")));
  }
  return options;
}

// The options of the manual's OPTIONS section, written like those of the help
// text.
std::vector<std::string> ManualOptions() {
  std::vector<std::string> options;
  for (const std::string& line : ManualSection("OPTIONS")) {
    if (line.starts_with("*-")) options.push_back(PlainManualText(line));
  }
  return options;
}

// Every option name ("-d", "--dest", ...) in the signatures.
std::set<std::string> OptionNames(const std::vector<std::string>& signatures) {
  std::set<std::string> names;
  for (const std::string& signature : signatures) {
    std::istringstream words(signature);
    std::string word;
    while (words >> word) {
      if (!word.starts_with("-")) continue;
      if (word.ends_with(",")) word.pop_back();
      names.insert(word);
    }
  }
  return names;
}

// The statuses listed under "Exit status:" of the help text, each line's
// numbers before its description.
std::set<std::string> HelpExitStatuses(const std::string& help) {
  std::set<std::string> statuses;
  bool inside = false;
  for (const std::string& line : SplitLines(help)) {
    if (line == "Exit status:") {
      inside = true;
      continue;
    }
    if (!inside || line.size() < 3 || line[2] == ' ') continue;
    std::istringstream words(line.substr(0, line.find("   ")));
    std::string word;
    while (words >> word) {
      if (word.ends_with(",")) word.pop_back();
      statuses.insert(word);
    }
  }
  return statuses;
}

std::set<std::string> ManualExitStatuses() {
  std::set<std::string> statuses;
  for (const std::string& line : ManualSection("EXIT STATUS")) {
    if (!line.starts_with("*")) continue;
    std::istringstream words(PlainManualText(line));
    std::string word;
    while (words >> word) {
      if (word.ends_with(",")) word.pop_back();
      statuses.insert(word);
    }
  }
  return statuses;
}

// The names in the "event":"NAME" pairs of text.
std::set<std::string> EventNames(const std::string& text) {
  std::set<std::string> names;
  const std::string key = "\"event\":\"";
  for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
    const size_t start = at + key.size();
    names.insert(text.substr(start, text.find('"', start) - start));
  }
  return names;
}

TEST(ManualPage, ListsTheOptionsOfTheHelpTextWithTheirArguments) {
  const std::vector<std::string> help = HelpOptions(HelpText());
  ASSERT_GE(help.size(), 15u);
  EXPECT_EQ(ManualOptions(), help);
}

TEST(ManualPage, CoversTheLogonOptions) {
  const std::vector<std::string> options = ManualOptions();
  EXPECT_NE(std::find(options.begin(), options.end(), "--credentials FILE"), options.end());
  EXPECT_NE(std::find(options.begin(), options.end(), "-U, --user [DOMAIN\\]USER"), options.end());
}

TEST(ManualPage, ListsTheExitStatusesOfTheHelpText) {
  const std::set<std::string> help = HelpExitStatuses(HelpText());
  EXPECT_EQ(help, (std::set<std::string>{"0", "1", "2", "4", "8", "32", "64", "130"}));
  EXPECT_EQ(ManualExitStatuses(), help);
}

TEST(ManualPage, NamesTheJsonEventsOfTheHelpText) {
  const std::set<std::string> help = EventNames(HelpText());
  EXPECT_EQ(help, (std::set<std::string>{"log", "progress", "left_out", "source", "scan", "paused",
                                         "continued", "end"}));
  std::string section;
  for (const std::string& line : ManualSection("JSON EVENTS")) section += line + "\n";
  EXPECT_EQ(EventNames(section), help);
}

TEST(ManualPage, NamesTheThreeFormsOfANetworkPath) {
  std::string section;
  for (const std::string& line : ManualSection("NETWORK PATHS")) section += PlainManualText(line) + "\n";
  EXPECT_NE(section.find("smb://server[:port]/share/path"), std::string::npos);
  EXPECT_NE(section.find("//server/share/path"), std::string::npos);
  EXPECT_NE(section.find("\\\\server\\share\\path"), std::string::npos);
}

TEST(BashCompletion, OffersTheOptionsOfTheHelpText) {
  const std::string script = ReadFile(FERROX_COMPLETION);
  const std::string start = "local opts='";
  const size_t at = script.find(start);
  ASSERT_NE(at, std::string::npos) << "no option list in " << FERROX_COMPLETION;
  const size_t begin = at + start.size();
  std::istringstream words(script.substr(begin, script.find('\'', begin) - begin));
  std::set<std::string> offered;
  std::string word;
  while (words >> word) offered.insert(word);
  EXPECT_EQ(offered, OptionNames(HelpOptions(HelpText())));
}

}  // namespace
