// Port discovery on Linux: real serial devices from sysfs, then the ports of
// running simulators.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include <filesystem>
#include <fstream>
#include <string>
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
    pub_ = root_ + "/pub";
    fs::create_directories(sys_);
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

  void AddTty(const std::string& name, bool withDevice, int type = -1) {
    fs::create_directories(sys_ + "/" + name);
    if (withDevice)
      fs::create_directory_symlink(root_ + "/devices/uart", sys_ + "/" + name + "/device");
    if (type >= 0) std::ofstream(sys_ + "/" + name + "/type") << type << "\n";
  }

  void Publish(const std::string& entry, const std::string& target, long long second) {
    const std::string path = pub_ + "/" + entry;
    fs::create_symlink(target, path);
    const timespec times[2] = {{second, 0}, {second, 0}};
    utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
  }

  std::string root_, sys_, pub_;
  int master_ = -1;
  std::string terminal_;
};

TEST_F(DiscoveryTest, RealDevicesInNaturalOrderThenRunningSimulatorsOldestFirst) {
  AddTty("ttyS10", true, 4);
  AddTty("ttyS2", true, 4);
  AddTty("ttyS1", true, 0);  // a placeholder without a UART
  AddTty("ttyUSB0", true);
  AddTty("tty3", false);  // a virtual console
  const std::string self = std::to_string(getpid());
  Publish("late-" + self, terminal_, 2000);
  Publish("early-" + self, terminal_, 1000);
  Publish("dead-999999999", terminal_, 3000);             // its simulator is gone
  Publish("gone-" + self, root_ + "/no-terminal", 4000);  // its terminal is gone
  Publish("noname", terminal_, 5000);                     // not a simulator's entry

  const Names expected = {"/dev/ttyS2", "/dev/ttyS10", "/dev/ttyUSB0", pub_ + "/early-" + self,
                          pub_ + "/late-" + self};
  EXPECT_EQ(ListSerialPortsIn(sys_, pub_), expected);
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
    bool otherOwner;
    bool listed;
  };
  const Case cases[] = {
      {"a link to a live terminal", terminal_, 0700, false, true},
      {"a link to a regular file", file, 0700, false, false},
      {"a link to a folder", root_, 0700, false, false},
      {"a link to a FIFO", fifo, 0700, false, false},
      {"a link to a device that is no terminal", "/dev/null", 0700, false, false},
      {"a group-writable folder", terminal_, 0770, false, false},
      {"a world-writable folder with the sticky bit", terminal_, 01777, false, false},
      {"a link owned by another user", terminal_, 0700, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.otherOwner && getuid() != 0) {
      std::printf("skipped: %s (only root can give a link to another user)\n", c.what);
      continue;
    }
    fs::remove(pub_ + "/" + entry);
    ASSERT_EQ(chmod(pub_.c_str(), c.folderMode), 0);
    Publish(entry, c.target, 1000);
    if (c.otherOwner) {
      ASSERT_EQ(lchown((pub_ + "/" + entry).c_str(), 4242, 4242), 0);
    }
    const Names listed = ListSerialPortsIn(sys_, pub_);
    EXPECT_EQ(!listed.empty(), c.listed);
  }

  // A publication folder that is itself a link leads elsewhere: not trusted.
  ASSERT_EQ(chmod(pub_.c_str(), 0700), 0);
  fs::remove(pub_ + "/" + entry);
  Publish(entry, terminal_, 1000);
  fs::create_directory_symlink(pub_, root_ + "/pub-link");
  EXPECT_EQ(ListSerialPortsIn(sys_, pub_).size(), 1u);
  EXPECT_TRUE(ListSerialPortsIn(sys_, root_ + "/pub-link").empty());
}

TEST_F(DiscoveryTest, MissingFoldersListNothing) {
  EXPECT_TRUE(ListSerialPortsIn(root_ + "/none", root_ + "/none").empty());
}

TEST(NaturalOrder, ComparesDigitRunsByValue) {
  EXPECT_TRUE(NaturalLess("ttyS2", "ttyS10"));
  EXPECT_FALSE(NaturalLess("ttyS10", "ttyS2"));
  EXPECT_TRUE(NaturalLess("ttyS9", "ttyUSB0"));
  EXPECT_TRUE(NaturalLess("ttyS", "ttyS0"));
  EXPECT_FALSE(NaturalLess("ttyS01", "ttyS1"));
  EXPECT_FALSE(NaturalLess("ttyS1", "ttyS01"));
}

TEST(ChooseLastPort, LastEntryWinsAndAnEmptyListKeepsThePreviousChoice) {
  testing_sim::UsePort("");
  ChooseLastPort({});
  EXPECT_STREQ(portName, "");
  ChooseLastPort({"/dev/ttyS0", "/dev/ttyUSB0", "/tmp/x/sim-1"});
  EXPECT_STREQ(portName, "/tmp/x/sim-1");
  ChooseLastPort({});
  EXPECT_STREQ(portName, "/tmp/x/sim-1");
  ChooseLastPort({std::string(300, 'a')});
  EXPECT_EQ(std::string(portName), std::string(255, 'a')) << "cut to the buffer, terminated";
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
