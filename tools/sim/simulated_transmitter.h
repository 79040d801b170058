// A simulated temperature transmitter on a pseudo-terminal, for demos,
// training and tests. It answers 'B' with the 11-byte setting reply and 'E'
// with the 2-byte cold port reply after a short delay, applies 'D' and 'F'
// frames silently as a device would, records every frame it receives, and can
// be told to misbehave on the next requests.
//
// The port is reached through a symbolic link that stays put while the
// terminal behind it vanishes and comes back, like a USB adapter's stable
// device name. The link is named NAME-PID, which is how discovery recognises
// a published simulator and tells a dead one from a running one.
#ifndef CORVELLE_TOOLS_SIM_SIMULATED_TRANSMITTER_H
#define CORVELLE_TOOLS_SIM_SIMULATED_TRANSMITTER_H

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sim {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

// What to do with one request that expects a reply ('B' or 'E').
struct Misbehaviour {
  enum Kind {
    kSilent,   // no answer at all
    kShort,    // only the first `count` bytes of the reply
    kExtra,    // the reply followed by `count` extra bytes
    kLate,     // the reply after `delayMs` instead of the usual delay
    kGarbage,  // `bytes` instead of the reply
    kVanish,   // the terminal disappears for `delayMs`, then comes back
  };
  Kind kind;
  int count = 0;
  int delayMs = 0;
  Bytes bytes;
};

struct ReceivedFrame {
  Clock::time_point at;  // when its last byte came in
  Bytes bytes;
};

struct SentReply {
  Clock::time_point at;
  std::uint8_t request;  // 'B' or 'E'
  Bytes bytes;           // exactly what went onto the line
};

struct SimOptions {
  std::string linkDir;  // folder of the NAME-PID link; created (mode 0700) when missing
  std::string name = "sim";
  int replyDelayMs = 30;  // must leave room for the requester's purges
};

class SimulatedTransmitter {
 public:
  explicit SimulatedTransmitter(SimOptions options);
  ~SimulatedTransmitter();
  SimulatedTransmitter(const SimulatedTransmitter&) = delete;
  SimulatedTransmitter& operator=(const SimulatedTransmitter&) = delete;

  // The name to open: the stable link.
  const std::string& PortPath() const { return linkPath_; }
  // The terminal the link points at now (changes after a vanish).
  std::string TerminalPath() const;

  // The device's state, as the next 'B' and 'E' report it.
  void SetSettingReply(const std::array<std::uint8_t, 11>& reply);
  void SetColdPortTenths(int tenths);
  int ColdPortTenths() const;
  void SetReplyDelay(int milliseconds);

  // Queues misbehaviours; each applies to one later request that expects a reply.
  void Misbehave(Misbehaviour what);
  // Writes bytes onto the line now, unasked (noise before a request).
  void Inject(const Bytes& bytes);

  // Unplugs the device now: the terminal and the link go away, and come back
  // (as a new terminal under the same link) after `milliseconds`.
  void VanishFor(int milliseconds);

  std::vector<ReceivedFrame> Frames() const;
  std::vector<SentReply> Replies() const;
  void ClearRecords();
  // Waits until at least `count` frames have been received.
  bool WaitForFrames(std::size_t count, std::chrono::milliseconds timeout) const;

 private:
  struct PendingReply {
    Clock::time_point due;
    std::uint8_t request;
    Bytes bytes;
  };

  void OpenTerminal();                      // caller holds mutex_
  void CloseTerminal();                     // caller holds mutex_
  void PublishLink();                       // caller holds mutex_
  void Unplug(Clock::time_point returnAt);  // caller holds mutex_
  void Run();
  void HandleBytes(const std::uint8_t* bytes, std::size_t count, Clock::time_point now);
  void HandleFrame(const Bytes& frame, Clock::time_point now);
  void Wake();

  SimOptions options_;
  std::string linkPath_;
  mutable std::mutex mutex_;
  mutable std::condition_variable framesChanged_;
  int master_ = -1;
  int slave_ = -1;  // held open so the terminal survives the program closing it
  std::string terminalPath_;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  bool stopping_ = false;
  Clock::time_point returnAt_{};
  bool vanished_ = false;

  std::array<std::uint8_t, 11> setting_;
  int coldTenths_ = 250;
  int replyDelayMs_;
  std::deque<Misbehaviour> misbehaviours_;
  std::vector<PendingReply> pending_;
  Bytes partial_;
  Clock::time_point partialSince_{};
  std::vector<ReceivedFrame> frames_;
  std::vector<SentReply> replies_;
  std::thread thread_;
};

}  // namespace sim

#endif
