// The main dialog's layout, written once in C++: every control and label with
// its identifier, kind, text and place in dialog units, in the template's
// order (which is also the Tab order), and which field each label names. The Qt window is built from this table;
// the Windows dialog comes from corvelle.rc, and a unit test holds the two
// together, row for row.
//
// The resource compiler reads this file too, for the title alone.
#ifndef CORVELLE_APP_DIALOG_LAYOUT_H
#define CORVELLE_APP_DIALOG_LAYOUT_H

#define CORVELLE_WINDOW_TITLE "Corvelle"

#ifndef RC_INVOKED

#include <string>

#include "view/control_ids.h"

// What a control is; each kind is one statement of the resource script with
// the styles that tell it apart.
enum class ControlKind {
  kGroup,                // GROUPBOX: a frame with a centred title
  kLabel,                // LTEXT; "\r" breaks the line
  kCentredLabel,         // CTEXT, or LTEXT with SS_CENTER
  kEdit,                 // EDITTEXT: one line, typed into
  kReadOnlyEdit,         // EDITTEXT with ES_READONLY: one line, shown only
  kReadOnlyText,         // EDITTEXT with ES_MULTILINE | ES_READONLY: several lines
  kCentredReadOnlyText,  // the same with ES_CENTER
  kList,                 // COMBOBOX with CBS_DROPDOWNLIST: no edit field
  kButton,               // PUSHBUTTON or DEFPUSHBUTTON
  kWrappingButton,       // a push button with BS_MULTILINE: its text wraps
};

struct DialogControl {
  ControlKind kind;
  int id;            // -1 for the labels and frames that no code addresses
  const char* name;  // the identifier's own name; empty for -1
  const char* text;  // the label's or button's text; empty for fields and lists
  int x, y, width, height;
  int labels = -1;   // for a label, the field or list it names
};

inline constexpr int kDialogWidth = 420;
inline constexpr int kDialogHeight = 319;

#define CORVELLE_CONTROL(kind, id, text, x, y, w, h) \
  { ControlKind::kind, id, #id, text, x, y, w, h }
#define CORVELLE_STATIC(kind, text, x, y, w, h) \
  { ControlKind::kind, -1, "", text, x, y, w, h }
#define CORVELLE_LABEL(kind, text, x, y, w, h, field) \
  { ControlKind::kind, -1, "", text, x, y, w, h, field }

inline constexpr DialogControl kDialogControls[] = {
    CORVELLE_STATIC(kCentredLabel, "", 128, 5, 124, 19),
    CORVELLE_LABEL(kLabel, "serial port", 8, 39, 44, 10, IDC_PORT_NAME),
    CORVELLE_CONTROL(kReadOnlyEdit, IDC_PORT_NAME, "", 54, 37, 50, 14),
    CORVELLE_CONTROL(kButton, IDC_CONNECT, "Connect", 109, 37, 50, 14),
    CORVELLE_LABEL(kLabel, " cold port\rtemperature", 2, 171, 44, 18, IDC_COLD_PORT_TEMP),
    CORVELLE_CONTROL(kEdit, IDC_COLD_PORT_TEMP, "", 47, 173, 38, 14),
    CORVELLE_CONTROL(kWrappingButton, IDC_READ_COLD_PORT, "read cold port", 88, 169, 45, 22),
    CORVELLE_CONTROL(kWrappingButton, IDC_CALIBRATE_COLD_PORT, "calibrate cold port", 134, 165,
                     49, 28),
    CORVELLE_LABEL(kCentredLabel, "message", 73, 202, 36, 10, IDC_MESSAGE),
    CORVELLE_CONTROL(kReadOnlyText, IDC_CHOICE, "", 9, 214, 170, 17),
    CORVELLE_CONTROL(kReadOnlyText, IDC_MESSAGE, "", 9, 231, 170, 17),
    CORVELLE_STATIC(kGroup, "set（type）", 193, 25, 217, 128),
    CORVELLE_LABEL(kLabel, "sensor\r type", 207, 38, 32, 18, IDC_SENSOR_TYPE),
    CORVELLE_CONTROL(kList, IDC_SENSOR_TYPE, "", 241, 39, 107, 70),
    CORVELLE_LABEL(kLabel, "output\r type", 207, 63, 32, 18, IDC_OUTPUT_TYPE),
    CORVELLE_CONTROL(kList, IDC_OUTPUT_TYPE, "", 241, 65, 107, 70),
    CORVELLE_LABEL(kLabel, "error output", 208, 86, 31, 18, IDC_ERROR_OUTPUT),
    CORVELLE_CONTROL(kList, IDC_ERROR_OUTPUT, "", 241, 88, 107, 70),
    CORVELLE_LABEL(kLabel, "input\r max", 209, 111, 30, 18, IDC_INPUT_MAX),
    CORVELLE_CONTROL(kEdit, IDC_INPUT_MAX, "", 241, 113, 102, 13),
    CORVELLE_STATIC(kLabel, "(integer mult\r iple of 10)", 345, 111, 62, 18),
    CORVELLE_LABEL(kLabel, "input\r min", 209, 132, 30, 18, IDC_INPUT_MIN),
    CORVELLE_CONTROL(kList, IDC_MIN_SIGN, "", 241, 136, 26, 48),
    CORVELLE_CONTROL(kEdit, IDC_INPUT_MIN, "", 267, 136, 77, 13),
    CORVELLE_STATIC(kLabel, "(integer mult\r iple of 10)", 346, 132, 62, 18),
    CORVELLE_CONTROL(kButton, IDOK, "set", 352, 44, 37, 52),
    CORVELLE_STATIC(kGroup, "Read current setting", 194, 158, 216, 99),
    CORVELLE_LABEL(kLabel, "sensor   type", 214, 179, 30, 18, IDC_READ_SENSOR),
    CORVELLE_CONTROL(kCentredReadOnlyText, IDC_READ_SENSOR, "", 246, 180, 118, 15),
    CORVELLE_LABEL(kLabel, "max", 198, 216, 18, 10, IDC_READ_MAX),
    CORVELLE_CONTROL(kReadOnlyText, IDC_READ_MAX_SIGN, "", 218, 208, 20, 23),
    CORVELLE_CONTROL(kReadOnlyText, IDC_READ_MAX, "", 240, 208, 31, 23),
    CORVELLE_LABEL(kLabel, "min", 296, 217, 18, 10, IDC_READ_MIN),
    CORVELLE_CONTROL(kReadOnlyText, IDC_READ_MIN_SIGN, "", 315, 208, 20, 23),
    CORVELLE_CONTROL(kReadOnlyText, IDC_READ_MIN, "", 337, 208, 30, 23),
    CORVELLE_CONTROL(kButton, IDC_READ_SETTING, "read 1", 265, 233, 52, 19),
};

#undef CORVELLE_CONTROL
#undef CORVELLE_STATIC
#undef CORVELLE_LABEL

// The controls without a label of their own, named after a labelled one
// ("input min sign") or on their own ("choice").
struct DerivedName {
  int id;
  int after;  // -1 when the word alone is the name
  const char* word;
};
inline constexpr DerivedName kDerivedNames[] = {
    {IDC_MIN_SIGN, IDC_INPUT_MIN, "sign"},
    {IDC_READ_MAX_SIGN, IDC_READ_MAX, "sign"},
    {IDC_READ_MIN_SIGN, IDC_READ_MIN, "sign"},
    {IDC_CHOICE, -1, "choice"},
};

// The name a screen reader gives field or list `id`: the text of its label
// read as one line (line breaks and runs of blanks become one blank), or the
// name it derives from another's. Empty for a control that has neither, such
// as a button, which goes by its own text.
inline std::string AccessibleName(int id) {
  for (const DialogControl& label : kDialogControls) {
    if (label.labels != id || id < 0) continue;
    std::string name;
    for (const char* c = label.text; *c != '\0'; ++c) {
      const bool blank = *c == ' ' || *c == '\r' || *c == '\n';
      if (!blank) {
        name += *c;
      } else if (!name.empty() && name.back() != ' ') {
        name += ' ';
      }
    }
    while (!name.empty() && name.back() == ' ') name.pop_back();
    return name;
  }
  for (const DerivedName& derived : kDerivedNames) {
    if (derived.id != id) continue;
    return derived.after < 0 ? derived.word : AccessibleName(derived.after) + " " + derived.word;
  }
  return "";
}

#endif  // RC_INVOKED
#endif
