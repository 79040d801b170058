// The Windows dialog's resource script against the layout table the Linux
// window is built from: the same controls in the same order, each with the
// same identifier, kind, text and place. A change to one without the other
// fails here.
#include "app/dialog_layout.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

namespace {

const char kScript[] = CORVELLE_SOURCE_DIR "/src/app/win32/corvelle.rc";

std::string ReadScript() {
  std::ifstream in(kScript);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One control statement of IDD_MAIN, continuation lines joined: its keyword
// and its fields, split at the commas outside quoted texts.
struct Statement {
  std::string keyword;
  std::vector<std::string> fields;
};

std::vector<Statement> DialogStatements() {
  const std::string script = ReadScript();
  const auto begin = script.find("BEGIN", script.find("IDD_MAIN DIALOGEX"));
  std::string body = script.substr(begin + 5, script.find("\nEND", begin) - begin - 5);
  body = std::regex_replace(body, std::regex("//[^\n]*"), "");
  const std::regex keyword(
      R"(\b(LTEXT|CTEXT|RTEXT|EDITTEXT|PUSHBUTTON|DEFPUSHBUTTON|COMBOBOX|GROUPBOX|CONTROL)\s)");
  const std::regex field(R"re(\s*("(?:[^"]|"")*"|[^,]*?)\s*(,|$))re");
  std::vector<Statement> statements;
  std::vector<std::size_t> at, after;  // where each keyword stands, where its fields start
  for (auto it = std::sregex_iterator(body.begin(), body.end(), keyword);
       it != std::sregex_iterator(); ++it) {
    statements.push_back({(*it)[1], {}});
    at.push_back(static_cast<std::size_t>(it->position()));
    after.push_back(at.back() + static_cast<std::size_t>(it->length()));
  }
  for (std::size_t i = 0; i < statements.size(); ++i) {
    const std::size_t end = i + 1 < at.size() ? at[i + 1] : body.size();
    const std::string rest = body.substr(after[i], end - after[i]);
    for (auto it = std::sregex_iterator(rest.begin(), rest.end(), field);
         it != std::sregex_iterator() && it->length() > 0; ++it) {
      statements[i].fields.push_back((*it)[1]);
    }
  }
  return statements;
}

// A quoted text of the script as it reads: \r is a line break, "" a quote.
std::string Unquote(const std::string& field) {
  std::string text = std::regex_replace(field.substr(1, field.size() - 2), std::regex(R"(\\r)"), "\r");
  return std::regex_replace(text, std::regex("\"\""), "\"");
}

ControlKind KindOf(const std::string& keyword, const std::string& styles) {
  auto has = [&](const char* style) {
    return std::regex_search(styles, std::regex(std::string("\\b") + style + "\\b"));
  };
  if (keyword == "GROUPBOX") return ControlKind::kGroup;
  if (keyword == "CTEXT" || (keyword == "LTEXT" && has("SS_CENTER"))) {
    return ControlKind::kCentredLabel;
  }
  if (keyword == "LTEXT") return ControlKind::kLabel;
  if (keyword == "COMBOBOX") return ControlKind::kList;
  if (keyword == "PUSHBUTTON" || keyword == "DEFPUSHBUTTON") {
    return has("BS_MULTILINE") ? ControlKind::kWrappingButton : ControlKind::kButton;
  }
  EXPECT_EQ(keyword, "EDITTEXT");
  if (has("ES_MULTILINE")) {
    return has("ES_CENTER") ? ControlKind::kCentredReadOnlyText : ControlKind::kReadOnlyText;
  }
  return has("ES_READONLY") ? ControlKind::kReadOnlyEdit : ControlKind::kEdit;
}

TEST(DialogLayout, TheResourceScriptMatchesTheLayoutTableRowForRow) {
  const std::vector<Statement> script = DialogStatements();
  ASSERT_EQ(script.size(), std::size(kDialogControls));
  for (std::size_t i = 0; i < script.size(); ++i) {
    const Statement& s = script[i];
    const DialogControl& row = kDialogControls[i];
    SCOPED_TRACE("control " + std::to_string(i) + " of corvelle.rc, " + s.keyword);
    // Statements with a text carry it first; fields and lists start with their id.
    const bool hasText = s.keyword != "EDITTEXT" && s.keyword != "COMBOBOX";
    const std::size_t idAt = hasText ? 1 : 0;
    ASSERT_GE(s.fields.size(), idAt + 5);
    EXPECT_EQ(hasText ? Unquote(s.fields[0]) : std::string(), row.text);
    EXPECT_EQ(s.fields[idAt] == "IDC_STATIC" ? "" : s.fields[idAt], row.name);
    const int place[4] = {row.x, row.y, row.width, row.height};
    for (std::size_t k = 0; k < 4; ++k) EXPECT_EQ(std::stoi(s.fields[idAt + 1 + k]), place[k]);
    std::string styles;
    for (std::size_t k = idAt + 5; k < s.fields.size(); ++k) styles += s.fields[k] + " ";
    EXPECT_EQ(static_cast<int>(KindOf(s.keyword, styles)), static_cast<int>(row.kind));
  }
}

TEST(DialogLayout, TheDialogHasTheTablesSizeAndTitle) {
  const std::string script = ReadScript();
  EXPECT_NE(script.find("IDD_MAIN DIALOGEX 0, 0, " + std::to_string(kDialogWidth) + ", " +
                        std::to_string(kDialogHeight)),
            std::string::npos);
  EXPECT_NE(script.find("\nCAPTION CORVELLE_WINDOW_TITLE\n"), std::string::npos)
      << "the title is written once, in dialog_layout.h";
}

}  // namespace
