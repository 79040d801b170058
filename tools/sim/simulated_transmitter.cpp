#include "tools/sim/simulated_transmitter.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <system_error>

#include "tools/sim/publication.h"

namespace sim {
namespace {

// How long after the request that asked for it the device vanishes.
constexpr auto kVanishAfterRequest = std::chrono::milliseconds(20);

[[noreturn]] void ThrowErrno(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

SimulatedTransmitter::SimulatedTransmitter(SimOptions options)
    : options_(std::move(options)), model_(options_.replyDelayMs) {
  model_.SetBytePacing(options_.bytePacing);
  // A folder made here is the user's own: discovery trusts no other.
  if (mkdir(options_.linkDir.c_str(), 0700) != 0 && errno != EEXIST) ThrowErrno("mkdir");
  linkPath_ = PublishedPath(options_.linkDir, options_.name);
  int wake[2];
  if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) ThrowErrno("pipe2");
  wakeRead_ = wake[0];
  wakeWrite_ = wake[1];
  try {
    std::lock_guard lock(mutex_);
    OpenTerminal();
    Publish(linkPath_, terminalPath_);
  } catch (...) {
    std::lock_guard lock(mutex_);
    CloseTerminal();
    close(wakeRead_);
    close(wakeWrite_);
    throw;
  }
  thread_ = std::thread(&SimulatedTransmitter::Run, this);
}

SimulatedTransmitter::~SimulatedTransmitter() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  Wake();
  thread_.join();
  std::lock_guard lock(mutex_);
  CloseTerminal();
  ::unlink(linkPath_.c_str());
  close(wakeRead_);
  close(wakeWrite_);
}

void SimulatedTransmitter::OpenTerminal() {
  // On any failure nothing stays open, and the device counts as unplugged.
  auto fail = [this](const char* what) {
    const int error = errno;
    CloseTerminal();
    errno = error;
    ThrowErrno(what);
  };
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (master_ < 0) fail("posix_openpt");
  if (grantpt(master_) != 0 || unlockpt(master_) != 0) fail("unlockpt");
  char name[128];
  if (ptsname_r(master_, name, sizeof name) != 0) fail("ptsname_r");
  terminalPath_ = name;
  slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (slave_ < 0) fail("open terminal");
  // Until the program configures the line, pass bytes through untouched.
  termios t{};
  if (tcgetattr(slave_, &t) == 0) {
    cfmakeraw(&t);
    tcsetattr(slave_, TCSANOW, &t);
  }
  vanished_ = false;
}

void SimulatedTransmitter::CloseTerminal() {
  if (openings_ >= 0) close(openings_);
  if (slave_ >= 0) close(slave_);
  if (master_ >= 0) close(master_);
  openings_ = slave_ = master_ = -1;
  model_.ForgetLine();
}

void SimulatedTransmitter::Unplug(Clock::time_point returnAt) {
  if (vanished_) return;
  CloseTerminal();
  ::unlink(linkPath_.c_str());
  vanished_ = true;
  returnAt_ = returnAt;
}

std::string SimulatedTransmitter::TerminalPath() const {
  std::lock_guard lock(mutex_);
  return terminalPath_;
}

void SimulatedTransmitter::SetSettingReply(const std::array<std::uint8_t, 11>& reply) {
  std::lock_guard lock(mutex_);
  model_.SetSettingReply(reply);
}

void SimulatedTransmitter::SetColdPortTenths(int tenths) {
  std::lock_guard lock(mutex_);
  model_.SetColdPortTenths(tenths);
}

int SimulatedTransmitter::ColdPortTenths() const {
  std::lock_guard lock(mutex_);
  return model_.ColdPortTenths();
}

void SimulatedTransmitter::SetReplyDelay(int milliseconds, std::chrono::microseconds bytePacing) {
  std::lock_guard lock(mutex_);
  model_.SetReplyDelay(milliseconds);
  model_.SetBytePacing(bytePacing);
}

void SimulatedTransmitter::Misbehave(Misbehaviour what) {
  std::lock_guard lock(mutex_);
  model_.Misbehave(std::move(what));
}

void SimulatedTransmitter::Inject(const Bytes& bytes) {
  std::lock_guard lock(mutex_);
  if (master_ >= 0 && !bytes.empty()) {
    [[maybe_unused]] const ssize_t n = write(master_, bytes.data(), bytes.size());
  }
}

bool SimulatedTransmitter::NoiseWhenOpened(Bytes bytes, int delayMs, int everyMs, int untilMs) {
  {
    std::lock_guard lock(mutex_);
    if (openings_ < 0 && master_ >= 0) {
      openings_ = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
      if (openings_ >= 0 && inotify_add_watch(openings_, terminalPath_.c_str(), IN_OPEN) < 0) {
        close(openings_);
        openings_ = -1;
      }
    }
    if (openings_ < 0) return false;
    noise_ = std::move(bytes);
    noiseDelayMs_ = delayMs;
    noiseEveryMs_ = everyMs;
    noiseUntilMs_ = untilMs;
  }
  Wake();
  return true;
}

void SimulatedTransmitter::VanishFor(int milliseconds) {
  {
    std::lock_guard lock(mutex_);
    Unplug(Clock::now() + std::chrono::milliseconds(milliseconds));
  }
  Wake();
}

std::vector<ReceivedFrame> SimulatedTransmitter::Frames() const {
  std::lock_guard lock(mutex_);
  return model_.Frames();
}

std::vector<SentReply> SimulatedTransmitter::Replies() const {
  std::lock_guard lock(mutex_);
  return model_.Replies();
}

void SimulatedTransmitter::ClearRecords() {
  std::lock_guard lock(mutex_);
  model_.ClearRecords();
}

bool SimulatedTransmitter::WaitForFrames(std::size_t count,
                                         std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return framesChanged_.wait_for(lock, timeout, [&] { return model_.Frames().size() >= count; });
}

void SimulatedTransmitter::Wake() {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = write(wakeWrite_, &byte, 1);
}

void SimulatedTransmitter::Run() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    const auto now = Clock::now();
    // Send what is due, in order. Only what went onto the line counts as sent.
    for (DueReply& reply : model_.TakeDue(now)) {
      const ssize_t n = master_ >= 0 && !reply.bytes.empty()
                            ? write(master_, reply.bytes.data(), reply.bytes.size())
                            : 0;
      if (n > 0) {
        reply.bytes.resize(static_cast<std::size_t>(n));
        model_.RecordSent(Clock::now(), reply);
      }
    }
    if (unplugAt_ != Clock::time_point{} && now >= unplugAt_) {
      Unplug(now + std::chrono::milliseconds(unplugForMs_));
      unplugAt_ = {};
    }
    const std::size_t framesBefore = model_.Frames().size();
    model_.DropStalePartial(now);
    if (model_.Frames().size() != framesBefore) framesChanged_.notify_all();
    if (vanished_ && returnAt_ != Clock::time_point{} && now >= returnAt_) {
      try {
        OpenTerminal();
        Publish(linkPath_, terminalPath_);
        returnAt_ = {};
      } catch (const std::system_error&) {
        // Out of terminals for the moment: stay unplugged and try again.
        CloseTerminal();
        vanished_ = true;
        returnAt_ = now + std::chrono::milliseconds(100);
      }
    }

    auto wakeAt = now + std::chrono::seconds(1);
    if (const auto next = model_.NextDeadline()) wakeAt = std::min(wakeAt, *next);
    if (vanished_ && returnAt_ != Clock::time_point{}) wakeAt = std::min(wakeAt, returnAt_);
    if (unplugAt_ != Clock::time_point{}) wakeAt = std::min(wakeAt, unplugAt_);
    // To the microsecond: a quick device answers within a millisecond or two.
    const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::max(wakeAt - now, Clock::duration::zero()));
    const timespec timeout{static_cast<time_t>(wait.count() / 1000000000),
                           static_cast<long>(wait.count() % 1000000000)};

    pollfd p[3] = {{wakeRead_, POLLIN, 0}, {master_, POLLIN, 0}, {openings_, POLLIN, 0}};
    const nfds_t count = master_ >= 0 ? (openings_ >= 0 ? 3 : 2) : 1;
    lock.unlock();
    ppoll(p, count, &timeout, nullptr);
    lock.lock();
    if (count == 3 && openings_ == p[2].fd && (p[2].revents & POLLIN)) {
      // The terminal was opened: the noise goes out, and the watch ends.
      const auto at = Clock::now();
      for (int ms = noiseDelayMs_;; ms += noiseEveryMs_) {
        model_.SendUnasked(noise_, at + std::chrono::milliseconds(ms));
        if (noiseEveryMs_ <= 0 || ms + noiseEveryMs_ > noiseUntilMs_) break;
      }
      noise_.clear();
      close(openings_);
      openings_ = -1;
    }
    if (p[0].revents & POLLIN) {
      char drain[64];
      while (read(wakeRead_, drain, sizeof drain) > 0) {
      }
    }
    if (count == 2 && master_ == p[1].fd && (p[1].revents & POLLIN)) {
      std::uint8_t buffer[256];
      const ssize_t n = read(master_, buffer, sizeof buffer);
      if (n > 0) {
        const auto at = Clock::now();
        model_.TakeBytes(buffer, static_cast<std::size_t>(n), at);
        framesChanged_.notify_all();
        // A device pulled out as it takes a request: its request has left the
        // program well before, and a read waits for the answer.
        if (const auto vanish = model_.TakeVanish()) {
          unplugAt_ = at + kVanishAfterRequest;
          unplugForMs_ = *vanish;
        }
      }
    }
  }
}

}  // namespace sim
