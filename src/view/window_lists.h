// The entries of the window's fixed lists, in the order every front end shows
// them. The sensor list's entries are the sensor catalogue's labels.
#ifndef CORVELLE_VIEW_WINDOW_LISTS_H
#define CORVELLE_VIEW_WINDOW_LISTS_H

#include <array>

// Shown but never read: the output type and error output do not enter the
// setting frame.
inline constexpr std::array<const char*, 2> kOutputTypeEntries = {"4-20mA", "0-20mA"};
inline constexpr std::array<const char*, 2> kErrorOutputEntries = {"HIGH", "LOW"};

// Index 0 is "+", index 1 is "-": the selection is the min's sign.
inline constexpr std::array<const char*, 2> kMinSignEntries = {"+", "-"};

#endif
