#include "link/posix/publish_folder.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// Whether only this user or root can change the entries of the folder `info`
// describes: theirs, and writable by no one else unless it is sticky (then
// others cannot remove or rename what is not theirs).
bool OnlyOwnOrRootCanChange(const struct stat& info) {
  if (!IsOwnOrRoots(info.st_uid)) return false;
  return (info.st_mode & (S_IWGRP | S_IWOTH)) == 0 || (info.st_mode & S_ISVTX) != 0;
}

// Whether every folder above `folder`, as written and as it really is, is
// safe from other users: otherwise one of them could swap the publication
// folder, or a link on the way to it, for one of their own.
bool FoldersAboveAreSafe(const std::string& folder) {
  std::error_code ec;
  fs::path written = fs::absolute(folder, ec).lexically_normal();
  if (ec) return false;
  if (!written.has_filename()) written = written.parent_path();
  const fs::path real = fs::canonical(written, ec);
  if (ec) return false;
  for (const fs::path& path : {written, real}) {
    for (fs::path above = path.parent_path();; above = above.parent_path()) {
      struct stat link {};
      struct stat info {};
      if (lstat(above.c_str(), &link) != 0 || stat(above.c_str(), &info) != 0) return false;
      if (S_ISLNK(link.st_mode) && !IsOwnOrRoots(link.st_uid)) return false;
      if (!OnlyOwnOrRootCanChange(info)) return false;
      if (above == above.parent_path()) break;
    }
  }
  return true;
}

// The process that published NAME-PID, while it runs as this user. A process
// of someone else's that happens to have that id does not count, nor does one
// that has ended but not yet been reaped, nor a thread: /proc answers for a
// thread's id too, with its process's descriptors, but a thread publishes
// nothing, and its id may be any task of the user's by now.
std::optional<std::string> RunningPublisher(const std::string& entryName) {
  const auto dash = entryName.rfind('-');
  if (dash == std::string::npos || dash + 1 == entryName.size()) return std::nullopt;
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
  return process;
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

bool IsLivePublishedPort(const std::string& entry, dev_t terminal) {
  const fs::path path(entry);
  struct stat link {};
  if (!IsPseudoTerminal(terminal) || !IsPrivateFolder(path.parent_path().string()) ||
      lstat(entry.c_str(), &link) != 0 || !S_ISLNK(link.st_mode) || !IsOwnOrRoots(link.st_uid)) {
    return false;
  }
  const std::optional<std::string> publisher = RunningPublisher(path.filename().string());
  return publisher && HoldsMasterOf(*publisher, PseudoTerminalIndex(terminal));
}

bool IsOwnOrRoots(uid_t owner) {
  return owner == getuid() || owner == 0;
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
         (info.st_mode & (S_IWGRP | S_IWOTH)) == 0 && FoldersAboveAreSafe(folder);
}
