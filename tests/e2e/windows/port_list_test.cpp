// corvelle-port-list-test: Windows discovery over a registry key of its own,
// run under Wine, which lists a key's values in the order of their names.
// Values that cannot be read (data longer than any device name) and Bluetooth
// ports are passed over, last or in the middle, the others keep their order,
// and the port chosen is the last of them; with only Bluetooth ports listed,
// the previous choice stays.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "link/port_discovery.h"
#include "link/win32/port_list.h"

namespace {

using Values = std::vector<std::pair<const wchar_t*, std::wstring>>;

struct Case {
  const char* what;
  Values values;
  std::vector<std::string> listed;
  const char* chosen;  // with "COM1" chosen before
};

// Lists `values` under a key of this process's own, and chooses from them.
bool Passes(const Case& c) {
  const std::wstring path =
      L"Software\\CorvelleTestPorts-" + std::to_wstring(GetCurrentProcessId());
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    std::printf("%s: cannot make the key\n", c.what);
    return false;
  }
  for (const auto& [name, data] : c.values) {
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  }
  RegCloseKey(key);
  const std::vector<std::string> listed = ListSerialPortsUnder(HKEY_CURRENT_USER, path.c_str());
  std::strcpy(portName, "COM1");
  ChooseLastPort(listed);
  RegDeleteKeyW(HKEY_CURRENT_USER, path.c_str());

  std::string joined;
  for (const std::string& port : listed) joined += port + " ";
  const bool ok = listed == c.listed && std::string(portName) == c.chosen;
  std::printf("%s: listed %schose %s: %s\n", c.what, joined.c_str(), portName, ok ? "ok" : "FAIL");
  return ok;
}

}  // namespace

int main() {
  const std::wstring tooLong(600, L'C');
  const Case cases[] = {
      {"unreadable values",
       {{L"\\Device\\Serial0", L"COM3"},
        {L"\\Device\\Serial1", tooLong},
        {L"\\Device\\Serial2", L"COM5"},
        {L"\\Device\\Serial3", tooLong}},
       {"COM3", "COM5"},
       "COM5"},
      {"Bluetooth last",
       {{L"\\Device\\AmSerial0", L"COM3"}, {L"\\Device\\BthModem0", L"COM9"}},
       {"COM3"},
       "COM3"},
      {"Bluetooth in the middle",
       {{L"\\Device\\BthModem0", L"COM9"}, {L"\\Device\\VCP0", L"COM4"}},
       {"COM4"},
       "COM4"},
      {"only Bluetooth",
       {{L"\\Device\\BthModem0", L"COM9"}, {L"\\Device\\BthModem1", L"COM10"}},
       {},
       "COM1"},
  };
  bool ok = true;
  for (const Case& c : cases) ok = Passes(c) && ok;
  return ok ? 0 : 1;
}
