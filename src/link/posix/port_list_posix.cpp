#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <tuple>

#include "link/posix/port_list.h"
#include "link/serial_port.h"
#include "protocol/number_text.h"

namespace fs = std::filesystem;

namespace {

// A tty class entry is a serial device when it has a device behind it. The
// 8250 driver registers placeholder ports with no UART; they report type 0.
bool IsRealSerialDevice(const fs::path& entry) {
  std::error_code ec;
  if (!fs::exists(entry / "device", ec)) return false;
  std::ifstream type(entry / "type");
  int value = -1;
  if (type >> value && value == 0) return false;
  return true;
}

// Whether `device` is a terminal, by the kernel's own list of terminal
// drivers and their device numbers. The device is not opened: opening a real
// serial port raises its modem lines.
bool IsTerminalDevice(dev_t device) {
  std::ifstream drivers("/proc/tty/drivers");
  std::string line;
  while (std::getline(drivers, line)) {
    // name, node, major, minor or minor range, type
    std::istringstream fields(line);
    std::string name, node, minors;
    unsigned driverMajor = 0;
    if (!(fields >> name >> node >> driverMajor >> minors)) continue;
    const auto dash = minors.find('-');
    const auto first = std::strtoul(minors.c_str(), nullptr, 10);
    const auto last =
        dash == std::string::npos ? first : std::strtoul(minors.c_str() + dash + 1, nullptr, 10);
    if (major(device) == driverMajor && minor(device) >= first && minor(device) <= last) {
      return true;
    }
  }
  return false;
}

// A published entry counts when it is a link of this user's (or root's) that
// leads to a terminal. `link` receives the link's own details.
bool IsTrustedEntry(const fs::path& entry, struct stat* link) {
  struct stat target {};
  if (lstat(entry.c_str(), link) != 0 || !S_ISLNK(link->st_mode)) return false;
  if (link->st_uid != getuid() && link->st_uid != 0) return false;
  if (stat(entry.c_str(), &target) != 0) return false;  // the terminal is gone
  return S_ISCHR(target.st_mode) && IsTerminalDevice(target.st_rdev);
}

bool ProcessIsAlive(const std::string& entryName) {
  const auto dash = entryName.rfind('-');
  if (dash == std::string::npos || dash + 1 == entryName.size()) return false;
  for (std::size_t i = dash + 1; i < entryName.size(); ++i) {
    if (!IsDecimalDigit(entryName[i])) return false;
  }
  const long pid = std::strtol(entryName.c_str() + dash + 1, nullptr, 10);
  if (pid <= 0) return false;
  return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

}  // namespace

bool NaturalLess(const std::string& a, const std::string& b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDecimalDigit(a[i]) && IsDecimalDigit(b[j])) {
      std::size_t ei = i, ej = j;
      while (ei < a.size() && IsDecimalDigit(a[ei])) ++ei;
      while (ej < b.size() && IsDecimalDigit(b[ej])) ++ej;
      std::string na = a.substr(i, ei - i), nb = b.substr(j, ej - j);
      na.erase(0, std::min(na.find_first_not_of('0'), na.size()));
      nb.erase(0, std::min(nb.find_first_not_of('0'), nb.size()));
      if (na.size() != nb.size()) return na.size() < nb.size();
      if (na != nb) return na < nb;
      i = ei;
      j = ej;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

std::vector<std::string> ListSerialPortsIn(const std::string& sysClassTty,
                                           const std::string& publishDir) {
  std::vector<std::string> devices;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(sysClassTty, ec)) {
    if (IsRealSerialDevice(entry.path())) devices.push_back(entry.path().filename().string());
  }
  std::sort(devices.begin(), devices.end(), NaturalLess);
  std::vector<std::string> ports;
  for (const auto& name : devices) ports.push_back("/dev/" + name);

  struct Published {
    long long seconds;
    long long nanoseconds;
    std::string name;
  };
  std::vector<Published> published;
  if (!IsPrivateFolder(publishDir)) return ports;
  for (const auto& entry : fs::directory_iterator(publishDir, ec)) {
    const std::string name = entry.path().filename().string();
    struct stat link {};
    if (!IsTrustedEntry(entry.path(), &link) || !ProcessIsAlive(name)) continue;
    published.push_back({static_cast<long long>(link.st_mtim.tv_sec),
                         static_cast<long long>(link.st_mtim.tv_nsec), name});
  }
  std::sort(published.begin(), published.end(), [](const Published& a, const Published& b) {
    return std::tie(a.seconds, a.nanoseconds) != std::tie(b.seconds, b.nanoseconds)
               ? std::tie(a.seconds, a.nanoseconds) < std::tie(b.seconds, b.nanoseconds)
               : NaturalLess(a.name, b.name);
  });
  for (const auto& p : published) ports.push_back((fs::path(publishDir) / p.name).string());
  return ports;
}

std::string PublishDir() {
  const char* dir = std::getenv("CORVELLE_PORT_DIR");
  if (dir != nullptr && dir[0] != '\0') return dir;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') return std::string(runtime) + "/corvelle-ports";
  return "/tmp/corvelle-ports-" + std::to_string(getuid());
}

bool IsPrivateFolder(const std::string& folder) {
  struct stat info {};
  return lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid() &&
         (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

std::string MakePrivateFolder(const std::string& folder) {
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    return folder + ": " + std::generic_category().message(errno);
  }
  if (!IsPrivateFolder(folder)) {
    return folder + " is not a folder of this user's that only this user can write to";
  }
  return std::string();
}

std::vector<std::string> ListSerialPorts() {
  return ListSerialPortsIn("/sys/class/tty", PublishDir());
}
