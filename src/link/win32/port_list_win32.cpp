// Serial device discovery on Windows: the devices the system publishes under
// HKLM\Hardware\DeviceMap\SerialComm, one value per port with the device name
// (COM3 ...) as its data, in the registry's enumeration order. Bluetooth's
// serial ports (values named \Device\BthModemN) are passed over: opening one
// makes Windows call the paired phone or headset, which blocks the opening
// for up to 30 s or fails it, and no transmitter is ever behind one.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <iterator>
#include <string>
#include <vector>

#include "link/serial_port.h"
#include "link/win32/port_list.h"
#include "win32/wide_text.h"

namespace {

// Room for the value name and the data. Longer ones cannot be device names
// and are skipped like any other value that fails to enumerate.
constexpr DWORD kNameChars = 256;
constexpr DWORD kDataBytes = 512;
// A backstop for a registry that never reports the end of the list.
constexpr DWORD kMaxValues = 65536;
// The value names of Bluetooth's serial ports.
constexpr wchar_t kBluetoothPrefix[] = L"\\Device\\BthModem";

bool IsBluetoothPort(const wchar_t* valueName) {
  const std::size_t length = std::size(kBluetoothPrefix) - 1;
  return _wcsnicmp(valueName, kBluetoothPrefix, length) == 0;
}

// The data as text: REG_SZ data need not end in a NUL, and may hold one early.
std::string DataToUtf8(const BYTE* data, DWORD size) {
  const auto* text = reinterpret_cast<const wchar_t*>(data);
  std::size_t length = size / sizeof(wchar_t);
  for (std::size_t i = 0; i < length; ++i) {
    if (text[i] == L'\0') {
      length = i;
      break;
    }
  }
  return Utf8FromWide(text, static_cast<int>(length));
}

}  // namespace

std::vector<std::string> ListSerialPortsUnder(HKEY root, const wchar_t* path) {
  std::vector<std::string> ports;
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return ports;
  // Only the end of the list stops the walk: a value that cannot be read (too
  // long, or changed under us) is skipped and the next index is tried. A key
  // that has gone away fails for every index, so that ends it too.
  for (DWORD index = 0; index < kMaxValues; ++index) {
    wchar_t name[kNameChars];
    DWORD nameChars = kNameChars;
    alignas(wchar_t) BYTE data[kDataBytes];
    DWORD dataBytes = kDataBytes;
    const LSTATUS status =
        RegEnumValueW(key, index, name, &nameChars, nullptr, nullptr, data, &dataBytes);
    if (status == ERROR_NO_MORE_ITEMS || status == ERROR_INVALID_HANDLE ||
        status == ERROR_KEY_DELETED) {
      break;
    }
    if (status != ERROR_SUCCESS || IsBluetoothPort(name)) continue;
    ports.push_back(DataToUtf8(data, dataBytes));
  }
  RegCloseKey(key);
  return ports;
}

std::vector<std::string> ListSerialPorts() {
  return ListSerialPortsUnder(HKEY_LOCAL_MACHINE, L"Hardware\\DeviceMap\\SerialComm");
}
