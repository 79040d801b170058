// The simulated transmitter's behaviour, apart from any line: frames in,
// replies out, the faults it is told to commit, and a record of both. It
// keeps the device's setting and cold port temperature, applies 'D' and 'F'
// frames to them as a device would, and answers 'B' and 'E' after its reply
// delay. Not thread-safe: its owner serialises the calls.
#ifndef CORVELLE_TOOLS_SIM_TRANSMITTER_MODEL_H
#define CORVELLE_TOOLS_SIM_TRANSMITTER_MODEL_H

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
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
    kVanish,   // 20 ms on, the terminal disappears for `delayMs`, then comes back
    kPieces,   // the reply in pieces of 1 byte, 4 bytes and the rest, `delayMs` apart;
               // with `count` above 0 only its first `count` bytes ever come
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
  std::uint8_t request;  // 'B' or 'E'; 0 for noise sent unasked
  Bytes bytes;           // exactly what went onto the line
};

// A reply, or a byte of one sent at the line's pace, waiting for its moment.
struct DueReply {
  Clock::time_point due;
  std::uint8_t request;
  Bytes bytes;
  bool continues = false;  // the rest of the reply before it, not a reply of its own
};

class TransmitterModel {
 public:
  explicit TransmitterModel(int replyDelayMs) : replyDelayMs_(replyDelayMs) {}

  // Bytes as they come off the line. A request that is to make the device
  // vanish leaves that wish for TakeVanish.
  void TakeBytes(const std::uint8_t* bytes, std::size_t count, Clock::time_point now);

  // Sends `bytes` at `due`, unasked: on record as a reply to request 0.
  void SendUnasked(Bytes bytes, Clock::time_point due);

  // The replies due by `now`, in order, taken from the queue.
  std::vector<DueReply> TakeDue(Clock::time_point now);
  // What actually went onto the line, for the record; bytes that continue a
  // reply join its record.
  void RecordSent(Clock::time_point at, const DueReply& sent);

  // Ends a frame that stopped arriving half-way, once it is old enough.
  void DropStalePartial(Clock::time_point now);

  // When the model next has something to do, if ever.
  std::optional<Clock::time_point> NextDeadline() const;

  // For how long a request asked the device to vanish; taken once.
  std::optional<int> TakeVanish();

  // The line went away: pending replies and a partial frame go with it.
  void ForgetLine();

  void SetSettingReply(const std::array<std::uint8_t, 11>& reply) { setting_ = reply; }
  void SetColdPortTenths(int tenths) { coldTenths_ = tenths; }
  int ColdPortTenths() const { return coldTenths_; }
  void SetReplyDelay(int milliseconds) { replyDelayMs_ = milliseconds; }
  // Sends replies a byte at a time, `interval` apart, as a real line carries
  // them (zero: all at once).
  void SetBytePacing(std::chrono::microseconds interval) { byteInterval_ = interval; }
  void Misbehave(Misbehaviour what) { misbehaviours_.push_back(std::move(what)); }

  const std::vector<ReceivedFrame>& Frames() const { return frames_; }
  const std::vector<SentReply>& Replies() const { return replies_; }
  void ClearRecords();

 private:
  void HandleFrame(const Bytes& frame, Clock::time_point now);

  std::array<std::uint8_t, 11> setting_{0x42, 3, 0x03, 0xE8, 0x00, 0x00, 0x01, 0, 0, 0, 0};
  int coldTenths_ = 250;
  int replyDelayMs_;
  std::chrono::microseconds byteInterval_{0};
  std::deque<Misbehaviour> misbehaviours_;
  std::vector<DueReply> pending_;
  Bytes partial_;
  Clock::time_point partialSince_{};
  std::optional<int> vanishMs_;
  std::vector<ReceivedFrame> frames_;
  std::vector<SentReply> replies_;
};

}  // namespace sim

#endif
