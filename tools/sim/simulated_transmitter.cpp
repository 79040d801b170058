#include "tools/sim/simulated_transmitter.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace sim {
namespace {

// A frame that stops arriving half-way is dropped after this long.
constexpr auto kPartialFrameTimeout = std::chrono::milliseconds(300);

std::size_t FrameLength(std::uint8_t first) {
  switch (first) {
    case 'D':
      return 11;
    case 'F':
      return 4;
    default:
      return 1;  // 'B', 'E', and any byte the device does not know
  }
}

[[noreturn]] void ThrowErrno(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

SimulatedTransmitter::SimulatedTransmitter(SimOptions options)
    : options_(std::move(options)),
      setting_{0x42, 3, 0x03, 0xE8, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00},
      replyDelayMs_(options_.replyDelayMs) {
  // A folder made here is the user's own: discovery trusts no other.
  if (mkdir(options_.linkDir.c_str(), 0700) != 0 && errno != EEXIST) ThrowErrno("mkdir");
  linkPath_ =
      (std::filesystem::path(options_.linkDir) / (options_.name + "-" + std::to_string(getpid())))
          .string();
  int wake[2];
  if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) ThrowErrno("pipe2");
  wakeRead_ = wake[0];
  wakeWrite_ = wake[1];
  try {
    std::lock_guard lock(mutex_);
    OpenTerminal();
    PublishLink();
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
  if (slave_ >= 0) close(slave_);
  if (master_ >= 0) close(master_);
  slave_ = master_ = -1;
  pending_.clear();
  partial_.clear();
}

void SimulatedTransmitter::Unplug(Clock::time_point returnAt) {
  if (vanished_) return;
  CloseTerminal();
  ::unlink(linkPath_.c_str());
  vanished_ = true;
  returnAt_ = returnAt;
}

void SimulatedTransmitter::PublishLink() {
  // Replace the link in one step, so that it never dangles between terminals.
  const std::string temporary = linkPath_ + ".new";
  ::unlink(temporary.c_str());
  if (symlink(terminalPath_.c_str(), temporary.c_str()) != 0) ThrowErrno("symlink");
  if (rename(temporary.c_str(), linkPath_.c_str()) != 0) ThrowErrno("rename");
}

std::string SimulatedTransmitter::TerminalPath() const {
  std::lock_guard lock(mutex_);
  return terminalPath_;
}

void SimulatedTransmitter::SetSettingReply(const std::array<std::uint8_t, 11>& reply) {
  std::lock_guard lock(mutex_);
  setting_ = reply;
}

void SimulatedTransmitter::SetColdPortTenths(int tenths) {
  std::lock_guard lock(mutex_);
  coldTenths_ = tenths;
}

int SimulatedTransmitter::ColdPortTenths() const {
  std::lock_guard lock(mutex_);
  return coldTenths_;
}

void SimulatedTransmitter::SetReplyDelay(int milliseconds) {
  std::lock_guard lock(mutex_);
  replyDelayMs_ = milliseconds;
}

void SimulatedTransmitter::Misbehave(Misbehaviour what) {
  std::lock_guard lock(mutex_);
  misbehaviours_.push_back(std::move(what));
}

void SimulatedTransmitter::Inject(const Bytes& bytes) {
  std::lock_guard lock(mutex_);
  if (master_ >= 0 && !bytes.empty()) {
    [[maybe_unused]] const ssize_t n = write(master_, bytes.data(), bytes.size());
  }
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
  return frames_;
}

std::vector<SentReply> SimulatedTransmitter::Replies() const {
  std::lock_guard lock(mutex_);
  return replies_;
}

void SimulatedTransmitter::ClearRecords() {
  std::lock_guard lock(mutex_);
  frames_.clear();
  replies_.clear();
}

bool SimulatedTransmitter::WaitForFrames(std::size_t count,
                                         std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return framesChanged_.wait_for(lock, timeout, [&] { return frames_.size() >= count; });
}

void SimulatedTransmitter::Wake() {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = write(wakeWrite_, &byte, 1);
}

void SimulatedTransmitter::HandleFrame(const Bytes& frame, Clock::time_point now) {
  frames_.push_back({now, frame});
  framesChanged_.notify_all();
  const std::uint8_t letter = frame[0];
  if (letter == 'D' && frame.size() == 11) {
    // The device keeps the setting as the next read-back reports it.
    std::copy(frame.begin() + 1, frame.end(), setting_.begin() + 1);
    return;
  }
  if (letter == 'F' && frame.size() == 4) {
    coldTenths_ = static_cast<std::int16_t>((frame[1] << 8) | frame[2]);
    return;
  }
  if (letter != 'B' && letter != 'E') return;

  Bytes reply;
  if (letter == 'B') {
    reply.assign(setting_.begin(), setting_.end());
  } else {
    const auto word = static_cast<std::uint16_t>(coldTenths_);
    reply = {static_cast<std::uint8_t>(word >> 8), static_cast<std::uint8_t>(word & 0xFF)};
  }
  auto due = now + std::chrono::milliseconds(replyDelayMs_);
  if (!misbehaviours_.empty()) {
    const Misbehaviour m = misbehaviours_.front();
    misbehaviours_.pop_front();
    switch (m.kind) {
      case Misbehaviour::kSilent:
        return;
      case Misbehaviour::kShort:
        reply.resize(std::min(reply.size(), static_cast<std::size_t>(std::max(m.count, 0))));
        break;
      case Misbehaviour::kExtra:
        reply.insert(reply.end(), static_cast<std::size_t>(std::max(m.count, 0)), 0x55);
        break;
      case Misbehaviour::kLate:
        due = now + std::chrono::milliseconds(m.delayMs);
        break;
      case Misbehaviour::kGarbage:
        reply = m.bytes;
        break;
      case Misbehaviour::kVanish:
        Unplug(now + std::chrono::milliseconds(m.delayMs));
        return;
    }
  }
  pending_.push_back({due, letter, std::move(reply)});
}

void SimulatedTransmitter::HandleBytes(const std::uint8_t* bytes, std::size_t count,
                                       Clock::time_point now) {
  for (std::size_t i = 0; i < count; ++i) {
    if (partial_.empty()) partialSince_ = now;
    partial_.push_back(bytes[i]);
    if (partial_.size() == FrameLength(partial_[0])) {
      Bytes frame;
      frame.swap(partial_);
      HandleFrame(frame, now);
      if (master_ < 0) return;  // vanished while handling it
    }
  }
}

void SimulatedTransmitter::Run() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    const auto now = Clock::now();
    // Send what is due, in order.
    std::sort(pending_.begin(), pending_.end(),
              [](const PendingReply& a, const PendingReply& b) { return a.due < b.due; });
    while (!pending_.empty() && pending_.front().due <= now) {
      PendingReply reply = std::move(pending_.front());
      pending_.erase(pending_.begin());
      // Only what went onto the line counts as sent.
      const ssize_t n = master_ >= 0 && !reply.bytes.empty()
                            ? write(master_, reply.bytes.data(), reply.bytes.size())
                            : 0;
      if (n > 0) {
        reply.bytes.resize(static_cast<std::size_t>(n));
        replies_.push_back({Clock::now(), reply.request, std::move(reply.bytes)});
      }
    }
    if (!partial_.empty() && now - partialSince_ > kPartialFrameTimeout) {
      frames_.push_back({now, partial_});
      framesChanged_.notify_all();
      partial_.clear();
    }
    if (vanished_ && returnAt_ != Clock::time_point{} && now >= returnAt_) {
      try {
        OpenTerminal();
        PublishLink();
        returnAt_ = {};
      } catch (const std::system_error&) {
        // Out of terminals for the moment: stay unplugged and try again.
        CloseTerminal();
        vanished_ = true;
        returnAt_ = now + std::chrono::milliseconds(100);
      }
    }

    auto wakeAt = now + std::chrono::seconds(1);
    if (!pending_.empty()) wakeAt = std::min(wakeAt, pending_.front().due);
    if (!partial_.empty()) wakeAt = std::min(wakeAt, partialSince_ + kPartialFrameTimeout);
    if (vanished_ && returnAt_ != Clock::time_point{}) wakeAt = std::min(wakeAt, returnAt_);
    const auto waitMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(wakeAt - now).count() + 1;

    pollfd p[2] = {{wakeRead_, POLLIN, 0}, {master_, POLLIN, 0}};
    const nfds_t count = master_ >= 0 ? 2 : 1;
    lock.unlock();
    poll(p, count, static_cast<int>(std::max<long long>(waitMs, 0)));
    lock.lock();
    if (p[0].revents & POLLIN) {
      char drain[64];
      while (read(wakeRead_, drain, sizeof drain) > 0) {
      }
    }
    if (count == 2 && master_ == p[1].fd && (p[1].revents & POLLIN)) {
      std::uint8_t buffer[256];
      const ssize_t n = read(master_, buffer, sizeof buffer);
      if (n > 0) HandleBytes(buffer, static_cast<std::size_t>(n), Clock::now());
    }
  }
}

}  // namespace sim
