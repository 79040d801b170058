#include "link/serial_link.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "link/line_waits.h"
#include "link/port_discovery.h"
#include "link/serial_port.h"
#include "view/control_ids.h"

std::atomic<int> replyArrived{0};

namespace {

constexpr std::uint32_t kReaderReadTimeoutMs = 20000;
constexpr std::uint32_t kCommandReadTimeoutMs = 50;
// A write may take 1 ms a byte and 50 ms beyond, its drain included.
constexpr std::uint32_t kWriteMsPerByte = 1;
constexpr std::uint32_t kWriteConstantMs = 50;

// How long a closing waits for its reader after cancelling the read. The read
// ends within milliseconds of the cancel; this bound only keeps a broken
// driver from hanging the window.
constexpr auto kReaderStopWait = std::chrono::milliseconds(500);
// How long an opening waits for its reader to have purged and armed itself.
constexpr auto kReaderStartWait = std::chrono::seconds(2);

// One line for whoever supports the technician: which step failed on which
// port, with the system's own code and words for it.
void Diagnose(const char* step, const std::string& name, int osError) {
  WriteDiagnosticLine("corvelle: " + std::string(step) + " " + name + " failed: error " +
                      std::to_string(osError) + " (" + SystemErrorText(osError) + ")");
}

}  // namespace

struct PortOpening {
  SerialPort* port = nullptr;
  std::string name;
  std::thread reader;

  std::mutex mutex;  // orders the reader's steps and publishing against the owner's
  std::condition_variable changed;
  bool closed = false;       // once set, the reader reads and publishes nothing
  bool readerArmed = false;  // the reader has purged and waits for the request
  bool requestSent = false;  // the request has left the driver: read now
  bool readerDone = false;
  // The request went out on a line that never went quiet: whatever comes back
  // may hold what the line carried, and is no reply.
  bool lineNeverQuiet = false;
  std::optional<Reply> reply;  // published by the reader, taken by the owner

  // Set only when the opening succeeded in full: nothing is ever sent on a
  // port whose opening failed, configuration refusals included.
  bool ready = false;

  ~PortOpening() { CloseSerialPort(port); }

  // The output is discarded only while the driver still holds some (or cannot
  // say): what an earlier, failed write left behind. Discarding it otherwise
  // loses bytes on drivers that hand them on before the far end has them: a
  // pseudo-terminal drops what was written but not yet read at the other
  // side, and Wine's serial port on one does the same on PURGE_TXCLEAR.
  void Purge(PurgeQueues queues) {
    std::size_t queued = 0;
    if (queues == PurgeQueues::kInputAndOutput && QueuedBytes(port, PortQueue::kOutput, &queued) &&
        queued == 0) {
      queues = PurgeQueues::kInputOnly;
    }
    if (!PurgePort(port, queues)) Diagnose("purge", name, PortLastError(port));
  }

  // Sets one of the flags above and wakes whoever waits for it.
  void Raise(bool PortOpening::*flag) {
    {
      std::lock_guard lock(mutex);
      this->*flag = true;
    }
    changed.notify_all();
  }
};

// The link's access to the opening behind a handle.
struct PortAccess {
  static std::shared_ptr<PortOpening>& Of(PortHandle& handle) { return handle.opening_; }
};

namespace {

// Reads until all `wanted` bytes are in. A read may come back with only the
// part that was already waiting as it began (the serial drivers' rule); the
// next one then asks for the rest. Ends early at a read that fails, the
// cancel of a close among them, at one that times out with nothing new, and
// once the reply's whole time-out has passed since the first read began, so
// that a reply that stops half-way gives up within a single read's time-out.
// False only when a read failed.
bool ReadWholeReply(SerialPort* port, std::uint8_t* buffer, std::size_t wanted,
                    std::size_t* received) {
  const auto giveUpAt =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kReaderReadTimeoutMs + wanted);
  *received = 0;
  while (*received < wanted) {
    std::size_t got = 0;
    if (!ReadPort(port, buffer + *received, wanted - *received, &got)) return false;
    *received += got;
    if (got == 0 || std::chrono::steady_clock::now() >= giveUpAt) break;
  }
  return true;
}

// Reads the one reply of `kind` and publishes it with its opening, unless the
// opening has been closed by then, or its request went out on a line that
// never went quiet. The read starts only once the request has left the
// driver; what arrived since the line went quiet before it waits in the
// input, and is the device's answer.
void ReplyReader(std::shared_ptr<PortOpening> opening, ReplyKind kind) {
  opening->Purge(PurgeQueues::kInputAndOutput);
  const std::size_t wanted = ReplySize(kind);
  bool go = false;
  {
    std::unique_lock lock(opening->mutex);
    opening->readerArmed = true;
    opening->changed.notify_all();
    if (wanted != 0) {
      opening->changed.wait(lock, [&] { return opening->requestSent || opening->closed; });
      go = !opening->closed;
    }
  }

  if (go) {
    Reply reply;
    reply.kind = kind;
    std::size_t received = 0;
    const bool read = ReadWholeReply(opening->port, reply.bytes.data(), wanted, &received);
    bool report = false;
    {
      std::lock_guard lock(opening->mutex);
      const bool believed = read && received >= wanted && !opening->lineNeverQuiet;
      // A read that fails because the opening was closed is the cancel at work.
      if (!opening->closed) {
        report = !read;
        if (believed) opening->reply = reply;
        replyArrived.store(believed ? 1 : 0);
      }
    }
    // Written outside the lock: a standard error that blocks must not hold up
    // the owner's close, which waits for that lock.
    if (report) Diagnose("read", opening->name, PortLastError(opening->port));
  }
  opening->Raise(&PortOpening::readerDone);
}

// Starts the reader and waits until it is armed. A reader that cannot start,
// or does not arm in time, fails the opening: nothing is sent without one.
bool StartReader(PortOpening& opening, const std::shared_ptr<PortOpening>& shared, ReplyKind kind) {
  try {
    opening.reader = std::thread(ReplyReader, shared, kind);
  } catch (const std::system_error& error) {
    Diagnose("start reader for", opening.name, error.code().value());
    return false;
  }
  std::unique_lock lock(opening.mutex);
  if (!opening.changed.wait_for(lock, kReaderStartWait, [&] { return opening.readerArmed; })) {
    lock.unlock();
    WriteDiagnosticLine("corvelle: the reader of " + opening.name + " did not start in time");
    return false;
  }
  return true;
}

bool OpenPort(PortHandle& handle, DialogHandle dialog, const char* name,
              std::uint32_t readTimeoutMs, bool withReader, ReplyKind kind) {
  handle.Close();
  OpenFailure failure;
  SerialPort* port = OpenSerialPort(name, &failure);
  if (port == nullptr) {
    Diagnose("open", name, failure.osError);
    const std::string advice = failure.advice.empty() ? "" : "\n" + failure.advice;
    ShowTips(dialog, (OpenFailureText(name) + advice).c_str());
    return false;
  }
  std::shared_ptr<PortOpening>& opening = PortAccess::Of(handle);
  opening = std::make_shared<PortOpening>();
  opening->port = port;
  opening->name = name;

  SetControlText(dialog, IDC_MESSAGE, kOpenSuccess);
  // Once its box is dismissed, a failure takes back the success shown above:
  // the window must not go on saying that the port is fine.
  const auto refuse = [&](const char* text) {
    ShowTips(dialog, text);
    SetControlText(dialog, IDC_MESSAGE, "");
    return false;
  };
  if (!ReadPortSettings(port)) {
    Diagnose("get settings of", name, PortLastError(port));
    ShowTips(dialog, kGetPropertiesFail);
  }
  if (!WritePortSettings(port)) {
    Diagnose("set line parameters of", name, PortLastError(port));
    return refuse(kSetParametersFail);
  }
  SetPortEventsAndQueues(port);
  const PortTimeouts timeouts{kNoReadInterval, 1, readTimeoutMs, kWriteMsPerByte, kWriteConstantMs};
  if (!SetPortTimeouts(port, timeouts)) {
    Diagnose("set time-outs of", name, PortLastError(port));
    return refuse(kSetTimeFail);
  }
  if (withReader && !StartReader(*opening, opening, kind)) return refuse(kReaderStartFail);
  opening->ready = true;
  return true;
}

}  // namespace

std::string OpenFailureText(const char* name) {
  return std::string("open serial port") + name +
         " fail，check whether the serial port is occupied";
}

bool OpenPortWithReader(PortHandle& port, DialogHandle dialog, const char* name, ReplyKind kind) {
  return OpenPort(port, dialog, name, kReaderReadTimeoutMs, true, kind);
}

bool OpenPortForCommand(PortHandle& port, DialogHandle dialog) {
  return OpenPort(port, dialog, portName, kCommandReadTimeoutMs, false, ReplyKind::kNone);
}

bool SendFrame(DialogHandle dialog, const std::uint8_t* bytes, std::size_t count,
               PortHandle& handle) {
  if (!handle.IsValid() || !PortAccess::Of(handle)->ready) {
    ShowTips(dialog, kPortNotOpen);
    return false;
  }
  PortOpening& opening = *PortAccess::Of(handle);
  const auto fail = [&](const char* step, LineWait how = LineWait::kFailed) {
    if (how == LineWait::kTimedOut) {
      WriteDiagnosticLine("corvelle: the output of " + opening.name + " did not drain in time");
    } else {
      Diagnose(step, opening.name, PortLastError(opening.port));
    }
    // What a failed or stuck write left behind goes, in both directions.
    opening.Purge(PurgeQueues::kInputAndOutput);
    ShowTips(dialog, kSendFail);
    return false;
  };
  opening.Purge(PurgeQueues::kInputAndOutput);
  // Stale bytes that an adapter still held arrive after that purge; the
  // request goes out once the line has been quiet for longer than it holds
  // them. Nothing is purged after the write: a quick device answers within
  // 2 ms, sooner than a loaded machine may let this thread run again.
  const LineWait quiet = WaitForQuietLine(opening.port);
  if (quiet == LineWait::kFailed) return fail("watch the input of");
  if (quiet == LineWait::kTimedOut) {
    WriteDiagnosticLine("corvelle: the line of " + opening.name +
                        " never went quiet: what comes back is not taken for a reply");
    std::lock_guard lock(opening.mutex);
    opening.lineNeverQuiet = true;
  }
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(kWriteMsPerByte * count + kWriteConstantMs);
  if (!WritePort(opening.port, bytes, count)) return fail("write to");
  const LineWait drained = WaitForDrain(opening.port, deadline);
  if (drained != LineWait::kDone) return fail("drain the output of", drained);
  opening.Raise(&PortOpening::requestSent);
  return true;
}

PortHandle::~PortHandle() {
  Close();
}

bool PortHandle::LineNeverQuiet() const {
  if (!opening_) return false;
  std::lock_guard lock(opening_->mutex);
  return opening_->lineNeverQuiet;
}

std::optional<Reply> PortHandle::TakeReply() {
  if (!opening_) return std::nullopt;
  std::lock_guard lock(opening_->mutex);
  std::optional<Reply> reply = std::move(opening_->reply);
  opening_->reply.reset();
  return reply;
}

void PortHandle::Close() {
  if (!opening_) return;
  std::shared_ptr<PortOpening> opening = std::move(opening_);
  opening->Raise(&PortOpening::closed);
  if (opening->reader.joinable()) {
    CancelPortRead(opening->port);
    std::unique_lock lock(opening->mutex);
    const bool done =
        opening->changed.wait_for(lock, kReaderStopWait, [&] { return opening->readerDone; });
    lock.unlock();
    // A reader that did not stop keeps its own reference to the opening, so the
    // port is released when it finally returns; it can publish nothing.
    if (done) {
      opening->reader.join();
    } else {
      opening->reader.detach();
    }
  }
}
