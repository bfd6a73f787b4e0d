// SPDX-License-Identifier: GPL-3.0-or-later
// The run log files: where they go, their names, the pieces of the log
// written with the system's line ends, and the folder pruned to the newest.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "frontend/RunLogFile.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr char kEnd[] = "\r\n";
#else
constexpr char kEnd[] = "\n";
#endif

std::string Contents(const std::string& path) {
  std::ifstream in(fs::u8path(path), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(RunLogFileTest, NamedByTheTimeTheRunStarted) {
  std::tm local{};
  local.tm_year = 2026 - 1900;
  local.tm_mon = 11;
  local.tm_mday = 9;
  local.tm_hour = 7;
  local.tm_min = 5;
  local.tm_sec = 3;
  EXPECT_EQ(RunLogFileName(local), "ferrox-2026-12-09_07-05-03.log");
}

#ifdef _WIN32
TEST(RunLogFileTest, TheFolderIsTheUsersLocalApplicationData) {
  const wchar_t* savedValue = _wgetenv(L"LOCALAPPDATA");
  const std::wstring saved = savedValue ? savedValue : L"";
  _wputenv_s(L"LOCALAPPDATA", L"C:\\Users\\J\u00f6rg\\AppData\\Local");
  EXPECT_EQ(RunLogFolder(), "C:\\Users\\J\xc3\xb6rg\\AppData\\Local\\Ferrox");
  _wputenv_s(L"LOCALAPPDATA", saved.c_str());
}
#else
TEST(RunLogFileTest, TheFolderIsTheUsersStateFolder) {
  const char* savedState = std::getenv("XDG_STATE_HOME");
  const std::string saved = savedState ? savedState : "";
  setenv("XDG_STATE_HOME", "/var/state of mine", 1);
  EXPECT_EQ(RunLogFolder(), "/var/state of mine/ferrox");
  setenv("XDG_STATE_HOME", "relative", 1);  // not absolute: ignored
  setenv("HOME", std::getenv("HOME") ? std::getenv("HOME") : "/home/u", 1);
  EXPECT_EQ(RunLogFolder(), std::string(std::getenv("HOME")) + "/.local/state/ferrox");
  unsetenv("XDG_STATE_HOME");
  EXPECT_EQ(RunLogFolder(), std::string(std::getenv("HOME")) + "/.local/state/ferrox");
  if (savedState) setenv("XDG_STATE_HOME", saved.c_str(), 1);
}
#endif

TEST(RunLogFileTest, WritesThePiecesAndTheLastLineThenCloses) {
  CTempDir temp;
  const std::string folder = temp / "state";
  CRunLogFile file;
  std::string error;
  ASSERT_TRUE(file.Open(folder, error)) << error;
  EXPECT_TRUE(file.IsOpen());
  file.Append("first\r\n");
  file.Flush();
  file.Append("second\r\nthird\r\n");
  file.Close("  42%");
  EXPECT_FALSE(file.IsOpen());
  file.Append("after\r\n");  // closed: ignored
  file.Flush();
  EXPECT_EQ(Contents(file.Path()),
            std::string("first") + kEnd + "second" + kEnd + "third" + kEnd + "  42%" + kEnd);

  // A second run in the same second gets a name of its own.
  CRunLogFile other;
  ASSERT_TRUE(other.Open(folder, error)) << error;
  EXPECT_NE(other.Path(), file.Path());
  other.Close("");
  EXPECT_EQ(Contents(other.Path()), "");
}

TEST(RunLogFileTest, AFolderThatCannotBeMadeIsAnError) {
  CTempDir temp;
  std::ofstream(fs::u8path(temp / "file")) << "x";
  CRunLogFile file;
  std::string error;
  EXPECT_FALSE(file.Open(temp / "file", error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(file.IsOpen());
}

TEST(RunLogFileTest, PruningKeepsTheNewestAndLeavesOtherFilesAlone) {
  CTempDir temp;
  const std::vector<std::string> names = {"ferrox-2026-01-01_00-00-00.log",
                                          "ferrox-2026-01-01_00-00-00-2.log",
                                          "ferrox-2026-01-01_00-00-00-10.log",
                                          "ferrox-2026-01-02_00-00-00.log",
                                          "notes.txt",
                                          "ferrox.log"};
  for (const std::string& name : names) std::ofstream(fs::u8path(temp / name)) << name;
  PruneRunLogs(temp.Path(), 2);
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(fs::u8path(temp.Path())))
    left.push_back(entry.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"ferrox-2026-01-01_00-00-00-10.log",
                                            "ferrox-2026-01-02_00-00-00.log", "ferrox.log", "notes.txt"}));
}

}  // namespace
