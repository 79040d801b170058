#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "link/posix/port_list.h"
#include "link/posix/publish_folder.h"
#include "link/serial_port.h"
#include "protocol/number_text.h"

namespace fs = std::filesystem;

namespace {

// Every entry of `folder` by name; nothing when it cannot be listed, and what
// was read so far when the folder changes or vanishes while it is listed.
std::vector<std::string> EntriesOf(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  return names;
}

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
  if (!IsOwnOrRoots(link->st_uid)) return false;
  if (stat(entry.c_str(), &target) != 0) return false;  // the terminal is gone
  return S_ISCHR(target.st_mode) && IsTerminalDevice(target.st_rdev);
}

// Whether the simulator that published NAME-PID still runs as this user. A
// process of someone else's that happens to have that id does not count, nor
// does one that has ended but not yet been reaped.
bool PublisherIsRunning(const std::string& entryName) {
  const auto dash = entryName.rfind('-');
  if (dash == std::string::npos || dash + 1 == entryName.size()) return false;
  for (std::size_t i = dash + 1; i < entryName.size(); ++i) {
    if (!IsDecimalDigit(entryName[i])) return false;
  }
  const std::string process = "/proc/" + entryName.substr(dash + 1);
  struct stat info {};
  if (stat(process.c_str(), &info) != 0 || info.st_uid != getuid()) return false;
  // The state follows the command name, which is in parentheses and may
  // itself hold blanks and parentheses.
  std::ifstream statFile(process + "/stat");
  std::string fields((std::istreambuf_iterator<char>(statFile)), std::istreambuf_iterator<char>());
  const auto close = fields.rfind(')');
  if (close == std::string::npos || close + 2 >= fields.size()) return false;
  const char state = fields[close + 2];
  return state != 'Z' && state != 'X';
}

// A port found by discovery, with the moment it appeared.
struct Candidate {
  timespec appeared;
  std::string name;
  std::string path;
};

bool AppearedEarlier(const Candidate& a, const Candidate& b) {
  if (a.appeared.tv_sec != b.appeared.tv_sec) return a.appeared.tv_sec < b.appeared.tv_sec;
  if (a.appeared.tv_nsec != b.appeared.tv_nsec) return a.appeared.tv_nsec < b.appeared.tv_nsec;
  if (NaturalLess(a.name, b.name)) return true;
  if (NaturalLess(b.name, a.name)) return false;
  return a.path < b.path;
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
                                           const std::string& devDir,
                                           const std::string& publishDir) {
  std::vector<Candidate> found;
  for (const std::string& name : EntriesOf(sysClassTty)) {
    if (!IsRealSerialDevice(fs::path(sysClassTty) / name)) continue;
    const std::string node = (fs::path(devDir) / name).string();
    struct stat info {};
    if (stat(node.c_str(), &info) == 0) found.push_back({info.st_ctim, name, node});
  }
  if (IsPrivateFolder(publishDir)) {
    for (const std::string& name : EntriesOf(publishDir)) {
      const fs::path entry = fs::path(publishDir) / name;
      struct stat link {};
      if (IsTrustedEntry(entry, &link) && PublisherIsRunning(name)) {
        found.push_back({link.st_mtim, name, entry.string()});
      }
    }
  }
  std::sort(found.begin(), found.end(), AppearedEarlier);
  std::vector<std::string> ports;
  for (const Candidate& c : found) ports.push_back(c.path);
  return ports;
}

std::vector<std::string> ListSerialPorts() {
  return ListSerialPortsIn("/sys/class/tty", "/dev", PublishDir());
}
