// Port discovery on Linux: real serial devices from sysfs and the ports of
// running simulators, in the order they appeared.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "link/port_discovery.h"
#include "link/posix/port_list.h"
#include "tests/support/sim_fixture.h"
#include "tools/sim/simulated_transmitter.h"

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

class DiscoveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = testing_sim::MakeTempFolder();
    sys_ = root_ + "/sys";
    dev_ = root_ + "/dev";
    pub_ = root_ + "/pub";
    fs::create_directories(sys_);
    fs::create_directories(dev_);
    ASSERT_EQ(mkdir(pub_.c_str(), 0700), 0);
    fs::create_directories(root_ + "/devices/uart");
    // A live terminal for published entries to lead to.
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master_, 0);
    ASSERT_EQ(grantpt(master_), 0);
    ASSERT_EQ(unlockpt(master_), 0);
    terminal_ = ptsname(master_);
  }
  void TearDown() override {
    close(master_);
    fs::remove_all(root_);
  }

  // A tty class entry; with `node`, its /dev node appears now. The file
  // system stamps change times by the clock tick, so the next one waits.
  void AddTty(const std::string& name, bool withDevice, int type = -1, bool node = true) {
    fs::create_directories(sys_ + "/" + name);
    if (withDevice)
      fs::create_directory_symlink(root_ + "/devices/uart", sys_ + "/" + name + "/device");
    if (type >= 0) std::ofstream(sys_ + "/" + name + "/type") << type << "\n";
    if (node) {
      std::ofstream(dev_ + "/" + name).put('\0');
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
  }

  // A published entry whose link dates from `second` (seconds since the epoch).
  void Publish(const std::string& entry, const std::string& target, long long second) {
    const std::string path = pub_ + "/" + entry;
    fs::create_symlink(target, path);
    const timespec times[2] = {{second, 0}, {second, 0}};
    utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
  }

  Names List(const std::string& publishDir) const { return ListSerialPortsIn(sys_, dev_, publishDir); }
  Names List() const { return List(pub_); }

  std::string root_, sys_, dev_, pub_;
  int master_ = -1;
  std::string terminal_;
};

// The port used is the one that appeared last: the adapter plugged in most
// recently, or a simulator started after it, whatever the names.
TEST_F(DiscoveryTest, PortsComeInTheOrderTheyAppearedTheNewestLast) {
  const std::string self = std::to_string(getpid());
  const long long now = static_cast<long long>(time(nullptr));
  Publish("early-" + self, terminal_, now - 3600);
  AddTty("ttyS0", true, 4);  // built in, present since boot
  AddTty("ttyS1", true, 0);  // a placeholder without a UART
  AddTty("ttyUSB0", true);
  AddTty("tty3", false);                // a virtual console
  AddTty("ttyUSB1", true, -1, false);   // no node under /dev
  AddTty("ttyACM0", true);              // plugged in last
  Publish("late10-" + self, terminal_, now + 3600);
  Publish("late2-" + self, terminal_, now + 3600);         // same moment: natural order
  Publish("dead-999999999", terminal_, now + 7200);         // its simulator is gone
  Publish("gone-" + self, root_ + "/no-terminal", now + 7200);  // its terminal is gone
  Publish("noname", terminal_, now + 7200);                 // not a simulator's entry

  const Names expected = {pub_ + "/early-" + self, dev_ + "/ttyS0",  dev_ + "/ttyUSB0",
                          dev_ + "/ttyACM0",       pub_ + "/late2-" + self,
                          pub_ + "/late10-" + self};
  EXPECT_EQ(List(), expected);

  // The built-in port's node changes (it was set up again): now it is the
  // newest device.
  ASSERT_EQ(chmod((dev_ + "/ttyS0").c_str(), 0600), 0);
  const Names after = {pub_ + "/early-" + self, dev_ + "/ttyUSB0",        dev_ + "/ttyACM0",
                       dev_ + "/ttyS0",         pub_ + "/late2-" + self, pub_ + "/late10-" + self};
  EXPECT_EQ(List(), after);
}

// What another user of the machine could leave for the program to find: only
// a link of this user's, in a folder only this user can write to, that leads
// to a terminal, is listed.
TEST_F(DiscoveryTest, OnlyThisUsersLinksToTerminalsInAPrivateFolderCount) {
  const std::string file = root_ + "/notes.txt";
  std::ofstream(file) << "field notes\n";
  const std::string fifo = root_ + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string entry = "sim-" + std::to_string(getpid());
  struct Case {
    const char* what;
    std::string target;
    mode_t folderMode;
    bool listed;
  };
  const Case cases[] = {
      {"a link to a live terminal", terminal_, 0700, true},
      {"a link to a regular file", file, 0700, false},
      {"a link to a folder", root_, 0700, false},
      {"a link to a FIFO", fifo, 0700, false},
      {"a link to a device that is no terminal", "/dev/null", 0700, false},
      {"a group-writable folder", terminal_, 0770, false},
      {"a world-writable folder with the sticky bit", terminal_, 01777, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(pub_ + "/" + entry);
    ASSERT_EQ(chmod(pub_.c_str(), c.folderMode), 0);
    Publish(entry, c.target, 1000);
    EXPECT_EQ(!List().empty(), c.listed);
  }

  // A publication folder that is itself a link leads elsewhere: not trusted.
  ASSERT_EQ(chmod(pub_.c_str(), 0700), 0);
  fs::remove(pub_ + "/" + entry);
  Publish(entry, terminal_, 1000);
  fs::create_directory_symlink(pub_, root_ + "/pub-link");
  EXPECT_EQ(List().size(), 1u);
  EXPECT_TRUE(List(root_ + "/pub-link").empty());

  // A folder above it that others may write to could have it swapped, unless
  // that folder is sticky.
  for (const auto& [mode, listed] : {std::pair{0777, false}, std::pair{01777, true}}) {
    ASSERT_EQ(chmod(root_.c_str(), static_cast<mode_t>(mode)), 0);
    EXPECT_EQ(List().size(), listed ? 1u : 0u) << std::oct << mode;
  }
  ASSERT_EQ(chmod(root_.c_str(), 0700), 0);
}

// Ownership can only be handed to another user by root.
TEST_F(DiscoveryTest, WhatAnotherUserOwnsDoesNotCount) {
  if (getuid() != 0) GTEST_SKIP() << "only root can give a link or a process to another user";
  constexpr uid_t kOther = 4242;
  const std::string mine = "sim-" + std::to_string(getpid());
  Publish(mine, terminal_, 1000);
  ASSERT_EQ(List().size(), 1u);

  ASSERT_EQ(lchown((pub_ + "/" + mine).c_str(), kOther, kOther), 0);
  EXPECT_TRUE(List().empty()) << "a link owned by another user";
  fs::remove(pub_ + "/" + mine);

  // A running process that is not this user's, with the id a link is named after.
  const pid_t other = fork();
  ASSERT_GE(other, 0);
  if (other == 0) {
    if (setgid(kOther) != 0 || setuid(kOther) != 0) _exit(1);
    pause();
    _exit(0);
  }
  const std::string process = "/proc/" + std::to_string(other);
  struct stat info {};
  for (int i = 0; i < 200 && (stat(process.c_str(), &info) != 0 || info.st_uid != kOther); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(info.st_uid, kOther);
  Publish("sim-" + std::to_string(other), terminal_, 1000);
  EXPECT_TRUE(List().empty()) << "a link named after another user's process";
  kill(other, SIGKILL);
  waitpid(other, nullptr, 0);

  // A folder above the publication folder that belongs to another user.
  Publish(mine, terminal_, 1000);
  ASSERT_EQ(List().size(), 1u);
  ASSERT_EQ(chown(root_.c_str(), kOther, kOther), 0);
  EXPECT_TRUE(List().empty()) << "a folder above owned by another user";
  ASSERT_EQ(chown(root_.c_str(), 0, 0), 0);
}

TEST_F(DiscoveryTest, MissingFoldersListNothing) {
  EXPECT_TRUE(ListSerialPortsIn(root_ + "/none", root_ + "/none", root_ + "/none").empty());
}

TEST(NaturalOrder, ComparesDigitRunsByValue) {
  EXPECT_TRUE(NaturalLess("ttyS2", "ttyS10"));
  EXPECT_FALSE(NaturalLess("ttyS10", "ttyS2"));
  EXPECT_TRUE(NaturalLess("ttyS9", "ttyUSB0"));
  EXPECT_TRUE(NaturalLess("ttyS", "ttyS0"));
  EXPECT_FALSE(NaturalLess("ttyS01", "ttyS1"));
  EXPECT_FALSE(NaturalLess("ttyS1", "ttyS01"));
}

TEST(ChooseLastPort, LastNameThatFitsWinsAndAnEmptyListKeepsThePreviousChoice) {
  testing_sim::UsePort("");
  ChooseLastPort({});
  EXPECT_STREQ(portName, "");
  ChooseLastPort({"/dev/ttyS0", "/dev/ttyUSB0", "/tmp/x/sim-1"});
  EXPECT_STREQ(portName, "/tmp/x/sim-1");
  ChooseLastPort({});
  EXPECT_STREQ(portName, "/tmp/x/sim-1");
  // A name cut to fit would open another device: it is passed over instead.
  ChooseLastPort({std::string(300, 'a')});
  EXPECT_STREQ(portName, "/tmp/x/sim-1");
  ChooseLastPort({"/dev/ttyS0", std::string(256, 'a'), std::string(255, 'b')});
  EXPECT_EQ(std::string(portName), std::string(255, 'b'));
  ChooseLastPort({"/dev/ttyS0", std::string(256, 'a')});
  EXPECT_STREQ(portName, "/dev/ttyS0");
}

TEST(FindSerialPort, FindsTheNewestPublishedSimulator) {
  const std::string folder = testing_sim::MakeTempFolder();
  setenv("CORVELLE_PORT_DIR", folder.c_str(), 1);
  sim::SimOptions options;
  options.linkDir = folder;
  options.name = "discovery-test";
  sim::SimulatedTransmitter device(options);
  testing_sim::UsePort("");
  FindSerialPort();
  EXPECT_EQ(std::string(portName), device.PortPath());
  unsetenv("CORVELLE_PORT_DIR");
}

}  // namespace
