// A text read back from a control into a buffer of a given size, and what the
// buffer must hold: the text cut between characters, never inside one, and
// terminated. Run natively against CopyUtf8Cut and on real Win32 controls
// under Wine.
#ifndef CORVELLE_TESTS_SUPPORT_TEXT_CUT_CASES_H
#define CORVELLE_TESTS_SUPPORT_TEXT_CUT_CASES_H

namespace text_cut {

struct Case {
  const char* text;
  int size;
  const char* expected;
};

inline constexpr Case kCases[] = {
    {"COM12", 256, "COM12"},
    {"COM12", 6, "COM12"},
    {"COM12", 5, "COM1"},
    {"COM12", 1, ""},
    {"sensor：K type TC\r\n", 256, "sensor：K type TC\r\n"},
    // "sensor" and the 3-byte full-width colon: 7 bytes of room keep only "sensor"
    {"sensor：K type TC\r\n", 8, "sensor"},
    {"sensor：K type TC\r\n", 10, "sensor："},
    {"。。。。", 13, "。。。。"},
    {"。。。。", 12, "。。。"},
    {"。。。。", 10, "。。。"},
    {"。。。。", 9, "。。"},
    {"。。。。", 3, ""},
    {"set（type）", 256, "set（type）"},
    // a character outside the basic plane: 4 UTF-8 bytes, a UTF-16 surrogate pair
    {"a\U0001F600b", 7, "a\U0001F600b"},
    {"a\U0001F600b", 6, "a\U0001F600"},
    {"a\U0001F600b", 5, "a"},
    {"a\U0001F600b", 2, "a"},
    {"\xC3\xA9t\xC3\xA9", 4, "\xC3\xA9t"},
    {"\xC3\xA9t\xC3\xA9", 3, "\xC3\xA9"},
    {"", 256, ""},
};

}  // namespace text_cut

#endif
