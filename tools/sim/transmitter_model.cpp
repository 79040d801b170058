#include "tools/sim/transmitter_model.h"

#include <algorithm>

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

}  // namespace

void TransmitterModel::TakeBytes(const std::uint8_t* bytes, std::size_t count,
                                 Clock::time_point now) {
  for (std::size_t i = 0; i < count; ++i) {
    if (partial_.empty()) partialSince_ = now;
    partial_.push_back(bytes[i]);
    if (partial_.size() == FrameLength(partial_[0])) {
      Bytes frame;
      frame.swap(partial_);
      HandleFrame(frame, now);
      if (vanishMs_) return;  // the rest is lost with the line
    }
  }
}

void TransmitterModel::HandleFrame(const Bytes& frame, Clock::time_point now) {
  frames_.push_back({now, frame});
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
        vanishMs_ = m.delayMs;
        return;
      case Misbehaviour::kPieces: {
        if (m.count > 0) reply.resize(std::min(reply.size(), static_cast<std::size_t>(m.count)));
        std::size_t from = 0;
        for (std::size_t to : {std::size_t{1}, std::size_t{5}, reply.size()}) {
          to = std::min(to, reply.size());
          if (to <= from) continue;
          pending_.push_back({due, letter, Bytes(reply.begin() + from, reply.begin() + to), from > 0});
          from = to;
          due += std::chrono::milliseconds(m.delayMs);
        }
        return;
      }
    }
  }
  if (byteInterval_.count() <= 0 || reply.size() < 2) {
    pending_.push_back({due, letter, std::move(reply)});
    return;
  }
  for (std::size_t i = 0; i < reply.size(); ++i) {
    pending_.push_back({due + byteInterval_ * static_cast<int>(i), letter, {reply[i]}, i > 0});
  }
}

void TransmitterModel::SendUnasked(Bytes bytes, Clock::time_point due) {
  if (!bytes.empty()) pending_.push_back({due, 0, std::move(bytes)});
}

std::vector<DueReply> TransmitterModel::TakeDue(Clock::time_point now) {
  std::stable_sort(pending_.begin(), pending_.end(),
                   [](const DueReply& a, const DueReply& b) { return a.due < b.due; });
  std::vector<DueReply> due;
  while (!pending_.empty() && pending_.front().due <= now) {
    due.push_back(std::move(pending_.front()));
    pending_.erase(pending_.begin());
  }
  return due;
}

void TransmitterModel::RecordSent(Clock::time_point at, const DueReply& sent) {
  if (sent.continues && !replies_.empty()) {
    Bytes& bytes = replies_.back().bytes;
    bytes.insert(bytes.end(), sent.bytes.begin(), sent.bytes.end());
    return;
  }
  replies_.push_back({at, sent.request, sent.bytes});
}

void TransmitterModel::DropStalePartial(Clock::time_point now) {
  if (!partial_.empty() && now - partialSince_ > kPartialFrameTimeout) {
    frames_.push_back({now, partial_});
    partial_.clear();
  }
}

std::optional<Clock::time_point> TransmitterModel::NextDeadline() const {
  std::optional<Clock::time_point> next;
  for (const DueReply& reply : pending_) {
    if (!next || reply.due < *next) next = reply.due;
  }
  if (!partial_.empty()) {
    const auto stale = partialSince_ + kPartialFrameTimeout;
    if (!next || stale < *next) next = stale;
  }
  return next;
}

std::optional<int> TransmitterModel::TakeVanish() {
  const std::optional<int> vanish = vanishMs_;
  vanishMs_.reset();
  return vanish;
}

void TransmitterModel::ForgetLine() {
  pending_.clear();
  partial_.clear();
}

void TransmitterModel::ClearRecords() {
  frames_.clear();
  replies_.clear();
}

}  // namespace sim
