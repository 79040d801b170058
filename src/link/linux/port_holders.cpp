// Holders of a device: UUCP lock files, and /proc for this user's processes.
#include "link/linux/port_holders.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

// The command name of process `pid`, as ps shows it.
std::string CommandOf(pid_t pid) {
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(comm, name);
  return name.empty() ? "?" : name;
}

bool IsAlive(pid_t pid) {
  return kill(pid, 0) == 0 || errno == EPERM;
}

// The process a lock file names: ten digits and a line break by the UUCP
// rule, or a binary number from older programs. 0 when it names none.
pid_t LockOwner(const std::string& path) {
  std::ifstream lock(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(lock)), std::istreambuf_iterator<char>());
  if (text.size() == sizeof(std::int32_t)) {
    std::int32_t binary = 0;
    std::memcpy(&binary, text.data(), sizeof binary);
    return binary > 0 ? binary : 0;
  }
  const auto digits = text.find_first_not_of(" \t");
  if (digits == std::string::npos || text[digits] < '0' || text[digits] > '9') return 0;
  long pid = 0;
  for (std::size_t i = digits; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    pid = pid * 10 + (text[i] - '0');
    if (pid > 0x3FFFFFFF) return 0;  // no process number is that large
  }
  return static_cast<pid_t>(pid);
}

// One entry of a folder as getdents64 hands it over.
struct FolderEntry {
  ino64_t inode;
  off64_t next;
  unsigned short size;
  unsigned char type;
  char name[];
};

// Whether the process whose /proc folder is `process` (a name in the folder
// `proc` is open on) runs as `user` and has a descriptor on `node`. The links
// are read, not followed, and compared by path: following them would stat
// every file the process has open, some on slow network shares, and would
// double the cost. Everything is reached from the folders already open, a
// folder's entries are read in one call, and nothing is allocated, which
// keeps the look at a few hundred processes within a few milliseconds.
bool HasOpen(int proc, const char* process, uid_t user, const std::string& node) {
  char path[32];
  std::snprintf(path, sizeof path, "%s/fd", process);
  const int fds = openat(proc, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fds < 0) return false;  // ended, or not ours to look at
  struct stat owner {};
  bool found = false;
  alignas(FolderEntry) char entries[16384];
  ssize_t got = 0;
  if (fstat(fds, &owner) == 0 && owner.st_uid == user) {
    while (!found && (got = getdents64(fds, entries, sizeof entries)) > 0) {
      for (ssize_t at = 0; !found && at < got;) {
        const auto* entry = reinterpret_cast<const FolderEntry*>(entries + at);
        at += entry->size;
        if (entry->name[0] == '.') continue;
        char target[256];
        const ssize_t n = readlinkat(fds, entry->name, target, sizeof target - 1);
        if (n <= 0) continue;
        target[n] = '\0';
        found = node == target;
      }
    }
  }
  close(fds);
  return found;
}

}  // namespace

std::optional<PortHolder> FindOtherHolder(const std::string& node, pid_t publisher,
                                          const std::vector<std::string>& lockFolders) {
  const pid_t self = getpid();
  const auto other = [&](pid_t pid) { return pid > 0 && pid != self && pid != publisher; };
  const std::string lockName = "LCK.." + node.substr(node.rfind('/') + 1);
  for (const std::string& folder : lockFolders) {
    const pid_t owner = LockOwner(folder + "/" + lockName);
    if (other(owner) && IsAlive(owner)) return PortHolder{owner, CommandOf(owner)};
  }
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return std::nullopt;
  const uid_t user = getuid();
  std::optional<PortHolder> holder;
  while (const dirent* entry = readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0' || !other(static_cast<pid_t>(pid))) continue;
    if (HasOpen(dirfd(proc), entry->d_name, user, node)) {
      holder = PortHolder{static_cast<pid_t>(pid), CommandOf(static_cast<pid_t>(pid))};
      break;
    }
  }
  closedir(proc);
  return holder;
}

std::optional<PortHolder> OtherHolderOf(int fd, pid_t publisher) {
  char node[256];
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t n = readlink(self.c_str(), node, sizeof node - 1);
  if (n <= 0) return std::nullopt;
  node[n] = '\0';
  return FindOtherHolder(node, publisher, kLockFolders);
}
