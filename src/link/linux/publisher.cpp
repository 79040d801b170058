// Which process published a simulator's port, asked of /proc: the link is
// named NAME-PID after its simulator, and that process must still run as this
// user and hold the other side of the very terminal the link leads to.
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <system_error>

#include "link/posix/per_system.h"
#include "link/posix/publish_folder.h"

namespace fs = std::filesystem;

namespace {

// The process that published NAME-PID, while it runs as this user. A process
// of someone else's that happens to have that id does not count, nor does one
// that has ended but not yet been reaped, nor a thread: /proc answers for a
// thread's id too, with its process's descriptors, but a thread publishes
// nothing, and its id may be any task of the user's by now.
std::optional<pid_t> RunningPublisher(const std::string& entryName) {
  const auto dash = entryName.rfind('-');
  if (dash == std::string::npos || dash + 1 == entryName.size() ||
      entryName.size() - dash > 10) {
    return std::nullopt;
  }
  for (std::size_t i = dash + 1; i < entryName.size(); ++i) {
    if (entryName[i] < '0' || entryName[i] > '9') return std::nullopt;
  }
  const std::string id = entryName.substr(dash + 1);
  const std::string process = "/proc/" + id;
  struct stat info {};
  if (stat(process.c_str(), &info) != 0 || info.st_uid != getuid()) return std::nullopt;
  // The kernel escapes line breaks in the command name, so each field is a
  // line of its own.
  std::ifstream status(process + "/status");
  std::string line;
  bool running = false;
  bool isProcess = false;
  while (std::getline(status, line)) {
    if (line.rfind("State:", 0) == 0) {
      const auto letter = line.find_first_not_of(" \t", 6);
      running = letter != std::string::npos && line[letter] != 'Z' && line[letter] != 'X';
    } else if (line.rfind("Tgid:", 0) == 0) {
      const auto digits = line.find_first_not_of(" \t", 5);
      isProcess = digits != std::string::npos && line.substr(digits) == id;
    }
  }
  if (!running || !isProcess) return std::nullopt;
  return static_cast<pid_t>(std::stol(id));
}

// The number N of /dev/pts/N: Unix98 terminal sides have majors 136 to 143,
// with the index in the minor and the low bits of the major above it.
unsigned long PseudoTerminalIndex(dev_t device) {
  return ((major(device) - 136UL) << 20) | minor(device);
}

// Whether `process` holds the master side (/dev/ptmx) of pseudo-terminal
// number `index`: the kernel names it as "tty-index" in the descriptor's info.
bool HoldsMasterOf(const std::string& process, unsigned long index) {
  std::error_code ec;
  for (fs::directory_iterator it(process + "/fd", ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    std::error_code linkError;
    if (fs::read_symlink(it->path(), linkError).filename() != "ptmx" || linkError) continue;
    std::ifstream info(process + "/fdinfo/" + it->path().filename().string());
    std::string key;
    unsigned long value = 0;
    while (info >> key) {
      if (key == "tty-index:" && info >> value) {
        if (value == index) return true;
        break;
      }
    }
  }
  return false;
}

}  // namespace

bool IsPseudoTerminal(dev_t device) {
  return major(device) >= 136 && major(device) <= 143;
}

pid_t LivePublisherOf(const std::string& entry, dev_t terminal) {
  const fs::path path(entry);
  struct stat link {};
  if (!IsPseudoTerminal(terminal) || !IsPrivateFolder(path.parent_path().string()) ||
      lstat(entry.c_str(), &link) != 0 || !S_ISLNK(link.st_mode) || !IsOwnOrRoots(link.st_uid)) {
    return 0;
  }
  const std::optional<pid_t> publisher = RunningPublisher(path.filename().string());
  if (!publisher || !HoldsMasterOf("/proc/" + std::to_string(*publisher),
                                   PseudoTerminalIndex(terminal))) {
    return 0;
  }
  return *publisher;
}
