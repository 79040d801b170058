// The serial link as the operations use it: opening and configuring the port,
// sending frames, and the reader that collects one reply per opening. Written
// once over the primitives of serial_port.h. Failures are shown to the user
// here, through the view seam, with fixed texts, and each failed step also
// writes one diagnostic line with the system's error code; callers only see
// success or failure.
#ifndef CORVELLE_LINK_SERIAL_LINK_H
#define CORVELLE_LINK_SERIAL_LINK_H

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "protocol/frames.h"
#include "view/view.h"

// 1 once a reader has read and published a complete reply, 0 after a failed or
// short read. Raised only after the reply is in place in its opening. A reader
// whose opening has been closed can no longer touch it. The operations clear it
// at their ending.
extern std::atomic<int> replyArrived;

// A complete reply as it came off the line: the first ReplySize(kind) bytes of
// `bytes` hold it.
struct Reply {
  ReplyKind kind = ReplyKind::kNone;
  std::array<std::uint8_t, kSettingReplySize> bytes{};
};

struct PortOpening;

// One opening of the port, owned by the command or operation that opened it.
// Only the owning thread uses it. Closing (explicitly or by destruction) ends a
// read still pending on it and waits a bounded time for its reader, so that a
// reader never publishes anything once its opening is closed.
class PortHandle {
 public:
  PortHandle() = default;
  ~PortHandle();
  PortHandle(const PortHandle&) = delete;
  PortHandle& operator=(const PortHandle&) = delete;

  bool IsValid() const { return opening_ != nullptr; }
  void Close();

  // The reply this opening's reader read completely, handed over once; nothing
  // when there is no reader, no reply yet, or the read failed or fell short,
  // or the request went out on a line that never went quiet.
  std::optional<Reply> TakeReply();

  // Whether a request on this opening went out on a line that never went
  // quiet, so that nothing read after it counts as a reply.
  bool LineNeverQuiet() const;

 private:
  friend struct PortAccess;  // the link's own functions, in serial_link.cpp
  std::shared_ptr<PortOpening> opening_;
};

// Opens `name` with the 20 s read time-out and starts the reply reader, which
// reads one reply of `kind` (nothing for kNone). The reader purges the port,
// then waits for the request: its read starts only once SendFrame's request
// has left the driver, and a close ends the wait. Returns once the reader
// has purged. On failure a "tips" box names the fault, including a reader
// thread that could not start or did not arm within 2 s, and the message line
// no longer claims success; the handle may still be valid (opened but not
// configured) and is then the caller's to close, but nothing can be sent on
// it. Call on the thread that owns `port`.
bool OpenPortWithReader(PortHandle& port, DialogHandle dialog, const char* name, ReplyKind kind);

// Opens portName with the 50 ms read time-out, without a reader.
bool OpenPortForCommand(PortHandle& port, DialogHandle dialog);

// Writes `count` bytes as one request. First both queues are purged and the
// line must stay quiet for 20 ms (whatever arrives meanwhile is purged, and
// after 100 ms the request goes anyway, but its opening's reader then takes
// nothing for a reply), so that nothing an adapter still held can pass for the
// answer. Nothing is purged after the write: every byte that
// arrives from then on is the device's, kept for the opening's reader, which
// starts reading once the driver's output queue is empty. A write that fails,
// or does not drain within its time-outs, or a queue that can no longer be
// asked about, purges both queues and fails. Shows "serial port not open", and
// writes nothing, for a handle that is invalid or whose opening failed (a port
// left at line settings nobody chose), and "send data fail" when the send
// fails. Returns true on success. Call on the thread that owns `port`.
bool SendFrame(DialogHandle dialog, const std::uint8_t* bytes, std::size_t count, PortHandle& port);

// Texts of the link's message line and "tips" boxes.
inline constexpr const char* kOpenSuccess = "open serial port success";
inline constexpr const char* kGetPropertiesFail = "failed to get the properties of the serial port";
inline constexpr const char* kSetParametersFail = "failed to set serial port parameters";
inline constexpr const char* kSetTimeFail = "failed to set serial port time";
inline constexpr const char* kPortNotOpen = "serial port not open";
inline constexpr const char* kSendFail = "send data fail";
inline constexpr const char* kReaderStartFail = "failed to start reading the serial port";

// "open serial port" + name + " fail，check whether the serial port is occupied"
std::string OpenFailureText(const char* name);

#endif
