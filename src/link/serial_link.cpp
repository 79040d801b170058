#include "link/serial_link.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "app/control_ids.h"
#include "link/serial_port.h"
#include "ops/operation_state.h"

char portName[256];
std::atomic<int> replyArrived{0};
std::uint8_t settingReplyBuffer[kSettingReplySize + 1];
std::uint8_t coldPortReplyBuffer[kColdPortReplySize + 1];
char replyMaxText[256];
char replyMinText[256];

namespace {

constexpr std::uint32_t kReaderReadTimeoutMs = 20000;
constexpr std::uint32_t kCommandReadTimeoutMs = 50;

// How long a closing waits for its reader after cancelling the read. The read
// ends within milliseconds of the cancel; this bound only keeps a broken
// driver from hanging the window.
constexpr auto kReaderStopWait = std::chrono::milliseconds(500);
// How long an opening waits for its reader to have purged and chosen its read.
constexpr auto kReaderStartWait = std::chrono::seconds(2);

void CopyText(char (&target)[256], const std::string& text) {
  std::strncpy(target, text.c_str(), sizeof target - 1);
  target[sizeof target - 1] = '\0';
}

}  // namespace

struct PortOpening {
  SerialPort* port = nullptr;
  std::thread reader;

  std::mutex mutex;  // orders the reader's publishing against closing
  std::condition_variable changed;
  bool closed = false;       // once set, the reader publishes nothing
  bool readerArmed = false;  // the reader has purged and chosen its read
  bool readerDone = false;

  ~PortOpening() { CloseSerialPort(port); }
};

namespace {

// Reads the one reply the operation state asks for and publishes it, unless the
// opening has been closed by then.
void ReplyReader(std::shared_ptr<PortOpening> opening) {
  PurgePort(opening->port);
  const std::uint8_t state = OperationState.load();
  std::size_t wanted = 0;
  std::uint8_t* target = nullptr;
  if (state == STATE_READ_SETTING) {
    wanted = kSettingReplySize;
    target = settingReplyBuffer;
  } else if (state == STATE_AWAIT_COLD_PORT) {
    wanted = kColdPortReplySize;
    target = coldPortReplyBuffer;
  }
  {
    std::lock_guard lock(opening->mutex);
    opening->readerArmed = true;
  }
  opening->changed.notify_all();

  if (wanted != 0) {
    std::uint8_t reply[kSettingReplySize] = {};
    std::size_t received = 0;
    const bool ok = ReadPort(opening->port, reply, wanted, &received) && received >= wanted;
    std::lock_guard lock(opening->mutex);
    if (!opening->closed) {
      if (ok) {
        std::memcpy(target, reply, wanted);
        target[wanted] = 0;
        if (state == STATE_READ_SETTING) {
          const SettingReply decoded = DecodeSettingReply(reply);
          CopyText(replyMaxText, decoded.maxText);
          CopyText(replyMinText, decoded.minText);
        }
      }
      replyArrived.store(ok ? 1 : 0);
      OperationState.store(STATE_IDLE);
    }
  }

  {
    std::lock_guard lock(opening->mutex);
    opening->readerDone = true;
  }
  opening->changed.notify_all();
}

}  // namespace

bool OpenPort(PortHandle& handle, DialogHandle dialog, const char* name,
              std::uint32_t readTimeoutMs, bool withReader) {
  handle.Close();
  int osError = 0;
  SerialPort* port = OpenSerialPort(name, &osError);
  if (port == nullptr) {
    const std::string message =
        std::string("open serial port") + name + " fail，check whether the serial port is occupied";
    ShowTips(dialog, message.c_str());
    return false;
  }
  handle.opening_ = std::make_shared<PortOpening>();
  handle.opening_->port = port;

  SetControlText(dialog, IDC_MESSAGE, "open serial port success");
  if (!ReadPortSettings(port)) ShowTips(dialog, "failed to get the properties of the serial port");
  if (!WritePortSettings(port)) {
    ShowTips(dialog, "failed to set serial port parameters");
    return false;
  }
  SetPortEventsAndQueues(port);
  const PortTimeouts timeouts{kNoReadInterval, 1, readTimeoutMs, 1, 50};
  if (!SetPortTimeouts(port, timeouts)) {
    ShowTips(dialog, "failed to set serial port time");
    return false;
  }
  if (withReader) {
    PortOpening& opening = *handle.opening_;
    try {
      opening.reader = std::thread(ReplyReader, handle.opening_);
    } catch (const std::system_error&) {
      // Without a reader no reply can arrive. The port is closed again so that
      // nothing is sent on an opening that reported failure.
      handle.Close();
      return false;
    }
    std::unique_lock lock(opening.mutex);
    opening.changed.wait_for(lock, kReaderStartWait, [&] { return opening.readerArmed; });
  }
  return true;
}

bool OpenPortWithReader(PortHandle& port, DialogHandle dialog, const char* name) {
  return OpenPort(port, dialog, name, kReaderReadTimeoutMs, true);
}

bool OpenPortForCommand(PortHandle& port, DialogHandle dialog) {
  return OpenPort(port, dialog, portName, kCommandReadTimeoutMs, false);
}

bool SendFrame(DialogHandle dialog, const std::uint8_t* bytes, std::size_t count,
               PortHandle& handle) {
  if (!handle.IsValid()) {
    ShowTips(dialog, "serial port not open");
    return false;
  }
  SerialPort* port = handle.opening_->port;
  PurgePort(port);
  const bool written = WritePort(port, bytes, count);
  PurgePort(port);
  if (!written) {
    ShowTips(dialog, "send data fail");
    return false;
  }
  return true;
}

PortHandle::~PortHandle() {
  Close();
}

void PortHandle::Close() {
  if (!opening_) return;
  std::shared_ptr<PortOpening> opening = std::move(opening_);
  {
    std::lock_guard lock(opening->mutex);
    opening->closed = true;
  }
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

void ChooseLastPort(const std::vector<std::string>& ports) {
  if (ports.empty()) return;
  CopyText(portName, ports.back());
}

void FindSerialPort() {
  ChooseLastPort(ListSerialPorts());
}
