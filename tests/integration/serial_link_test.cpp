// The link against a simulated transmitter on a real pseudo-terminal.
#include "link/serial_link.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <optional>
#include <thread>
#include <vector>

#include "link/linux/permission_advice.h"
#include "link/linux/port_holders.h"
#include "link/serial_port.h"
#include "ops/command_dispatch.h"
#include "ops/operation_state.h"
#include "ops/set_command.h"
#include "tests/support/process_counts.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/texts.h"
#include "view/control_ids.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing_sim::SimTest;
using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

const std::array<std::uint8_t, 11> kSetting = {0x42, 6, 0x04, 0xB0, 0x80, 0xC8, 1, 0, 0, 0, 0};

// Waits until the reply flag is raised.
bool WaitForReply(std::chrono::milliseconds timeout) {
  return testing_sim::WaitForFlag(replyArrived, 1, timeout);
}

// Opens with a reader for a reply of `kind` and sends the request.
void Request(PortHandle& port, DialogHandle dialog, ReplyKind kind, std::uint8_t letter) {
  ASSERT_TRUE(OpenPortWithReader(port, dialog, portName, kind));
  ASSERT_TRUE(SendFrame(dialog, &letter, 1, port));
}

// The first `count` bytes of the reply the opening's reader published, if any.
std::optional<Bytes> Taken(PortHandle& port, std::size_t count) {
  const std::optional<Reply> reply = port.TakeReply();
  if (!reply) return std::nullopt;
  return Bytes(reply->bytes.begin(), reply->bytes.begin() + static_cast<std::ptrdiff_t>(count));
}

class ReplyReaderTest : public SimTest {};

TEST_F(ReplyReaderTest, CompleteSettingReplyIsPublishedWithItsOpeningOnce) {
  device_->SetSettingReply(kSetting);
  OperationState.store(STATE_READ_SETTING);
  PortHandle port;
  Request(port, dialog(), ReplyKind::kSetting, 'B');
  ASSERT_TRUE(WaitForReply(1s));
  const std::optional<Reply> reply = port.TakeReply();
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(reply->kind, ReplyKind::kSetting);
  EXPECT_EQ(Bytes(reply->bytes.begin(), reply->bytes.end()),
            Bytes(kSetting.begin(), kSetting.end()));
  EXPECT_FALSE(port.TakeReply().has_value()) << "handed over once";
  EXPECT_EQ(OperationState.load(), STATE_READ_SETTING) << "the operations own the state";
  EXPECT_EQ(view_.TextsOf(IDC_MESSAGE), std::vector<std::string>{texts::kOpenSuccess});
  EXPECT_TRUE(view_.Tips().empty());
}

TEST_F(ReplyReaderTest, ColdPortReplyIsPublished) {
  device_->SetColdPortTenths(-52);
  PortHandle port;
  Request(port, dialog(), ReplyKind::kColdPort, 'E');
  ASSERT_TRUE(WaitForReply(1s));
  EXPECT_EQ(Taken(port, 2), (Bytes{0xFF, 0xCC}));
}

TEST_F(ReplyReaderTest, ExtraBytesAreLeftUnread) {
  device_->SetSettingReply(kSetting);
  device_->Misbehave({sim::Misbehaviour::kExtra, 2, 0, {}});
  PortHandle port;
  Request(port, dialog(), ReplyKind::kSetting, 'B');
  ASSERT_TRUE(WaitForReply(1s));
  EXPECT_EQ(Taken(port, 11), Bytes(kSetting.begin(), kSetting.end()));
  ASSERT_EQ(device_->Replies().size(), 1u);
  EXPECT_EQ(device_->Replies()[0].bytes.size(), 13u);
}

TEST_F(ReplyReaderTest, ShortOrMissingReplyNeverRaisesTheFlagAndCloseEndsTheReadAtOnce) {
  struct Case {
    sim::Misbehaviour what;
  };
  const Case cases[] = {{{sim::Misbehaviour::kShort, 10, 0, {}}},
                        {{sim::Misbehaviour::kSilent, 0, 0, {}}}};
  for (const auto& c : cases) {
    device_->Misbehave(c.what);
    view_.ClearEvents();
    PortHandle port;
    Request(port, dialog(), ReplyKind::kSetting, 'B');
    EXPECT_FALSE(WaitForReply(600ms));
    EXPECT_FALSE(port.TakeReply().has_value());
    // A raised flag shows whether the cancelled read still wrote to it.
    replyArrived.store(1);
    const auto start = Clock::now();
    port.Close();
    EXPECT_LT(Clock::now() - start, 200ms);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(replyArrived.load(), 1) << "the cancelled read published its failure";
    EXPECT_TRUE(view_.Tips().empty());
    EXPECT_EQ(view_.TextsOf(IDC_MESSAGE), std::vector<std::string>{texts::kOpenSuccess});
    replyArrived.store(0);
  }
}

// The read gives up 20 s plus 1 ms per requested byte after it started.
class ReadTimeOutTest : public ReplyReaderTest,
                        public ::testing::WithParamInterface<sim::Misbehaviour::Kind> {};

TEST_P(ReadTimeOutTest, IncompleteReplyTimesOutAfterTwentySecondsAndClearsTheFlag) {
  device_->Misbehave({GetParam(), 10, 0, {}});
  replyArrived.store(1);  // left over; the failed read must clear it
  PortHandle port;
  Request(port, dialog(), ReplyKind::kSetting, 'B');
  const auto sent = Clock::now();
  testing_sim::WaitForFlag(replyArrived, 0, 25s);
  const auto waited = Clock::now() - sent;
  EXPECT_GE(waited, 20000ms);
  EXPECT_LT(waited, 20011ms + 150ms);
  EXPECT_EQ(replyArrived.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(SilentOrShort, ReadTimeOutTest,
                         ::testing::Values(sim::Misbehaviour::kSilent, sim::Misbehaviour::kShort));

TEST_F(ReplyReaderTest, LateReplyAfterCloseChangesNothingOfTheNextOpening) {
  device_->SetSettingReply(kSetting);
  device_->Misbehave({sim::Misbehaviour::kLate, 0, 300, {}});
  {
    PortHandle port;
    Request(port, dialog(), ReplyKind::kSetting, 'B');
    std::this_thread::sleep_for(100ms);
    // Whatever a reader published after this, 1 or 0, would show.
    replyArrived.store(2);
  }  // closed before the reply comes
  const auto start = Clock::now();
  while (device_->Replies().empty() && Clock::now() - start < 1s) std::this_thread::sleep_for(5ms);
  ASSERT_EQ(device_->Replies().size(), 1u) << "the late reply went out";
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(replyArrived.load(), 2) << "the closed reader published something";
  replyArrived.store(0);

  // The next opening waits for a cold port reply that never comes; the late
  // setting reply still waiting on the line must not be taken for it.
  device_->Misbehave({sim::Misbehaviour::kSilent, 0, 0, {}});
  PortHandle next;
  Request(next, dialog(), ReplyKind::kColdPort, 'E');
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(replyArrived.load(), 0);
  EXPECT_FALSE(next.TakeReply().has_value());
}

TEST_F(ReplyReaderTest, BytesWaitingBeforeTheRequestAreDiscarded) {
  device_->SetSettingReply(kSetting);
  device_->Inject({0x11, 0x22, 0x33, 0x44, 0x55});
  std::this_thread::sleep_for(50ms);
  PortHandle port;
  Request(port, dialog(), ReplyKind::kSetting, 'B');
  ASSERT_TRUE(WaitForReply(1s));
  EXPECT_EQ(Taken(port, 11), Bytes(kSetting.begin(), kSetting.end()));
}

TEST_F(ReplyReaderTest, OpeningWithoutAReplyKindReadsNothingAndTouchesNoFlag) {
  // A complete setting reply arrives after the reader's purge. A reader that
  // read it anyway would raise the flag and publish it.
  PortHandle port;
  ASSERT_TRUE(OpenPortWithReader(port, dialog(), portName, ReplyKind::kNone));
  device_->Inject({0x42, 3, 3, 0xE8, 0, 0, 1, 0, 0, 0, 0});
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(replyArrived.load(), 0);
  EXPECT_FALSE(port.TakeReply().has_value());
}

class SendFrameTest : public SimTest {};

TEST_F(SendFrameTest, OneByteAndElevenByteFramesArriveIntact) {
  const Bytes frames[] = {{'B'}, {0x44, 3, 0x03, 0xE8, 0x00, 0x00, 0x01, 0, 0, 0, 0}};
  PortHandle port;
  ASSERT_TRUE(OpenPortForCommand(port, dialog()));
  for (const Bytes& frame : frames) {
    device_->SetReplyDelay(100000);  // keep the device quiet
    ASSERT_TRUE(SendFrame(dialog(), frame.data(), frame.size(), port));
  }
  ASSERT_TRUE(device_->WaitForFrames(2, 1s));
  const auto received = device_->Frames();
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0].bytes, frames[0]);
  EXPECT_EQ(received[1].bytes, frames[1]);
  EXPECT_TRUE(view_.Tips().empty());
}

TEST_F(SendFrameTest, ManyRequestsInARowAllGetTheirReplies) {
  device_->SetSettingReply(kSetting);
  for (int i = 0; i < 40; ++i) {
    replyArrived.store(0);
    PortHandle port;
    Request(port, dialog(), ReplyKind::kSetting, 'B');
    ASSERT_TRUE(WaitForReply(1s)) << "request " << i;
  }
}

class PortAccessTest : public SimTest {
 protected:
  // The line settings of the simulator's terminal as they stand.
  int GetTerminalSettings(termios* settings) const {
    const int fd = open(device_->TerminalPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    const int result = tcgetattr(fd, settings);
    close(fd);
    return result;
  }
};

TEST_F(PortAccessTest, MissingOrBusyPortShowsTheOpenFailureThenSendRefuses) {
  PortHandle holder;
  ASSERT_TRUE(OpenPortForCommand(holder, dialog()));
  const std::string busy = portName;
  const std::string missing = folder_ + "/no-such-port";
  for (const std::string& name : {missing, busy}) {
    view_.ClearEvents();
    PortHandle port;
    EXPECT_FALSE(OpenPortWithReader(port, dialog(), name.c_str(), ReplyKind::kSetting));
    EXPECT_FALSE(port.IsValid());
    const std::uint8_t letter = 'B';
    EXPECT_FALSE(SendFrame(dialog(), &letter, 1, port));
    const std::vector<std::string> expected = {texts::WithPort(texts::kOpenFailure, name),
                                               texts::kPortNotOpen};
    EXPECT_EQ(view_.Tips(), expected);
    EXPECT_TRUE(view_.TextsOf(IDC_MESSAGE).empty());
  }
}

TEST_F(PortAccessTest, ClosingGivesUpTheExclusiveClaim) {
  // The terminal stays open in the simulator, so a flag left behind would
  // lock every ordinary user out after the first opening.
  PortHandle port;
  ASSERT_TRUE(OpenPortForCommand(port, dialog()));
  EXPECT_TRUE(TerminalClaimed());
  port.Close();
  EXPECT_FALSE(TerminalClaimed());
}

// Whatever stands behind a port's name, only a terminal is opened: a file,
// folder, FIFO or other device is neither configured nor written to, and
// neither is the simulator's terminal through a link whose publisher has
// ended, or one named after a process that does not hold that terminal's
// other side. Even a link to a file published beside the simulator is not
// what discovery picks.
TEST_F(PortAccessTest, OnlyATerminalOpens) {
  const std::string file = folder_ + "/notes.txt";
  const std::string notes = "field notes, do not lose\n";
  std::ofstream(file) << notes;
  const std::string fifo = folder_ + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const auto linkNamedAfter = [&](const char* program, bool wait) {
    char* argv[] = {const_cast<char*>(program), const_cast<char*>("30"), nullptr};
    pid_t pid = -1;
    EXPECT_EQ(posix_spawnp(&pid, program, nullptr, nullptr, argv, environ), 0);
    if (wait) waitpid(pid, nullptr, 0);
    const std::string link = folder_ + "/sim-" + std::to_string(pid);
    fs::create_symlink(device_->TerminalPath(), link);
    return std::pair{link, pid};
  };
  const auto [ended, endedPid] = linkNamedAfter("true", true);
  const auto [other, otherPid] = linkNamedAfter("sleep", false);
  // Another program of the user's, a terminal program say, has the port open.
  posix_spawn_file_actions_t holding;
  posix_spawn_file_actions_init(&holding);
  posix_spawn_file_actions_addopen(&holding, 3, device_->TerminalPath().c_str(), O_RDWR | O_NOCTTY, 0);
  char* sleepArgv[] = {const_cast<char*>("sleep"), const_cast<char*>("30"), nullptr};
  pid_t holderPid = -1;
  ASSERT_EQ(posix_spawnp(&holderPid, "sleep", &holding, nullptr, sleepArgv, environ), 0);
  posix_spawn_file_actions_destroy(&holding);
  const std::string held = device_->PortPath();
  for (int i = 0; i < 100 && !FindOtherHolder(device_->TerminalPath(), 0, {}); ++i) {
    std::this_thread::sleep_for(10ms);  // until the child has it open
  }
  termios line{};
  ASSERT_EQ(GetTerminalSettings(&line), 0);
  const int before = testing_process::OpenDescriptors();
  for (const std::string& name :
       {file, folder_, fifo, std::string("/dev/null"), ended, other, held}) {
    SCOPED_TRACE(name);
    view_.ClearEvents();
    PortHandle port;
    EXPECT_FALSE(OpenPortWithReader(port, dialog(), name.c_str(), ReplyKind::kSetting));
    EXPECT_FALSE(port.IsValid());
    EXPECT_EQ(view_.Tips(), std::vector<std::string>{texts::WithPort(texts::kOpenFailure, name)});
    EXPECT_TRUE(view_.TextsOf(IDC_MESSAGE).empty());
  }
  EXPECT_EQ(testing_process::OpenDescriptors(), before);
  for (const pid_t pid : {otherPid, holderPid}) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  EXPECT_TRUE(FramesOnTheWire().empty());
  termios now{};
  ASSERT_EQ(GetTerminalSettings(&now), 0);
  EXPECT_EQ(std::memcmp(&line, &now, sizeof line), 0) << "the terminal was configured";

  fs::create_symlink(file, folder_ + "/x-" + std::to_string(getpid()));
  view_.ClearEvents();
  OnCommand(dialog(), IDC_CONNECT);
  EXPECT_EQ(view_.Text(IDC_PORT_NAME), device_->PortPath());
  testing_sim::UsePort(file);
  FillSetFields(3, 0, "1000", "0");
  view_.ClearEvents();
  RunCommand(IDOK);
  EXPECT_EQ(view_.Tips(), (std::vector<std::string>{texts::WithPort(texts::kOpenFailure, file), texts::kPortNotOpen}));
  EXPECT_EQ(view_.Text(IDC_MESSAGE), texts::kSetFail);
  std::ifstream in(file);
  const std::string after((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(after, notes);
}

// A UUCP lock file for the device holds it while the process it names runs,
// unless that is this process.
TEST_F(PortAccessTest, ALockFileHoldsThePortWhileItsProcessRuns) {
  const std::string node = device_->TerminalPath();
  const std::string lock = folder_ + "/LCK.." + fs::path(node).filename().string();
  pid_t ended = -1;
  char* argv[] = {const_cast<char*>("true"), nullptr};
  ASSERT_EQ(posix_spawnp(&ended, "true", nullptr, nullptr, argv, environ), 0);
  waitpid(ended, nullptr, 0);
  for (const auto& [pid, held] : {std::pair{getppid(), true}, {ended, false}, {getpid(), false}}) {
    std::ofstream(lock) << std::setw(10) << pid << "\n";
    const std::optional<PortHolder> holder = FindOtherHolder(node, 0, {folder_});
    EXPECT_EQ(holder ? holder->pid : 0, held ? pid : 0);
  }
}

// What the box adds when the system refused the user the device: join its
// group, or log in again after being added to it; nothing when neither helps.
TEST_F(PortAccessTest, ARefusedUserIsToldWhichGroupToJoin) {
  const std::string node = folder_ + "/ttyUSB0";
  std::ofstream(node).put('\0');
  struct stat info {};
  ASSERT_EQ(stat(node.c_str(), &info), 0);
  const std::string gid = std::to_string(info.st_gid);
  const auto said = [&](std::string text) {
    for (const auto& [word, value] :
         {std::pair{"DEVICE", fs::canonical(node).string()}, {"GROUP", "dialout"}, {"USER", "alice"}}) {
      for (auto at = text.find(word); at != std::string::npos; at = text.find(word)) {
        text.replace(at, std::strlen(word), value);
      }
    }
    return text;
  };
  struct Case {
    const char* members;
    gid_t primary;
    std::vector<gid_t> session;
    mode_t mode;
    std::string advice;
  };
  const Case cases[] = {
      {"bob", 4242, {4242}, 0660, said(texts::kJoinTheGroup)},
      {"bob,alice", 4242, {4242}, 0660, said(texts::kLogInAgain)},
      {"", info.st_gid, {4242}, 0660, said(texts::kLogInAgain)},  // its own group
      {"alice", 4242, {4242, info.st_gid}, 0660, ""},  // refused for another reason
      {"bob", 4242, {4242}, 0600, ""},                  // the group may not use it either
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.members);
    std::ofstream(folder_ + "/group") << "staff:x:4343:alice\ndialout:x:" << gid << ":" << c.members << "\n";
    ASSERT_EQ(chmod(node.c_str(), c.mode), 0);
    const UserGroups alice{"alice", c.primary, c.session, folder_ + "/group"};
    EXPECT_EQ(PermissionAdviceFor(node, alice), c.advice);
  }
}

TEST_F(PortAccessTest, VanishedDeviceEndsThePendingReadAsAFailure) {
  device_->Misbehave({sim::Misbehaviour::kVanish, 0, 300, {}});
  replyArrived.store(1);
  PortHandle port;
  Request(port, dialog(), ReplyKind::kSetting, 'B');
  EXPECT_TRUE(testing_sim::WaitForFlag(replyArrived, 0, 2s)) << "the failed read ends and clears the flag";
  port.Close();
  // Once the device is back the port works again under the same name.
  std::this_thread::sleep_for(400ms);
  device_->SetSettingReply(kSetting);
  PortHandle again;
  Request(again, dialog(), ReplyKind::kSetting, 'B');
  EXPECT_TRUE(WaitForReply(1s));
}

TEST_F(PortAccessTest, TwoHundredCyclesLeaveNoDescriptorOrThreadBehind) {
  device_->SetSettingReply(kSetting);
  const int fds = testing_process::OpenDescriptors();
  const int threads = testing_process::Threads();
  for (int i = 0; i < 200; ++i) {
    if (i % 3 == 0) device_->Misbehave({sim::Misbehaviour::kSilent, 0, 0, {}});
    replyArrived.store(0);
    PortHandle port;
    Request(port, dialog(), i % 2 ? ReplyKind::kSetting : ReplyKind::kColdPort, i % 2 ? 'B' : 'E');
    if (i % 3 != 0) {
      ASSERT_TRUE(WaitForReply(1s)) << "cycle " << i;
    }
  }
  EXPECT_EQ(testing_process::OpenDescriptors(), fds);
  EXPECT_EQ(testing_process::Threads(), threads);
}

}  // namespace
