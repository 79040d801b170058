#include "view/text_cut.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/text_cut_cases.h"

namespace {

// The cut a front end makes when it hands a control's text to the core.
TEST(CopyUtf8Cut, CutsBetweenCharactersAndNeverWritesPastTheBuffer) {
  for (const text_cut::Case& c : text_cut::kCases) {
    char buffer[300];
    std::memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(CopyUtf8Cut(c.text, buffer, c.size), std::string(c.text) == c.expected)
        << "whether '" << c.text << "' fits " << c.size << " bytes";
    EXPECT_STREQ(buffer, c.expected) << "'" << c.text << "' into " << c.size << " bytes";
    EXPECT_EQ(buffer[c.size], 'X') << "wrote past " << c.size << " bytes";
  }
  char untouched = 'X';
  CopyUtf8Cut("COM12", &untouched, 0);
  EXPECT_EQ(untouched, 'X') << "a buffer of no bytes was written";
}

}  // namespace
