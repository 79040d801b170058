// corvelle-port-list-test: Windows discovery over a registry key of its own,
// run under Wine. Several ports are listed, two of them by values that cannot
// be read (data longer than any device name): those are passed over, the
// others keep their order, and the port chosen is the last readable one.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "link/port_discovery.h"
#include "link/win32/port_list.h"

int main() {
  const std::wstring path =
      L"Software\\CorvelleTestPorts-" + std::to_wstring(GetCurrentProcessId());
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    std::printf("cannot make the key\n");
    return 2;
  }
  const std::wstring tooLong(600, L'C');
  const std::pair<const wchar_t*, std::wstring> values[] = {
      {L"\\Device\\Serial0", L"COM3"},
      {L"\\Device\\Serial1", tooLong},
      {L"\\Device\\Serial2", L"COM5"},
      {L"\\Device\\Serial3", tooLong},
  };
  for (const auto& [name, data] : values) {
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  }
  RegCloseKey(key);

  const std::vector<std::string> listed = ListSerialPortsUnder(HKEY_CURRENT_USER, path.c_str());
  ChooseLastPort(listed);
  RegDeleteKeyW(HKEY_CURRENT_USER, path.c_str());

  std::string joined;
  for (const std::string& port : listed) joined += port + " ";
  const bool ok =
      listed == std::vector<std::string>{"COM3", "COM5"} && std::string(portName) == "COM5";
  std::printf("port list: listed %schose %s: %s\n", joined.c_str(), portName, ok ? "ok" : "FAIL");
  return ok ? 0 : 1;
}
