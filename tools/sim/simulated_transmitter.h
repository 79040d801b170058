// A simulated temperature transmitter on a pseudo-terminal, for demos,
// training and tests: the transmitter model (transmitter_model.h) behind a
// real terminal, served by a thread of its own, and published for discovery
// (publication.h). It can be told to misbehave on the next requests.
//
// The port is reached through a symbolic link that stays put while the
// terminal behind it vanishes and comes back, like a USB adapter's stable
// device name.
#ifndef CORVELLE_TOOLS_SIM_SIMULATED_TRANSMITTER_H
#define CORVELLE_TOOLS_SIM_SIMULATED_TRANSMITTER_H

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/sim/transmitter_model.h"

namespace sim {

struct SimOptions {
  std::string linkDir;  // folder of the NAME-PID link; created (mode 0700) when missing
  std::string name = "sim";
  int replyDelayMs = 30;
  // Zero sends each reply at once; else a byte every so long, as a line does
  // (kLinePace for 9600 baud).
  std::chrono::microseconds bytePacing{0};
};

// One byte's time on the 9600 baud line: ten bits, with start and stop bit.
inline constexpr std::chrono::microseconds kLinePace{1042};

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
  // How soon the device answers, and the pace of the reply's bytes (zero: all
  // at once).
  void SetReplyDelay(int milliseconds, std::chrono::microseconds bytePacing = {});

  // Queues misbehaviours; each applies to one later request that expects a reply.
  void Misbehave(Misbehaviour what);
  // Writes bytes onto the line now, unasked (noise before a request).
  void Inject(const Bytes& bytes);
  // Writes `bytes` onto the line `delayMs` after the port is next opened, as
  // noise when DTR rises, or stale bytes an adapter hands over late; with
  // `everyMs` above 0, again that often until `untilMs` after the opening, as
  // a line that chatters. Noise that went out is on record among the replies,
  // as a reply to request 0. False when openings cannot be watched for.
  bool NoiseWhenOpened(Bytes bytes, int delayMs, int everyMs = 0, int untilMs = 0);

  // Unplugs the device now: the terminal and the link go away, and come back
  // (as a new terminal under the same link) after `milliseconds`.
  void VanishFor(int milliseconds);

  std::vector<ReceivedFrame> Frames() const;
  std::vector<SentReply> Replies() const;
  void ClearRecords();
  // Waits until at least `count` frames have been received.
  bool WaitForFrames(std::size_t count, std::chrono::milliseconds timeout) const;

 private:
  void OpenTerminal();                      // caller holds mutex_
  void CloseTerminal();                     // caller holds mutex_
  void Unplug(Clock::time_point returnAt);  // caller holds mutex_
  void Run();
  void Wake();

  SimOptions options_;
  std::string linkPath_;
  mutable std::mutex mutex_;
  mutable std::condition_variable framesChanged_;
  TransmitterModel model_;
  int master_ = -1;
  int slave_ = -1;     // held open so the terminal survives the program closing it
  int openings_ = -1;  // readable when the terminal is opened, while noise waits for that
  Bytes noise_;
  int noiseDelayMs_ = 0;
  int noiseEveryMs_ = 0;
  int noiseUntilMs_ = 0;
  std::string terminalPath_;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  bool stopping_ = false;
  Clock::time_point returnAt_{};
  bool vanished_ = false;
  // A request asked the device to vanish: when, and for how long.
  Clock::time_point unplugAt_{};
  int unplugForMs_ = 0;
  std::thread thread_;
};

}  // namespace sim

#endif
