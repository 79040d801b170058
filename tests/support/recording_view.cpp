#include "tests/support/recording_view.h"

#include "view/text_cut.h"

namespace testing_view {

void RecordingView::SetText(int id, const std::string& text) {
  std::lock_guard lock(mutex_);
  texts_[id] = text;
}

void RecordingView::Select(int listId, int index) {
  std::lock_guard lock(mutex_);
  selections_[listId] = index;
}

std::string RecordingView::Text(int id) const {
  return Read(id);
}

void RecordingView::SetTipsDismissDelay(std::chrono::milliseconds delay) {
  std::lock_guard lock(mutex_);
  dismissDelay_ = delay;
}

void RecordingView::OnTips(std::function<void(const std::string&)> hook) {
  std::lock_guard lock(mutex_);
  tipsHook_ = std::move(hook);
}

std::vector<ViewEvent> RecordingView::Events() const {
  std::lock_guard lock(mutex_);
  return events_;
}

std::vector<std::string> RecordingView::Tips() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> tips;
  for (const auto& e : events_) {
    if (e.kind == ViewEvent::kTips) tips.push_back(e.text);
  }
  return tips;
}

std::vector<std::string> RecordingView::TextsOf(int id) const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> texts;
  for (const auto& e : events_) {
    if (e.kind == ViewEvent::kSetText && e.controlId == id) texts.push_back(e.text);
  }
  return texts;
}

void RecordingView::ClearEvents() {
  std::lock_guard lock(mutex_);
  events_.clear();
}

void RecordingView::RecordSet(int id, const char* text) {
  std::lock_guard lock(mutex_);
  texts_[id] = text;
  events_.push_back({ViewEvent::kSetText, id, text, Clock::now(), std::this_thread::get_id()});
}

std::string RecordingView::Read(int id) const {
  std::lock_guard lock(mutex_);
  const auto it = texts_.find(id);
  return it == texts_.end() ? std::string() : it->second;
}

int RecordingView::Selection(int id) const {
  std::lock_guard lock(mutex_);
  const auto it = selections_.find(id);
  return it == selections_.end() ? -1 : it->second;
}

void RecordingView::RecordTips(const char* text) {
  std::function<void(const std::string&)> hook;
  std::chrono::milliseconds delay;
  {
    std::lock_guard lock(mutex_);
    events_.push_back({ViewEvent::kTips, 0, text, Clock::now(), std::this_thread::get_id()});
    hook = tipsHook_;
    delay = dismissDelay_;
  }
  if (hook) hook(text);
  if (delay.count() > 0) std::this_thread::sleep_for(delay);
}

}  // namespace testing_view

// The view operations, routed to the RecordingView the dialog handle names.
namespace {
testing_view::RecordingView& ViewOf(DialogHandle dialog) {
  return *static_cast<testing_view::RecordingView*>(dialog);
}
}  // namespace

void SetControlText(DialogHandle dialog, int controlId, const char* text) {
  ViewOf(dialog).RecordSet(controlId, text);
}

bool GetControlText(DialogHandle dialog, int controlId, char* buffer, int bufferSize) {
  return CopyUtf8Cut(ViewOf(dialog).Read(controlId), buffer, bufferSize);
}

int GetListSelection(DialogHandle dialog, int controlId) {
  return ViewOf(dialog).Selection(controlId);
}

void ShowTips(DialogHandle dialog, const char* text) {
  ViewOf(dialog).RecordTips(text);
}
