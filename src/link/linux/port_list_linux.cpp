#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>

#include "link/linux/port_list.h"
#include "link/posix/per_system.h"
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

// Buses that carry serial ports: USB adapters (ttyUSB on usb-serial, ttyACM
// on usb), and the UARTs of PCs and boards (ttyS and the like on pnp, pci,
// platform or amba). A Bluetooth link (rfcomm), which any local user can bind
// to a device of their own, and ttys on any other bus are not serial hardware.
constexpr const char* kSerialBuses[] = {"usb-serial", "usb", "pnp", "pci", "platform", "amba"};

// The bus of the device behind a tty, looking through the serial core's own
// port devices (bus "serial-base", since Linux 6.5) to the device that carries
// them. Empty when the device hangs off a class or nothing at all.
std::string BusOf(fs::path device) {
  for (int depth = 0; depth < 4; ++depth) {
    std::error_code ec;
    const fs::path subsystem = fs::read_symlink(device / "subsystem", ec);
    if (ec || subsystem.parent_path().filename() != "bus") return "";
    if (subsystem.filename() != "serial-base") return subsystem.filename().string();
    device = fs::canonical(device, ec).parent_path();
    if (ec) return "";
  }
  return "";
}

// A tty class entry is serial hardware when the device behind it sits on a
// serial bus. The 8250 driver registers placeholder ports with no UART; they
// report type 0.
bool IsSerialHardware(const fs::path& entry) {
  const std::string bus = BusOf(entry / "device");
  if (std::find(std::begin(kSerialBuses), std::end(kSerialBuses), bus) == std::end(kSerialBuses)) {
    return false;
  }
  std::ifstream type(entry / "type");
  int value = -1;
  return !(type >> value && value == 0);
}

using Microseconds = std::int64_t;
constexpr Microseconds kLatest = std::numeric_limits<Microseconds>::max();
constexpr Microseconds kEarliest = std::numeric_limits<Microseconds>::min();

// A time beyond what microseconds can hold (only a hand-set stamp is) is the
// latest or the earliest there is.
Microseconds ToMicroseconds(const timespec& t) {
  constexpr auto kMaxSeconds = kLatest / 1000000 - 1;
  if (t.tv_sec > kMaxSeconds) return kLatest;
  if (t.tv_sec < -kMaxSeconds) return kEarliest;
  return static_cast<Microseconds>(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}

Microseconds Now(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return ToMicroseconds(t);
}

// The two clocks as one listing reads them, once, so that times moved from
// one to the other keep their order.
struct Clocks {
  Microseconds monotonic = Now(CLOCK_MONOTONIC);
  Microseconds wallAhead = Now(CLOCK_REALTIME) - monotonic;

  // A wall-clock time moved onto the monotonic clock, on which udev and the
  // simulators record when a port appeared.
  Microseconds OnMonotonic(const timespec& wallClock) const {
    Microseconds moved = 0;
    if (__builtin_sub_overflow(ToMicroseconds(wallClock), wallAhead, &moved)) {
      return wallAhead > 0 ? kEarliest : kLatest;
    }
    return moved;
  }
};

// When the system first saw tty `name`: udev's record of when it initialised
// the device (the "I:" line of its entry in `udevData`, microseconds on the
// monotonic clock), which only root writes and "change" events keep. Without
// such a record (no udev, as in a container) the change time of the node,
// which a "change" event or a mere touch renews.
Microseconds FirstSeen(const fs::path& entry, const std::string& udevData, const struct stat& node,
                       const Clocks& clocks) {
  std::ifstream numbers(entry / "dev");
  std::string device;
  if (numbers >> device) {
    std::ifstream record(fs::path(udevData) / ("c" + device));
    std::string line;
    while (std::getline(record, line)) {
      if (line.rfind("I:", 0) != 0) continue;
      char* end = nullptr;
      const long long usec = std::strtoll(line.c_str() + 2, &end, 10);
      if (end != line.c_str() + 2 && *end == '\0' && usec >= 0) return usec;
    }
  }
  return clocks.OnMonotonic(node.st_ctim);
}

// When a simulator published its port: it stamps its link with the monotonic
// clock. A link stamped by the wall clock instead (made by hand, or by an
// older simulator) is moved onto it. The two are told apart by size, not by
// the clock reading of this listing, which a simulator started a moment later
// has already passed: time since boot stays far below 10^9 s, time since 1970
// has long been above it.
Microseconds Published(const struct stat& link, const Clocks& clocks) {
  constexpr Microseconds kWallClockFrom = 1000000000LL * 1000000;
  const Microseconds stamp = ToMicroseconds(link.st_mtim);
  if (stamp == kLatest) return kLatest;
  return stamp >= kWallClockFrom ? clocks.OnMonotonic(link.st_mtim) : stamp;
}

// A port found by discovery, with the moment it appeared.
struct Candidate {
  Microseconds appeared;
  std::string name;
  std::string path;
};

bool AppearedEarlier(const Candidate& a, const Candidate& b) {
  if (a.appeared != b.appeared) return a.appeared < b.appeared;
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
                                           const std::string& devDir, const std::string& udevData,
                                           const std::string& publishDir) {
  const Clocks clocks;
  std::vector<Candidate> found;
  for (const std::string& name : EntriesOf(sysClassTty)) {
    const fs::path entry = fs::path(sysClassTty) / name;
    if (!IsSerialHardware(entry)) continue;
    const std::string node = (fs::path(devDir) / name).string();
    struct stat info {};
    if (stat(node.c_str(), &info) == 0)
      found.push_back({FirstSeen(entry, udevData, info, clocks), name, node});
  }
  if (IsPrivateFolder(publishDir)) {
    for (const std::string& name : EntriesOf(publishDir)) {
      const std::string entry = (fs::path(publishDir) / name).string();
      struct stat link {};
      struct stat terminal {};
      if (lstat(entry.c_str(), &link) == 0 && stat(entry.c_str(), &terminal) == 0 &&
          S_ISCHR(terminal.st_mode) && LivePublisherOf(entry, terminal.st_rdev) != 0) {
        found.push_back({Published(link, clocks), name, entry});
      }
    }
  }
  std::sort(found.begin(), found.end(), AppearedEarlier);
  std::vector<std::string> ports;
  for (const Candidate& c : found) ports.push_back(c.path);
  return ports;
}

std::vector<std::string> ListSerialPorts() {
  return ListSerialPortsIn("/sys/class/tty", "/dev", "/run/udev/data", PublishDir());
}
