// corvelle-driver: drives the Corvelle window from outside, the way a person
// would, for the end-to-end tests under Wine (tests/e2e). It reads one command
// per line on standard input and answers each with exactly one line on
// standard output,
// starting with "ok" or "fail" and prefixed with the seconds since the driver
// started. Commands never block on the program's UI thread for long: clicks
// are posted, and every message that needs an answer has a time-out, so a
// modal box on the program's side cannot hang the driver.
//
// Texts are UTF-8. In command arguments and answers, \r \n \\ and \xNN stand
// for the bytes they name; a TEXT argument is the rest of the line after one
// separating blank, so leading blanks are part of it.
//
//   launch PATH           start the program (PATH as typed, no escapes), wait
//                         for its window; t= is the time from process
//                         creation to the window showing
//   click ID              post BM_CLICK to a button (resets the clock)
//   poke ID               post BM_CLICK, leaving the clock alone (for clicks
//                         that are to be ignored while an operation runs)
//   command ID            post WM_COMMAND with ID to the dialog (resets the clock)
//   focus ID              give a control the focus, as Tab would
//   key VK                post a key press to the focused control (resets the clock)
//   settext ID TEXT       replace the text of an edit
//   select ID INDEX       choose a list entry (-1 clears the choice)
//   label ID              answer the text of the nearest static text before the
//                         control in the window order, passing over group boxes
//                         and other controls: the name a screen reader gives it
//   expect ID TEXT        fail unless the control shows TEXT
//   wait ID MIN MAX TEXT  wait until the control changes to TEXT (one that
//                         showed it when the clock was reset must show
//                         something else first);
//                         fail if that is sooner than MIN or later than MAX ms
//                         after the clock, or if a "tips" box shows up meanwhile
//   tips MAX TEXT         wait up to MAX ms for a "tips" box, check its text,
//                         press its OK button
//   notips MS             fail if a "tips" box shows up within MS ms
//   expectlist ID A|B|..  fail unless the list holds exactly these entries
//   cursel ID             answer the selected index of a list
//   rect                  answer the window's screen rectangle: x y width height
//   close                 post WM_CLOSE to the dialog (resets the clock)
//   exited MAX            wait up to MAX ms for the program to end; fail unless
//                         it ends with exit code 0
//   alive                 fail unless the program and its window still exist
//   kill                  end the program at once if it still runs
//   sleep MS
//   poll MS               look every MS ms while waiting (default 10)
//   quit                  answer ok and end
//
// The commands that reset the clock also note the text of every control just
// before they act, which is what "wait" compares with.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "app/dialog_layout.h"
#include "tests/support/driver_text.h"
#include "win32/wide_text.h"

namespace {

constexpr DWORD kMessageTimeoutMs = 5000;
// How often waits look again; "poll" changes it (the benchmark asks for 1 ms).
DWORD pollMs = 10;
const wchar_t kWindowTitle[] = L"" CORVELLE_WINDOW_TITLE;

LARGE_INTEGER frequency;
LARGE_INTEGER driverStart;
LARGE_INTEGER mark;

HWND dialog = nullptr;
HANDLE process = nullptr;
DWORD processId = 0;

// The controls' texts at the last reset of the clock.
std::map<int, std::string> textsAtMark;

double SecondsSince(const LARGE_INTEGER& from) {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart - from.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

long MsSinceMark() {
  return static_cast<long>(SecondsSince(mark) * 1000.0 + 0.5);
}

void ResetMark() {
  QueryPerformanceCounter(&mark);
}

// ---- text conversions -------------------------------------------------------

std::wstring Widen(const std::string& text) {
  return WideFromUtf8(text.c_str());
}

std::string Narrow(const std::wstring& wide) {
  return Utf8FromWide(wide.data(), static_cast<int>(wide.size()));
}

using driver_text::Escape;
using driver_text::Unescape;

// ---- answers ----------------------------------------------------------------

void Answer(bool ok, const std::string& detail) {
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "[%8.3f] ", SecondsSince(driverStart));
  const std::string line =
      std::string(stamp) + (ok ? "ok" : "fail") + (detail.empty() ? "" : " " + detail) + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written,
            nullptr);
}

std::string Ms(long ms) {
  return "t=" + std::to_string(ms) + "ms";
}

// ---- the program's windows --------------------------------------------------

bool SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* result) {
  DWORD_PTR value = 0;
  const LRESULT sent =
      SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, kMessageTimeoutMs, &value);
  if (result != nullptr) *result = value;
  return sent != 0;
}

bool ReadWindowText(HWND window, std::string* text) {
  DWORD_PTR length = 0;
  if (!SendWithTimeout(window, WM_GETTEXTLENGTH, 0, 0, &length)) return false;
  std::wstring wide(length + 2, L'\0');
  DWORD_PTR copied = 0;
  if (!SendWithTimeout(window, WM_GETTEXT, wide.size(), reinterpret_cast<LPARAM>(wide.data()),
                       &copied)) {
    return false;
  }
  wide.resize(copied);
  *text = Narrow(wide);
  return true;
}

bool ControlText(int id, std::string* text) {
  const HWND control = GetDlgItem(dialog, id);
  if (control == nullptr) return false;
  return ReadWindowText(control, text);
}

struct FindDialog {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK FindDialogProc(HWND window, LPARAM param) {
  auto* find = reinterpret_cast<FindDialog*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != find->processId || !IsWindowVisible(window)) return TRUE;
  wchar_t title[64] = {};
  GetWindowTextW(window, title, 64);
  if (std::wcscmp(title, kWindowTitle) != 0) return TRUE;
  find->found = window;
  return FALSE;
}

// A visible "tips" message box owned by the dialog, or null.
struct FindTips {
  HWND owner;
  HWND found;
};

BOOL CALLBACK FindTipsProc(HWND window, LPARAM param) {
  auto* find = reinterpret_cast<FindTips*>(param);
  if (!IsWindowVisible(window) || GetWindow(window, GW_OWNER) != find->owner) return TRUE;
  wchar_t className[32] = {};
  GetClassNameW(window, className, 32);
  wchar_t title[32] = {};
  GetWindowTextW(window, title, 32);
  if (std::wcscmp(className, L"#32770") != 0 || std::wcscmp(title, L"tips") != 0) return TRUE;
  find->found = window;
  return FALSE;
}

HWND TipsBox() {
  if (dialog == nullptr) return nullptr;
  FindTips find{dialog, nullptr};
  EnumWindows(FindTipsProc, reinterpret_cast<LPARAM>(&find));
  return find.found;
}

// The message text of a box: the static control that holds it (identifier
// 0xFFFF in the system's message box template), else any static with text.
std::string TipsText(HWND box) {
  std::string text;
  const HWND message = GetDlgItem(box, 0xFFFF);
  if (message != nullptr && ReadWindowText(message, &text) && !text.empty()) return text;
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t className[32] = {};
    GetClassNameW(child, className, 32);
    if (_wcsicmp(className, L"Static") == 0 && ReadWindowText(child, &text) && !text.empty()) {
      return text;
    }
  }
  return std::string();
}

void DismissTips(HWND box) {
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
  // Wait until it is gone, so that the next box found is a new one.
  for (int i = 0; i < 300 && IsWindow(box) && IsWindowVisible(box); ++i) Sleep(pollMs);
}

// ---- commands ---------------------------------------------------------------

struct Line {
  std::vector<std::string> words;  // leading words
  std::string rest;                // text after the words asked for, unescaped
  std::string raw;                 // the same text as typed
};

// Splits off `count` blank-separated words; the remainder after exactly one
// more blank is the text argument.
Line Split(const std::string& input, int count) {
  Line line;
  std::size_t at = 0;
  for (int i = 0; i < count; ++i) {
    while (at < input.size() && input[at] == ' ') ++at;
    if (at == input.size()) break;
    std::size_t end = input.find(' ', at);
    if (end == std::string::npos) end = input.size();
    line.words.push_back(input.substr(at, end - at));
    at = end;
  }
  if (at < input.size()) {
    line.raw = input.substr(at + 1);
    line.rest = Unescape(line.raw);
  }
  return line;
}

int Number(const std::string& word) {
  return static_cast<int>(std::strtol(word.c_str(), nullptr, 0));
}

bool NeedDialog() {
  if (dialog != nullptr && IsWindow(dialog)) return true;
  Answer(false, "no window");
  return false;
}

void Launch(const std::string& path) {
  std::wstring commandLine = L"\"" + Widen(path) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  LARGE_INTEGER started;
  // Under load Wine now and then loses a new process while it is still being
  // loaded (ERROR_INTERNAL_ERROR, before any of the program's code runs); that
  // says nothing of the program, so the start is tried again. Any other error,
  // or the same one three times, fails the launch.
  for (int attempt = 1;; ++attempt) {
    QueryPerformanceCounter(&started);
    if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &info)) {
      break;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_INTERNAL_ERROR || attempt == 3) {
      Answer(false, "cannot start, error " + std::to_string(error));
      return;
    }
    std::fprintf(stderr, "driver: the program did not load (error %lu), starting it again\n",
                 static_cast<unsigned long>(error));
    Sleep(200);
  }
  CloseHandle(info.hThread);
  if (process != nullptr) CloseHandle(process);
  process = info.hProcess;
  processId = info.dwProcessId;
  dialog = nullptr;
  for (int i = 0; i < 3000; ++i) {
    FindDialog find{processId, nullptr};
    EnumWindows(FindDialogProc, reinterpret_cast<LPARAM>(&find));
    if (find.found != nullptr) {
      dialog = find.found;
      const long ms = static_cast<long>(SecondsSince(started) * 1000.0 + 0.5);
      Answer(true, "pid=" + std::to_string(processId) + " " + Ms(ms));
      return;
    }
    if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0) break;
    Sleep(pollMs);
  }
  Answer(false, "no window appeared");
}

BOOL CALLBACK NoteTextProc(HWND control, LPARAM) {
  std::string text;
  if (ReadWindowText(control, &text)) textsAtMark[GetDlgCtrlID(control)] = text;
  return TRUE;
}

// Notes the controls' texts, then resets the clock; called right before an
// action is posted.
void MarkAction() {
  textsAtMark.clear();
  EnumChildWindows(dialog, NoteTextProc, 0);
  ResetMark();
}

void Click(int id, bool mark) {
  const HWND button = GetDlgItem(dialog, id);
  if (button == nullptr) return Answer(false, "no control " + std::to_string(id));
  if (mark) MarkAction();
  PostMessageW(button, BM_CLICK, 0, 0);
  Answer(true, "");
}

void Command(int id) {
  MarkAction();
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
  Answer(true, "");
}

// The dialog manager moves the focus itself, and with it the default button.
// The message is posted, as the dialog manager expects it, and the answer
// waits until the focus is there.
void Focus(int id) {
  const HWND control = GetDlgItem(dialog, id);
  if (control == nullptr) return Answer(false, "no control " + std::to_string(id));
  PostMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
  const DWORD thread = GetWindowThreadProcessId(dialog, nullptr);
  for (DWORD waited = 0; waited < kMessageTimeoutMs; waited += pollMs) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (GetGUIThreadInfo(thread, &info) && info.hwndFocus == control) return Answer(true, "");
    Sleep(pollMs);
  }
  Answer(false, "the focus did not move");
}

void Key(int virtualKey) {
  const DWORD thread = GetWindowThreadProcessId(dialog, nullptr);
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  HWND target = dialog;
  if (GetGUIThreadInfo(thread, &info) && info.hwndFocus != nullptr) target = info.hwndFocus;
  MarkAction();
  const UINT scan = MapVirtualKeyW(static_cast<UINT>(virtualKey), MAPVK_VK_TO_VSC);
  PostMessageW(target, WM_KEYDOWN, static_cast<WPARAM>(virtualKey), 1 | (scan << 16));
  PostMessageW(target, WM_KEYUP, static_cast<WPARAM>(virtualKey),
               1 | (scan << 16) | (1u << 30) | (1u << 31));
  Answer(true, "to " + std::to_string(GetDlgCtrlID(target)));
}

void SetText(int id, const std::string& text) {
  const HWND control = GetDlgItem(dialog, id);
  if (control == nullptr) return Answer(false, "no control " + std::to_string(id));
  const std::wstring wide = Widen(text);
  if (!SendWithTimeout(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()), nullptr)) {
    return Answer(false, "no answer");
  }
  Answer(true, "");
}

void Select(int id, int index) {
  const HWND list = GetDlgItem(dialog, id);
  if (list == nullptr) return Answer(false, "no control " + std::to_string(id));
  DWORD_PTR result = 0;
  if (!SendWithTimeout(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0, &result)) {
    return Answer(false, "no answer");
  }
  if (index >= 0 && static_cast<LRESULT>(result) != index) {
    return Answer(false, "no entry " + std::to_string(index));
  }
  Answer(true, "");
}

void Label(int id) {
  const HWND control = GetDlgItem(dialog, id);
  if (control == nullptr) return Answer(false, "no control " + std::to_string(id));
  for (HWND w = GetWindow(control, GW_HWNDPREV); w != nullptr; w = GetWindow(w, GW_HWNDPREV)) {
    wchar_t kind[32] = {};
    GetClassNameW(w, kind, 32);
    if (lstrcmpiW(kind, L"Static") != 0) continue;  // group boxes are buttons
    std::string text;
    if (!ReadWindowText(w, &text)) return Answer(false, "cannot read the label");
    return Answer(true, Escape(text));
  }
  Answer(false, "no label before " + std::to_string(id));
}

void Expect(int id, const std::string& wanted) {
  std::string text;
  if (!ControlText(id, &text)) return Answer(false, "cannot read " + std::to_string(id));
  if (text != wanted) return Answer(false, "shows '" + Escape(text) + "'");
  Answer(true, "");
}

void Wait(int id, long minMs, long maxMs, const std::string& wanted) {
  std::string text;
  // A control that already showed the text when the clock was reset must show
  // something else first, so that an earlier outcome is not taken for this one.
  const auto before = textsAtMark.find(id);
  bool seenOther = before == textsAtMark.end() || before->second != wanted;
  for (;;) {
    if (!ControlText(id, &text)) return Answer(false, "cannot read " + std::to_string(id));
    const long ms = MsSinceMark();
    if (text != wanted) {
      seenOther = true;
    } else if (seenOther) {
      if (ms < minMs) return Answer(false, "too soon, " + Ms(ms));
      return Answer(true, Ms(ms));
    }
    if (const HWND box = TipsBox()) {
      return Answer(false, "unexpected tips box '" + Escape(TipsText(box)) + "' " + Ms(ms));
    }
    if (ms > maxMs) return Answer(false, "still '" + Escape(text) + "' " + Ms(ms));
    Sleep(pollMs);
  }
}

void Tips(long maxMs, const std::string& wanted) {
  if (dialog == nullptr) return Answer(false, "no window");
  for (;;) {
    if (const HWND box = TipsBox()) {
      const long ms = MsSinceMark();
      const std::string text = TipsText(box);
      DismissTips(box);
      if (text != wanted) return Answer(false, "box says '" + Escape(text) + "' " + Ms(ms));
      return Answer(true, Ms(ms));
    }
    const long ms = MsSinceMark();
    if (ms > maxMs) return Answer(false, "no box " + Ms(ms));
    Sleep(pollMs);
  }
}

void NoTips(long forMs) {
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  while (SecondsSince(start) * 1000.0 < forMs) {
    if (const HWND box = TipsBox()) {
      const std::string text = TipsText(box);
      DismissTips(box);
      return Answer(false, "box '" + Escape(text) + "'");
    }
    Sleep(pollMs);
  }
  Answer(true, "");
}

bool ListEntries(int id, std::string* joined) {
  const HWND list = GetDlgItem(dialog, id);
  if (list == nullptr) return false;
  DWORD_PTR count = 0;
  if (!SendWithTimeout(list, CB_GETCOUNT, 0, 0, &count)) return false;
  joined->clear();
  for (DWORD_PTR i = 0; i < count; ++i) {
    DWORD_PTR length = 0;
    if (!SendWithTimeout(list, CB_GETLBTEXTLEN, i, 0, &length)) return false;
    std::wstring wide(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendWithTimeout(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(wide.data()), &copied)) {
      return false;
    }
    wide.resize(copied);
    if (i != 0) *joined += '|';
    *joined += Narrow(wide);
  }
  return true;
}

void ExpectList(int id, const std::string& wanted) {
  std::string joined;
  if (!ListEntries(id, &joined)) return Answer(false, "cannot read list " + std::to_string(id));
  if (joined != wanted) return Answer(false, "holds '" + Escape(joined) + "'");
  Answer(true, "");
}

void CurSel(int id) {
  const HWND list = GetDlgItem(dialog, id);
  DWORD_PTR index = 0;
  if (list == nullptr || !SendWithTimeout(list, CB_GETCURSEL, 0, 0, &index)) {
    return Answer(false, "cannot read list " + std::to_string(id));
  }
  Answer(true, std::to_string(static_cast<int>(static_cast<LRESULT>(index))));
}

void Rect() {
  RECT r{};
  GetWindowRect(dialog, &r);
  Answer(true, std::to_string(r.left) + " " + std::to_string(r.top) + " " +
                   std::to_string(r.right - r.left) + " " + std::to_string(r.bottom - r.top));
}

void Close() {
  // No texts are noted: the close must be posted even while the program's
  // UI thread is busy.
  ResetMark();
  PostMessageW(dialog, WM_CLOSE, 0, 0);
  Answer(true, "");
}

void Exited(long maxMs) {
  if (process == nullptr) return Answer(false, "not launched");
  const long waited = MsSinceMark();
  const DWORD left = maxMs > waited ? static_cast<DWORD>(maxMs - waited) : 0;
  if (WaitForSingleObject(process, left) != WAIT_OBJECT_0) {
    return Answer(false, "still running " + Ms(MsSinceMark()));
  }
  const long ms = MsSinceMark();
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%lX", static_cast<unsigned long>(code));
  dialog = nullptr;
  if (code != 0) return Answer(false, std::string("exit code ") + hex + " " + Ms(ms));
  Answer(true, "exit code 0 " + Ms(ms));
}

void Kill() {
  if (process != nullptr && WaitForSingleObject(process, 0) != WAIT_OBJECT_0) {
    TerminateProcess(process, 1);
    WaitForSingleObject(process, kMessageTimeoutMs);
  }
  dialog = nullptr;
  Answer(true, "");
}

void Alive() {
  if (process == nullptr || WaitForSingleObject(process, 0) == WAIT_OBJECT_0) {
    return Answer(false, "program has ended");
  }
  if (dialog == nullptr || !IsWindow(dialog) || !IsWindowVisible(dialog)) {
    return Answer(false, "window is gone");
  }
  Answer(true, "");
}

// What each command does with the words and text of its line. Those marked
// as needing the window answer "fail no window" without one.
struct Verb {
  const char* name;
  int words;  // the command word and its numbers; the rest is the text
  bool needsWindow;
  void (*run)(const Line& line);
};

int At(const Line& line, std::size_t i) {
  return Number(line.words.at(i));
}

const Verb kVerbs[] = {
    {"launch", 1, false, [](const Line& l) { Launch(l.raw); }},
    {"sleep", 2, false,
     [](const Line& l) {
       Sleep(static_cast<DWORD>(At(l, 1)));
       Answer(true, "");
     }},
    {"poll", 2, false,
     [](const Line& l) {
       pollMs = std::max<DWORD>(1, static_cast<DWORD>(At(l, 1)));
       Answer(true, "");
     }},
    {"exited", 2, false, [](const Line& l) { Exited(At(l, 1)); }},
    {"alive", 1, false, [](const Line&) { Alive(); }},
    {"kill", 1, false, [](const Line&) { Kill(); }},
    {"click", 2, true, [](const Line& l) { Click(At(l, 1), true); }},
    {"poke", 2, true, [](const Line& l) { Click(At(l, 1), false); }},
    {"command", 2, true, [](const Line& l) { Command(At(l, 1)); }},
    {"focus", 2, true, [](const Line& l) { Focus(At(l, 1)); }},
    {"key", 2, true, [](const Line& l) { Key(At(l, 1)); }},
    {"settext", 2, true, [](const Line& l) { SetText(At(l, 1), l.rest); }},
    {"select", 3, true, [](const Line& l) { Select(At(l, 1), At(l, 2)); }},
    {"label", 2, true, [](const Line& l) { Label(At(l, 1)); }},
    {"expect", 2, true, [](const Line& l) { Expect(At(l, 1), l.rest); }},
    {"wait", 4, true, [](const Line& l) { Wait(At(l, 1), At(l, 2), At(l, 3), l.rest); }},
    {"tips", 2, true, [](const Line& l) { Tips(At(l, 1), l.rest); }},
    {"notips", 2, true, [](const Line& l) { NoTips(At(l, 1)); }},
    {"expectlist", 2, true, [](const Line& l) { ExpectList(At(l, 1), l.rest); }},
    {"cursel", 2, true, [](const Line& l) { CurSel(At(l, 1)); }},
    {"rect", 1, true, [](const Line&) { Rect(); }},
    {"close", 1, true, [](const Line&) { Close(); }},
};

// Runs one command line; false once the driver is to end.
bool Run(const std::string& input) {
  const Line head = Split(input, 1);
  if (head.words.empty()) return true;
  if (head.words[0] == "quit") {
    Answer(true, "");
    return false;
  }
  for (const Verb& verb : kVerbs) {
    if (head.words[0] != verb.name) continue;
    if (!verb.needsWindow || NeedDialog()) verb.run(Split(input, verb.words));
    return true;
  }
  Answer(false, "unknown command '" + Escape(head.words[0]) + "'");
  return true;
}

}  // namespace

int main() {
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&driverStart);
  mark = driverStart;
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  std::string pending;
  char buffer[4096];
  for (;;) {
    std::size_t newline;
    while ((newline = pending.find('\n')) == std::string::npos) {
      DWORD got = 0;
      if (!ReadFile(input, buffer, sizeof buffer, &got, nullptr) || got == 0) return 0;
      pending.append(buffer, got);
    }
    std::string line = pending.substr(0, newline);
    pending.erase(0, newline + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    try {
      if (!Run(line)) return 0;
    } catch (const std::exception&) {
      Answer(false, "missing argument");
    }
  }
}
