// Port discovery on Linux: real serial devices from sysfs, then the ports of
// running simulators.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "link/posix/port_list.h"
#include "link/port_discovery.h"
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
    fs::create_directories(pub_);
    fs::create_directories(root_ + "/devices/uart");
  }
  void TearDown() override { fs::remove_all(root_); }

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
};

TEST_F(DiscoveryTest, RealDevicesInNaturalOrderThenRunningSimulatorsOldestFirst) {
  AddTty("ttyS10", true, 4);
  AddTty("ttyS2", true, 4);
  AddTty("ttyS1", true, 0);  // a placeholder without a UART
  AddTty("ttyUSB0", true);
  AddTty("tty3", false);  // a virtual console
  const std::string self = std::to_string(getpid());
  Publish("late-" + self, "/dev/null", 2000);
  Publish("early-" + self, "/dev/null", 1000);
  Publish("dead-999999999", "/dev/null", 3000);           // its simulator is gone
  Publish("gone-" + self, root_ + "/no-terminal", 4000);  // its terminal is gone
  Publish("noname", "/dev/null", 5000);                   // not a simulator's entry

  const Names expected = {"/dev/ttyS2", "/dev/ttyS10", "/dev/ttyUSB0", pub_ + "/early-" + self,
                          pub_ + "/late-" + self};
  EXPECT_EQ(ListSerialPortsIn(sys_, pub_), expected);
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
