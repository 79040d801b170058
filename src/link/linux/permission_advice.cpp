#include "link/linux/permission_advice.h"

#include <grp.h>
#include <pwd.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <optional>

#include "link/posix/per_system.h"

namespace {

struct Group {
  std::string name;
  std::vector<std::string> members;
};

Group FromEntry(const group& entry) {
  Group found{entry.gr_name, {}};
  for (char** member = entry.gr_mem; member != nullptr && *member != nullptr; ++member) {
    found.members.push_back(*member);
  }
  return found;
}

// Group `gid` from `file` (group(5) lines), or from the system's database
// (files, LDAP, whatever the system is set up with) when `file` is empty.
std::optional<Group> LookUpGroup(gid_t gid, const std::string& file) {
  if (file.empty()) {
    group entry{};
    group* result = nullptr;
    std::vector<char> buffer(16384);
    if (getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &result) != 0 || result == nullptr) {
      return std::nullopt;
    }
    return FromEntry(entry);
  }
  FILE* stream = fopen(file.c_str(), "re");
  if (stream == nullptr) return std::nullopt;
  std::optional<Group> found;
  group entry{};
  group* result = nullptr;
  std::vector<char> buffer(16384);
  while (fgetgrent_r(stream, &entry, buffer.data(), buffer.size(), &result) == 0) {
    if (entry.gr_gid == gid) {
      found = FromEntry(entry);
      break;
    }
  }
  fclose(stream);
  return found;
}

}  // namespace

UserGroups ThisUser() {
  UserGroups user;
  passwd entry{};
  passwd* result = nullptr;
  std::vector<char> buffer(16384);
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 &&
      result != nullptr) {
    user.login = entry.pw_name;
    user.primary = entry.pw_gid;
  }
  const int count = getgroups(0, nullptr);
  if (count > 0) {
    user.session.resize(static_cast<std::size_t>(count));
    user.session.resize(static_cast<std::size_t>(std::max(getgroups(count, user.session.data()), 0)));
  }
  user.session.push_back(getegid());
  return user;
}

std::string PermissionAdviceFor(const std::string& name, const UserGroups& user) {
  char* real = realpath(name.c_str(), nullptr);
  const std::string device = real != nullptr ? real : name;
  free(real);
  struct stat node {};
  if (user.login.empty() || stat(device.c_str(), &node) != 0 ||
      (node.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) {
    return "";
  }
  const std::vector<gid_t>& session = user.session;
  if (std::find(session.begin(), session.end(), node.st_gid) != session.end()) return "";
  const std::optional<Group> group = LookUpGroup(node.st_gid, user.groupFile);
  if (!group) return "";
  const bool listed = user.primary == node.st_gid ||
                      std::find(group->members.begin(), group->members.end(), user.login) !=
                          group->members.end();
  if (listed) {
    return "you were added to the group " + group->name + " that owns " + device +
           ": log out and in again to use it";
  }
  return "you may not use " + device + ": it belongs to the group " + group->name +
         "; join it with sudo usermod -aG " + group->name + " " + user.login +
         ", then log in again";
}

std::string PermissionAdvice(const std::string& name) {
  return PermissionAdviceFor(name, ThisUser());
}
