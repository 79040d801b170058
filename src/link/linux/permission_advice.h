// What to tell a technician whom the system refused a serial device, split
// out so that a test can give the user's groups and the group database. On
// Linux a serial device belongs to a group (dialout on Debian and Ubuntu,
// uucp on Arch), and a user outside it, or added to it since they logged in,
// may not open it.
#ifndef CORVELLE_LINK_LINUX_PERMISSION_ADVICE_H
#define CORVELLE_LINK_LINUX_PERMISSION_ADVICE_H

#include <sys/types.h>

#include <string>
#include <vector>

// The user as the advice needs them.
struct UserGroups {
  std::string login;           // the login name
  gid_t primary = 0;           // the group of their account
  std::vector<gid_t> session;  // the groups this session has (getgroups)
  std::string groupFile;       // where groups are looked up; empty: the system's database
};

// This process's user.
UserGroups ThisUser();

// The line to add to the open-failure box for `name`, which the system
// refused `user`: "you may not use DEVICE: it belongs to the group GROUP; join
// it with sudo usermod -aG GROUP USER, then log in again" when the user is not
// in the group of the device's node, "you were added to the group GROUP that
// owns DEVICE: log out and in again to use it" when the group database lists
// them but the session lacks the group. DEVICE is the node's path. Empty when
// the node's group may not read and write it, the session has the group
// already, or the group or the user cannot be named.
std::string PermissionAdviceFor(const std::string& name, const UserGroups& user);

#endif
