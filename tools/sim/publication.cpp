#include "tools/sim/publication.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "link/posix/publish_folder.h"

namespace sim {

std::string MakePrivateFolder(const std::string& folder) {
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    return folder + ": " + std::generic_category().message(errno);
  }
  if (!IsPrivateFolder(folder)) {
    return folder +
           " is not a folder of this user's that only this user can write to, in folders that "
           "no other user can change";
  }
  return std::string();
}

std::string PublishedPath(const std::string& folder, const std::string& name) {
  return (std::filesystem::path(folder) / (name + "-" + std::to_string(getpid()))).string();
}

void Publish(const std::string& linkPath, const std::string& terminal) {
  const std::string temporary = linkPath + ".new";
  ::unlink(temporary.c_str());
  if (symlink(terminal.c_str(), temporary.c_str()) != 0) {
    throw std::system_error(errno, std::generic_category(), "symlink");
  }
  // Stamped with the monotonic clock, on which udev records when it first saw
  // a device, so that discovery can tell which came last whatever the wall
  // clock did in between.
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const timespec times[2] = {now, now};
  if (utimensat(AT_FDCWD, temporary.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    throw std::system_error(error, std::generic_category(), "utimensat");
  }
  if (rename(temporary.c_str(), linkPath.c_str()) != 0) {
    throw std::system_error(errno, std::generic_category(), "rename");
  }
}

}  // namespace sim
