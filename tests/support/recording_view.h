// A recording stand-in for the window: it keeps the text of every control and
// the selection of every list, and records each text change and each "tips"
// box with the time and thread it came from. Tests arrange the fields, run the
// core, and read back what a technician would have seen.
#ifndef CORVELLE_TESTS_SUPPORT_RECORDING_VIEW_H
#define CORVELLE_TESTS_SUPPORT_RECORDING_VIEW_H

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "view/view.h"

namespace testing_view {

using Clock = std::chrono::steady_clock;

struct ViewEvent {
  enum Kind { kSetText, kTips };
  Kind kind;
  int controlId;  // 0 for tips
  std::string text;
  Clock::time_point at;
  std::thread::id thread;
};

class RecordingView {
 public:
  DialogHandle Handle() { return this; }

  void SetText(int id, const std::string& text);
  void Select(int listId, int index);
  std::string Text(int id) const;

  // How long each "tips" box stays up before the simulated user dismisses it.
  void SetTipsDismissDelay(std::chrono::milliseconds delay);
  // Called on the showing thread while the box is up (before it is dismissed).
  void OnTips(std::function<void(const std::string&)> hook);

  std::vector<ViewEvent> Events() const;
  std::vector<std::string> Tips() const;
  // Texts the control was set to, in order.
  std::vector<std::string> TextsOf(int id) const;
  void ClearEvents();

  // Called by the view operations.
  void RecordSet(int id, const char* text);
  std::string Read(int id) const;
  int Selection(int id) const;
  void RecordTips(const char* text);

 private:
  mutable std::mutex mutex_;
  std::map<int, std::string> texts_;
  std::map<int, int> selections_;
  std::vector<ViewEvent> events_;
  std::chrono::milliseconds dismissDelay_{0};
  std::function<void(const std::string&)> tipsHook_;
};

}  // namespace testing_view

#endif
