// Port discovery on Linux: real serial devices from sysfs and the ports of
// running simulators, in the order they appeared.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "link/port_discovery.h"
#include "link/linux/port_list.h"
#include "link/posix/per_system.h"
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
    udev_ = root_ + "/udev";  // made by the first record
    fs::create_directories(sys_);
    fs::create_directories(dev_);
    ASSERT_EQ(mkdir(pub_.c_str(), 0700), 0);
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

  // A tty class entry with device number 188:N. `buses` names the buses of the
  // device behind it and of its parents, outermost first ("pnp,serial-base"
  // is a serial core port on a PNP device; "class/bluetooth" hangs off a
  // class); empty for no device. With `node`, its /dev node appears now; the
  // file system stamps change times by the clock tick, so the next one waits.
  // With `firstSeen` (microseconds on the monotonic clock), udev's record of
  // when it initialised the device.
  void AddTty(const std::string& name, const std::string& buses, int type = -1, bool node = true,
              long long firstSeen = -1) {
    const std::string entry = sys_ + "/" + name;
    fs::create_directories(entry);
    fs::path device = root_ + "/devices";
    std::istringstream chain(buses);
    for (std::string bus; std::getline(chain, bus, ',');) {
      device /= name + "-" + std::to_string(device.string().size());
      fs::create_directories(device);
      const std::string kind = bus.find('/') == std::string::npos ? "bus/" + bus : bus;
      fs::create_symlink("../../../" + kind, device / "subsystem");
    }
    if (!buses.empty()) fs::create_directory_symlink(device, entry + "/device");
    const std::string number = "188:" + std::to_string(++minor_);
    std::ofstream(entry + "/dev") << number << "\n";
    if (type >= 0) std::ofstream(entry + "/type") << type << "\n";
    if (firstSeen >= 0) {
      fs::create_directories(udev_);
      std::ofstream(udev_ + "/c" + number)
          << "S:serial/by-id/x\nI:" << firstSeen << "\nG:systemd\n";
    }
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

  Names List(const std::string& publishDir) const {
    return ListSerialPortsIn(sys_, dev_, udev_, publishDir);
  }
  Names List() const { return List(pub_); }

  std::string root_, sys_, dev_, pub_, udev_;
  int master_ = -1;
  int minor_ = 0;
  std::string terminal_;
};

// The port used is the one that appeared last: the adapter plugged in most
// recently, or a simulator started after it, whatever the names. Without
// udev's records (in a container) the nodes' change times tell, and links
// stamped by the wall clock are set beside them.
TEST_F(DiscoveryTest, PortsComeInTheOrderTheyAppearedTheNewestLast) {
  const std::string self = std::to_string(getpid());
  const long long now = static_cast<long long>(time(nullptr));
  // Another terminal, whose other side a process of this user's holds.
  const int otherMaster = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(otherMaster, 0);
  ASSERT_EQ(grantpt(otherMaster), 0);
  ASSERT_EQ(unlockpt(otherMaster), 0);
  const std::string otherTerminal = ptsname(otherMaster);
  struct Holder {
    pid_t pid = fork();
    ~Holder() {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  } holder;
  if (holder.pid == 0) {
    pause();
    _exit(0);
  }
  close(otherMaster);
  ASSERT_GT(holder.pid, 0);
  // A thread of this process: its id answers in /proc as if it were one.
  std::promise<pid_t> threadId;
  const std::jthread sleeper([&](std::stop_token stop) {
    threadId.set_value(gettid());
    while (!stop.stop_requested()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  });
  const std::string thread = std::to_string(threadId.get_future().get());
  Publish("early-" + self, terminal_, now - 3600);
  AddTty("ttyS0", "pnp,serial-base,serial-base", 4);       // built in, present since boot
  AddTty("ttyS1", "platform,serial-base,serial-base", 0);  // a placeholder without a UART
  AddTty("ttyUSB0", "usb,usb-serial");
  AddTty("tty3", "");                         // a virtual console
  AddTty("ttyUSB1", "usb-serial", -1, false);  // no node under /dev
  AddTty("rfcomm0", "usb,class/bluetooth");    // a Bluetooth link
  AddTty("ttyV0", "virtio");                   // on a bus that carries no serial ports
  AddTty("ttyAMA0", "amba");
  AddTty("ttyACM0", "usb");  // plugged in last
  Publish("late10-" + self, terminal_, now + 3600);
  Publish("late2-" + self, terminal_, now + 3600);              // same moment: natural order
  Publish("dead-999999999", terminal_, now + 7200);             // its simulator is gone
  Publish("gone-" + self, root_ + "/no-terminal", now + 7200);  // its terminal is gone
  Publish("noname", terminal_, now + 7200);                     // not a simulator's entry
  Publish("thread-" + thread, terminal_, now + 7200);           // a thread published nothing
  Publish("elsewhere-" + self, otherTerminal, now + 7200);      // its publisher holds another

  const Names expected = {pub_ + "/early-" + self, dev_ + "/ttyS0",   dev_ + "/ttyUSB0",
                          dev_ + "/ttyAMA0",       dev_ + "/ttyACM0", pub_ + "/late2-" + self,
                          pub_ + "/late10-" + self};
  EXPECT_EQ(List(), expected);

  // The built-in port's node changes (it was set up again): now it is the
  // newest device.
  ASSERT_EQ(chmod((dev_ + "/ttyS0").c_str(), 0600), 0);
  const Names after = {pub_ + "/early-" + self, dev_ + "/ttyUSB0", dev_ + "/ttyAMA0",
                       dev_ + "/ttyACM0",       dev_ + "/ttyS0",   pub_ + "/late2-" + self,
                       pub_ + "/late10-" + self};
  EXPECT_EQ(List(), after);
}

// With udev's records, a device counts from when udev first saw it: a node
// touched, or renewed by a "change" event, later changes nothing, and a
// simulator stamps its link on the same clock.
TEST_F(DiscoveryTest, UdevsFirstSightingOrdersTheDevicesNotTheirNodes) {
  const std::string self = std::to_string(getpid());
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const long long uptime = now.tv_sec * 1000000LL + now.tv_nsec / 1000;
  AddTty("ttyACM0", "usb", -1, true, uptime - 2000);  // plugged in last, though its node is oldest
  AddTty("ttyS0", "pnp,serial-base,serial-base", 4, true, 1000);
  AddTty("ttyUSB0", "usb-serial", -1, true, uptime - 5000);
  AddTty("rfcomm0", "class/bluetooth", -1, true, uptime - 10);
  const Names devices = {dev_ + "/ttyS0", dev_ + "/ttyUSB0", dev_ + "/ttyACM0"};
  EXPECT_EQ(List(), devices);

  ASSERT_EQ(utimensat(AT_FDCWD, (dev_ + "/ttyS0").c_str(), nullptr, 0), 0);  // touched
  ASSERT_EQ(chmod((dev_ + "/ttyUSB0").c_str(), 0600), 0);
  EXPECT_EQ(List(), devices);

  const auto stampedAt = [&](const std::string& entry, long long usec) {
    Publish(entry, terminal_, 0);
    const timespec times[2] = {{usec / 1000000, usec % 1000000 * 1000},
                               {usec / 1000000, usec % 1000000 * 1000}};
    utimensat(AT_FDCWD, (pub_ + "/" + entry).c_str(), times, AT_SYMLINK_NOFOLLOW);
  };
  stampedAt("before-" + self, uptime - 3000);  // started before the last adapter
  stampedAt("after-" + self, uptime - 1000);
  // Started a moment after this listing reads the clock: still the newest.
  stampedAt("justnow-" + self, uptime + 1000000);
  const Names all = {dev_ + "/ttyS0",   dev_ + "/ttyUSB0",       pub_ + "/before-" + self,
                     dev_ + "/ttyACM0", pub_ + "/after-" + self, pub_ + "/justnow-" + self};
  EXPECT_EQ(List(), all);
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
  const std::string none = root_ + "/none";
  EXPECT_TRUE(ListSerialPortsIn(none, none, none, none).empty());
}

// Only the terminal side of a Unix98 pseudo-terminal is a simulator's port:
// majors 136 to 143, every minor of them, nothing beside.
TEST(PseudoTerminal, IsOneOfTheUnix98TerminalMajors) {
  const std::pair<dev_t, bool> devices[] = {
      {makedev(136, 0), true},      {makedev(136, 1048575), true}, {makedev(143, 0), true},
      {makedev(143, 1048575), true}, {makedev(135, 1048575), false}, {makedev(144, 0), false},
      {makedev(128, 0), false},     {makedev(4, 64), false},       {makedev(188, 0), false}};
  for (const auto& [device, pseudo] : devices) {
    EXPECT_EQ(IsPseudoTerminal(device), pseudo) << major(device) << ":" << minor(device);
  }
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
