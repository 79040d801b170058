// The serial link as the operations use it: which port, opening and
// configuring it, sending frames, and the reader that collects one reply per
// opening. Failures are shown to the user here, through the view operations,
// with fixed texts; callers only see success or failure.
#ifndef CORVELLE_LINK_SERIAL_LINK_H
#define CORVELLE_LINK_SERIAL_LINK_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/view.h"
#include "protocol/frames.h"

// The device found by the latest discovery; empty until one found a device.
// Written on the user-interface thread only, while no operation runs.
extern char portName[256];

// 1 once the reader has read and published a complete reply. Raised only after
// the reply buffers and texts below are complete; a reader can no longer touch
// it, nor them, once its port handle has been closed.
extern std::atomic<int> replyArrived;

// The last complete replies, each followed by a zero byte, and the decimal
// texts of the setting reply's max and min magnitude.
extern std::uint8_t settingReplyBuffer[kSettingReplySize + 1];
extern std::uint8_t coldPortReplyBuffer[kColdPortReplySize + 1];
extern char replyMaxText[256];
extern char replyMinText[256];

// Discovery: takes the last device the platform lists into portName. An empty
// list leaves portName as it was.
void FindSerialPort();

// The choice itself: the last of `ports` goes into portName; none leaves it.
void ChooseLastPort(const std::vector<std::string>& ports);

struct PortOpening;

// One opening of the port, owned by the command or operation that opened it.
// Closing (explicitly or by destruction) ends a read still pending on it and
// waits for its reader, so that a reader never outlives its opening.
class PortHandle {
 public:
  PortHandle() = default;
  ~PortHandle();
  PortHandle(const PortHandle&) = delete;
  PortHandle& operator=(const PortHandle&) = delete;

  bool IsValid() const { return opening_ != nullptr; }
  void Close();

 private:
  friend bool OpenPort(PortHandle&, DialogHandle, const char*, std::uint32_t, bool);
  friend bool SendFrame(DialogHandle, const std::uint8_t*, std::size_t, PortHandle&);
  std::shared_ptr<PortOpening> opening_;
};

// Opens `name` with the 20 s read time-out and starts the reply reader, which
// reads the reply that OperationState names at that moment (none when idle).
// Returns once the reader is ready to receive. On failure a "tips" box names
// the fault; the handle may still be valid (opened but not configured) and is
// then the caller's to close. Call on the thread that owns `port`.
bool OpenPortWithReader(PortHandle& port, DialogHandle dialog, const char* name);

// Opens portName with the 50 ms read time-out, without a reader.
bool OpenPortForCommand(PortHandle& port, DialogHandle dialog);

// Writes `count` bytes, purging both queues before and after. Shows "serial
// port not open" for an invalid handle and "send data fail" when the write
// fails. Returns true on success.
bool SendFrame(DialogHandle dialog, const std::uint8_t* bytes, std::size_t count, PortHandle& port);

#endif
