// corvelle-view-test: the Win32 view operations on real controls, run on
// Windows or under Wine. Texts cross between the core's UTF-8 and the
// controls' UTF-16; reading one back into a small buffer must cut it between
// characters, never inside one, and always terminate it.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tests/support/text_cut_cases.h"
#include "view/view.h"

namespace {

constexpr int kEditId = 100;
constexpr int kListId = 101;

int failures = 0;
int checks = 0;

void Check(bool ok, const std::string& what) {
  ++checks;
  if (!ok) {
    ++failures;
    std::printf("FAIL %s\n", what.c_str());
  }
}

std::string Hex(const std::string& bytes) {
  std::string out;
  char b[4];
  for (unsigned char c : bytes) {
    std::snprintf(b, sizeof b, "%02X ", c);
    out += b;
  }
  return out;
}

}  // namespace

int main() {
  const HWND parent = CreateWindowExW(0, L"STATIC", L"view test", WS_OVERLAPPED, 0, 0, 200, 100,
                                      nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  const HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | ES_MULTILINE, 0, 0, 100, 20, parent,
                                    reinterpret_cast<HMENU>(kEditId), nullptr, nullptr);
  const HWND list = CreateWindowExW(0, L"COMBOBOX", L"", WS_CHILD | CBS_DROPDOWNLIST, 0, 0, 100, 80,
                                    parent, reinterpret_cast<HMENU>(kListId), nullptr, nullptr);
  if (parent == nullptr || edit == nullptr || list == nullptr) {
    std::printf("cannot create the controls\n");
    return 2;
  }
  DialogHandle dialog = parent;

  // Text in, then read back into a buffer of `size` bytes.
  for (const text_cut::Case& c : text_cut::kCases) {
    SetControlText(dialog, kEditId, c.text);
    char buffer[300];
    std::memset(buffer, 'X', sizeof buffer);
    const bool whole = GetControlText(dialog, kEditId, buffer, c.size);
    Check(whole == (std::string(c.text) == c.expected),
          "whether '" + std::string(c.text) + "' fits " + std::to_string(c.size) + " bytes");
    const std::string got(buffer);
    Check(got == c.expected && std::strlen(buffer) < static_cast<std::size_t>(c.size),
          "'" + std::string(c.text) + "' into " + std::to_string(c.size) + " bytes gave " +
              Hex(got) + "expected " + Hex(c.expected));
    Check(buffer[c.size] == 'X', "wrote past " + std::to_string(c.size) + " bytes");
  }

  // The UTF-16 the control holds is the text itself, not its bytes.
  SetControlText(dialog, kEditId, "黑体。");
  wchar_t wide[16] = {};
  GetWindowTextW(edit, wide, 16);
  Check(std::wcscmp(wide, L"\x9ED1\x4F53\x3002") == 0, "UTF-16 of the text");

  // A zero-size buffer is left alone; an unknown control reads as empty.
  char untouched[4] = {'X', 'X', 'X', 'X'};
  GetControlText(dialog, kEditId, untouched, 0);
  Check(untouched[0] == 'X', "zero-size buffer written");
  char unknown[8] = {'X'};
  GetControlText(dialog, 999, unknown, sizeof unknown);
  Check(unknown[0] == '\0', "unknown control not read as empty");

  // List selection: none, then the chosen index; an unknown control has none.
  SendMessageW(list, CB_INSERTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(L"+"));
  SendMessageW(list, CB_INSERTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(L"-"));
  Check(GetListSelection(dialog, kListId) == -1, "fresh list has a selection");
  SendMessageW(list, CB_SETCURSEL, 1, 0);
  Check(GetListSelection(dialog, kListId) == 1, "selection 1 not reported");
  Check(GetListSelection(dialog, 999) == -1, "unknown list has a selection");

  DestroyWindow(parent);
  std::printf("view: %d checks, %d failed\n", checks, failures);
  return failures == 0 ? 0 : 1;
}
