#include "link/posix/publish_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
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

}  // namespace

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
