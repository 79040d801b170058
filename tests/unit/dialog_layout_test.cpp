// The Windows dialog's resource script against the layout table the Linux
// window is built from: the same controls in the same order, each with the
// same identifier, kind, text and place. A change to one without the other
// fails here.
#include "app/dialog_layout.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct ScriptControl {
  std::string statement;  // LTEXT, EDITTEXT, ...
  std::vector<std::string> fields;
  int line;
};

// The fields of one statement, split at commas outside quoted texts. A text
// keeps its quotes; "" inside it and the \r \n \\ escapes are resolved later.
std::vector<std::string> SplitFields(const std::string& rest) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    const char c = rest[i];
    if (c == '"') quoted = !quoted;
    if (c == ',' && !quoted) {
      fields.emplace_back();
      continue;
    }
    fields.back() += c;
  }
  for (std::string& field : fields) {
    field.erase(0, field.find_first_not_of(" \t"));
    field.erase(field.find_last_not_of(" \t") + 1);
  }
  return fields;
}

std::string Unquote(const std::string& field) {
  std::string text;
  for (std::size_t i = 1; i + 1 < field.size(); ++i) {
    if (field[i] == '\\' && i + 2 < field.size()) {
      const char next = field[++i];
      text += next == 'r' ? '\r' : next == 'n' ? '\n' : next;
    } else if (field[i] == '"') {
      text += '"';
      ++i;  // "" stands for one quote
    } else {
      text += field[i];
    }
  }
  return text;
}

bool IsStatement(const std::string& word) {
  static const char* const kStatements[] = {
      "LTEXT",    "CTEXT",       "RTEXT",     "EDITTEXT",   "PUSHBUTTON",      "DEFPUSHBUTTON",
      "COMBOBOX", "GROUPBOX",    "LISTBOX",   "CONTROL",    "CHECKBOX",        "AUTOCHECKBOX",
      "ICON",     "RADIOBUTTON", "SCROLLBAR", "PUSHBOX",    "AUTORADIOBUTTON", "STATE3"};
  for (const char* statement : kStatements) {
    if (word == statement) return true;
  }
  return false;
}

// The controls of IDD_MAIN, one statement each, continuation lines joined.
std::vector<ScriptControl> ReadDialogTemplate(const std::string& path) {
  std::ifstream script(path);
  std::vector<ScriptControl> controls;
  std::vector<std::string> rests;
  std::string line;
  bool inDialog = false;
  bool inBody = false;
  for (int number = 1; std::getline(script, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("IDD_MAIN ", 0) == 0) inDialog = true;
    if (!inDialog) continue;
    std::istringstream words(line);
    std::string first;
    words >> first;
    if (first.empty() || first.rfind("//", 0) == 0) continue;
    if (first == "BEGIN") {
      inBody = true;
      continue;
    }
    if (first == "END") break;
    if (!inBody) continue;
    if (IsStatement(first)) {
      std::string rest;
      std::getline(words, rest);
      controls.push_back({first, {}, number});
      rests.push_back(rest);
    } else if (!rests.empty()) {
      rests.back() += " " + line;
    }
  }
  for (std::size_t i = 0; i < controls.size(); ++i) controls[i].fields = SplitFields(rests[i]);
  return controls;
}

bool HasStyle(const std::vector<std::string>& fields, std::size_t from, const std::string& style) {
  for (std::size_t i = from; i < fields.size(); ++i) {
    std::istringstream words(fields[i]);
    std::string word;
    while (words >> word) {
      if (word == style) return true;
    }
  }
  return false;
}

ControlKind KindOf(const ScriptControl& c, std::size_t styles) {
  const auto& f = c.fields;
  if (c.statement == "GROUPBOX") return ControlKind::kGroup;
  if (c.statement == "CTEXT") return ControlKind::kCentredLabel;
  if (c.statement == "LTEXT") {
    return HasStyle(f, styles, "SS_CENTER") ? ControlKind::kCentredLabel : ControlKind::kLabel;
  }
  if (c.statement == "COMBOBOX") return ControlKind::kList;
  if (c.statement == "PUSHBUTTON" || c.statement == "DEFPUSHBUTTON") {
    return HasStyle(f, styles, "BS_MULTILINE") ? ControlKind::kWrappingButton : ControlKind::kButton;
  }
  EXPECT_EQ(c.statement, "EDITTEXT") << "line " << c.line;
  if (HasStyle(f, styles, "ES_MULTILINE")) {
    return HasStyle(f, styles, "ES_CENTER") ? ControlKind::kCentredReadOnlyText
                                            : ControlKind::kReadOnlyText;
  }
  return HasStyle(f, styles, "ES_READONLY") ? ControlKind::kReadOnlyEdit : ControlKind::kEdit;
}

TEST(DialogLayout, TheResourceScriptMatchesTheLayoutTableRowForRow) {
  const std::vector<ScriptControl> script =
      ReadDialogTemplate(CORVELLE_SOURCE_DIR "/src/app/win32/corvelle.rc");
  ASSERT_EQ(script.size(), std::size(kDialogControls));
  for (std::size_t i = 0; i < script.size(); ++i) {
    const ScriptControl& c = script[i];
    const DialogControl& row = kDialogControls[i];
    SCOPED_TRACE("corvelle.rc line " + std::to_string(c.line));
    // Statements with a text carry it first; fields and lists start with their id.
    const bool hasText = c.statement != "EDITTEXT" && c.statement != "COMBOBOX";
    const std::size_t idAt = hasText ? 1 : 0;
    ASSERT_GE(c.fields.size(), idAt + 5);
    EXPECT_EQ(hasText ? Unquote(c.fields[0]) : std::string(), row.text);
    const std::string name = c.fields[idAt] == "IDC_STATIC" ? "" : c.fields[idAt];
    EXPECT_EQ(name, row.name);
    const int place[4] = {row.x, row.y, row.width, row.height};
    for (int k = 0; k < 4; ++k) {
      EXPECT_EQ(std::stoi(c.fields[idAt + 1 + static_cast<std::size_t>(k)]), place[k])
          << "coordinate " << k;
    }
    EXPECT_EQ(static_cast<int>(KindOf(c, idAt + 5)), static_cast<int>(row.kind));
  }
}

TEST(DialogLayout, TheDialogHasTheTablesSizeAndTitle) {
  std::ifstream script(CORVELLE_SOURCE_DIR "/src/app/win32/corvelle.rc");
  std::string line;
  bool sized = false;
  bool titled = false;
  while (std::getline(script, line)) {
    if (line.rfind("IDD_MAIN DIALOGEX", 0) == 0) {
      sized = line.find("0, 0, " + std::to_string(kDialogWidth) + ", " +
                        std::to_string(kDialogHeight)) != std::string::npos;
    }
    if (line.rfind("CAPTION", 0) == 0) titled = line == "CAPTION CORVELLE_WINDOW_TITLE";
  }
  EXPECT_TRUE(sized);
  EXPECT_TRUE(titled) << "the title is written once, in dialog_layout.h";
}

}  // namespace
