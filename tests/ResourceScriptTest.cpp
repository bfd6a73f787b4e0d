// SPDX-License-Identifier: GPL-3.0-or-later
// The Win32 window's resource script against the dialog templates every
// front end builds from: dialog 102 and the About box 100 hold the same
// controls in the same order, each with its id, kind, label, place and
// initial state, and the dialogs' sizes, captions and styles.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "frontend/AboutText.h"
#include "frontend/ControlIds.h"
#include "frontend/DialogTemplate.h"

namespace {

// Returns the resource script next to the tests' folder.
std::filesystem::path ResourceScriptPath() {
  return std::filesystem::path(__FILE__).parent_path().parent_path() / "win" / "ferrox.rc";
}

// Returns the whole file at path, or an empty text when it cannot be read.
std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// One argument of a statement: a quoted text (quotes removed, "" read as ")
// or anything else up to the next comma, trimmed.
struct CArgument {
  std::string text;
  bool quoted = false;
};

// Splits the arguments of a statement line at its top-level commas.
std::vector<CArgument> SplitArguments(const std::string& line) {
  std::vector<CArgument> arguments;
  CArgument current;
  bool inQuotes = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (inQuotes) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        current.text += '"';
        ++i;
      } else if (c == '"') {
        inQuotes = false;
      } else {
        current.text += c;
      }
    } else if (c == '"') {
      inQuotes = true;
      current.quoted = true;
    } else if (c == ',') {
      arguments.push_back(current);
      current = CArgument();
    } else if (!(c == ' ' && current.text.empty())) {
      current.text += c;
    }
  }
  while (!current.text.empty() && (current.text.back() == ' ' || current.text.back() == '\r'))
    current.text.pop_back();
  arguments.push_back(current);
  for (CArgument& argument : arguments)
    while (!argument.quoted && !argument.text.empty() && argument.text.back() == ' ')
      argument.text.pop_back();
  return arguments;
}

// Returns the style flags named in expression ("A | B | NOT C"): each
// plain name, and each negated one as "NOT C".
std::set<std::string> StyleFlags(const std::string& expression) {
  std::set<std::string> flags;
  std::istringstream words(expression);
  std::string word;
  bool negate = false;
  while (words >> word) {
    if (word == "|") continue;
    if (word == "NOT") {
      negate = true;
      continue;
    }
    flags.insert(negate ? "NOT " + word : word);
    negate = false;
  }
  return flags;
}

// One control as the script describes it.
struct CScriptControl {
  std::string statement;
  int id = 0;
  std::string text;
  std::string className;  // CONTROL statements only
  std::set<std::string> style;
  int x = 0, y = 0, width = 0, height = 0;
};

// One dialog of the script.
struct CScriptDialog {
  int x = 0, y = 0, width = 0, height = 0;
  std::set<std::string> style;
  std::set<std::string> exStyle;
  std::string caption;
  std::string font;
  std::vector<CScriptControl> controls;
};

int Number(const CArgument& argument) { return std::stoi(argument.text); }

// Reads one control statement; nullopt for a line that is not one.
std::optional<CScriptControl> ParseControl(const std::string& line) {
  std::istringstream words(line);
  CScriptControl control;
  words >> control.statement;
  std::string rest;
  std::getline(words, rest);
  const std::vector<CArgument> a = SplitArguments(rest);
  auto place = [&](size_t first) {
    control.x = Number(a.at(first));
    control.y = Number(a.at(first + 1));
    control.width = Number(a.at(first + 2));
    control.height = Number(a.at(first + 3));
  };
  const std::string& s = control.statement;
  if (s == "CONTROL") {
    control.text = a.at(0).text;
    control.id = Number(a.at(1));
    control.className = a.at(2).text;
    control.style = StyleFlags(a.at(3).text);
    place(4);
  } else if (s == "EDITTEXT") {
    control.id = Number(a.at(0));
    place(1);
    if (a.size() > 5) control.style = StyleFlags(a.at(5).text);
  } else if (s == "LTEXT" || s == "PUSHBUTTON" || s == "DEFPUSHBUTTON" || s == "GROUPBOX" ||
             s == "AUTOCHECKBOX" || s == "ICON") {
    control.text = a.at(0).text;
    control.id = Number(a.at(1));
    place(2);
    if (a.size() > 6) control.style = StyleFlags(a.at(6).text);
  } else {
    return std::nullopt;
  }
  return control;
}

// Returns the dialogs of script by resource id.
std::map<int, CScriptDialog> ParseDialogs(const std::string& script) {
  std::map<int, CScriptDialog> dialogs;
  std::istringstream lines(script);
  std::string line;
  CScriptDialog* open = nullptr;
  bool inBody = false;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos) continue;
    line = line.substr(first);
    std::istringstream words(line);
    std::string head, keyword;
    words >> head >> keyword;
    if (keyword == "DIALOGEX") {
      std::string rest;
      std::getline(words, rest);
      const std::vector<CArgument> a = SplitArguments(rest);
      open = &dialogs[std::stoi(head)];
      open->x = Number(a.at(0));
      open->y = Number(a.at(1));
      open->width = Number(a.at(2));
      open->height = Number(a.at(3));
      inBody = false;
      continue;
    }
    if (!open) continue;
    const std::string rest = line.substr(head.size());
    if (head == "STYLE") {
      open->style = StyleFlags(rest);
    } else if (head == "EXSTYLE") {
      open->exStyle = StyleFlags(rest);
    } else if (head == "CAPTION") {
      open->caption = SplitArguments(rest).at(0).text;
    } else if (head == "FONT") {
      const std::vector<CArgument> a = SplitArguments(rest);
      open->font = a.at(0).text + " " + a.at(1).text;
    } else if (head == "BEGIN") {
      inBody = true;
    } else if (head == "END") {
      open = nullptr;
    } else if (inBody) {
      if (std::optional<CScriptControl> control = ParseControl(line)) open->controls.push_back(*control);
    }
  }
  return dialogs;
}

// Returns the kind the script gives control, or nullopt for one that no
// template kind describes.
std::optional<ControlKind> KindOf(const CScriptControl& control) {
  using enum ControlKind;
  const std::string& s = control.statement;
  const auto has = [&](const char* flag) { return control.style.count(flag) != 0; };
  if (s == "LTEXT") return kStatic;
  if (s == "EDITTEXT") {
    if (has("ES_MULTILINE"))
      return has("ES_READONLY") && has("WS_VSCROLL") && has("ES_AUTOVSCROLL") ? std::optional(kLog)
                                                                              : std::nullopt;
    return has("ES_AUTOHSCROLL") ? std::optional(kEdit) : std::nullopt;
  }
  if (s == "PUSHBUTTON") return has("NOT WS_VISIBLE") ? kHiddenButton : kButton;
  if (s == "DEFPUSHBUTTON") return kDefaultButton;
  if (s == "AUTOCHECKBOX") return kCheckBox;
  if (s == "GROUPBOX") return kGroupBox;
  if (s == "ICON") return kIcon;
  if (s == "CONTROL" && control.className == "msctls_progress32" && has("WS_BORDER")) return kProgressBar;
  return std::nullopt;
}

// Checks every control of dialog against controls, in order.
void ExpectSameControls(const CScriptDialog& dialog, std::span<const CControlTemplate> controls) {
  ASSERT_EQ(dialog.controls.size(), controls.size());
  for (size_t i = 0; i < controls.size(); ++i) {
    const CControlTemplate& expected = controls[i];
    const CScriptControl& found = dialog.controls[i];
    SCOPED_TRACE("control " + std::to_string(i) + " (" + found.statement + " " + std::to_string(found.id) +
                 ")");
    const std::optional<ControlKind> kind = KindOf(found);
    ASSERT_TRUE(kind.has_value());
    EXPECT_EQ(static_cast<int>(*kind), static_cast<int>(expected.kind));
    if (expected.kind == ControlKind::kIcon) {
      EXPECT_EQ(found.text, "128");  // the program icon
    } else {
      EXPECT_EQ(found.text, expected.text);
    }
    EXPECT_EQ(found.id, expected.id);
    EXPECT_EQ(found.x, expected.x);
    EXPECT_EQ(found.y, expected.y);
    EXPECT_EQ(found.width, expected.width);
    EXPECT_EQ(found.height, expected.height);
    EXPECT_EQ(found.style.count("WS_DISABLED") != 0, expected.disabled);
  }
}

class ResourceScriptTest : public ::testing::Test {
protected:
  void SetUp() override {
    m_script = ReadFile(ResourceScriptPath());
    ASSERT_FALSE(m_script.empty()) << ResourceScriptPath();
    m_dialogs = ParseDialogs(m_script);
  }

  std::string m_script;
  std::map<int, CScriptDialog> m_dialogs;
};

TEST_F(ResourceScriptTest, MainDialogIsTheMainTemplate) {
  ASSERT_EQ(m_dialogs.count(102), 1u);
  const CScriptDialog& dialog = m_dialogs.at(102);
  EXPECT_EQ(dialog.width, kMainDialogWidth);
  EXPECT_EQ(dialog.height, kMainDialogHeight);
  EXPECT_EQ(dialog.caption, kMainDialogCaption);
  EXPECT_EQ(dialog.font, "8 MS Sans Serif");
  EXPECT_EQ(dialog.style, (std::set<std::string>{"WS_POPUP", "WS_VISIBLE", "WS_CAPTION", "WS_SYSMENU",
                                                 "WS_MINIMIZEBOX", "WS_MAXIMIZEBOX", "WS_THICKFRAME"}));
  EXPECT_EQ(dialog.exStyle, (std::set<std::string>{"WS_EX_APPWINDOW"}));
  ExpectSameControls(dialog, MainDialogTemplate());
}

TEST_F(ResourceScriptTest, AboutBoxIsTheAboutTemplate) {
  ASSERT_EQ(m_dialogs.count(100), 1u);
  const CScriptDialog& dialog = m_dialogs.at(100);
  EXPECT_EQ(dialog.width, kAboutDialogWidth);
  EXPECT_EQ(dialog.height, kAboutDialogHeight);
  EXPECT_EQ(dialog.caption, kAboutDialogCaption);
  EXPECT_EQ(dialog.font, "8 MS Sans Serif");
  EXPECT_EQ(dialog.style, (std::set<std::string>{"DS_MODALFRAME", "WS_POPUP", "WS_CAPTION", "WS_SYSMENU"}));
  ExpectSameControls(dialog, AboutDialogTemplate());
  // The version line shows its ampersands as they are; OK starts a group.
  ASSERT_EQ(dialog.controls.size(), 5u);
  EXPECT_EQ(dialog.controls[1].style.count("SS_NOPREFIX"), 1u);
  EXPECT_EQ(dialog.controls[4].style.count("WS_GROUP"), 1u);
}

TEST_F(ResourceScriptTest, AboutMenuStringIconAndVersion) {
  EXPECT_NE(m_script.find(std::string("101 \"") + kAboutMenuText + "\""), std::string::npos);
  EXPECT_NE(m_script.find("128 ICON \"ferrox.ico\""), std::string::npos);
  EXPECT_NE(m_script.find("1 RT_MANIFEST \"ferrox.manifest\""), std::string::npos);
  EXPECT_NE(m_script.find("FILEVERSION 1, 0, 0, 1"), std::string::npos);
  EXPECT_NE(m_script.find("PRODUCTVERSION 1, 0, 0, 1"), std::string::npos);
  EXPECT_NE(m_script.find("VALUE \"FileVersion\", \"1.0.0.1\""), std::string::npos);
  EXPECT_NE(m_script.find("VALUE \"ProductVersion\", \"1.0.0.1\""), std::string::npos);
}

TEST_F(ResourceScriptTest, EveryControlIdOfTheWindowIsInTheScript) {
  std::set<int> ids;
  for (const CScriptControl& control : m_dialogs[102].controls)
    if (control.id != kIdNone) ids.insert(control.id);
  for (const CControlTemplate& control : MainDialogTemplate()) {
    if (control.id != kIdNone) {
      EXPECT_EQ(ids.count(control.id), 1u) << control.id;
    }
  }
}

}  // namespace
