#include "protocol/frames.h"

#include <cmath>

#include "protocol/number_text.h"

SettingFrame MakeSettingFrame() {
  return {kWriteSettingCommand, 0, 0, 0, 0, 0, 0x01, 0, 0, 0, 0};
}

void FillRangeBytes(SettingFrame& frame, int max, int min, bool minNegative) {
  const auto maxWord = static_cast<std::uint16_t>(static_cast<unsigned>(max) & 0xFFFFu);
  const auto minWord = static_cast<std::uint16_t>(static_cast<unsigned>(min) & 0xFFFFu);
  std::uint16_t rangeWord = maxWord;
  if (minNegative) rangeWord = static_cast<std::uint16_t>(maxWord + minWord);
  frame[2] = static_cast<std::uint8_t>(rangeWord >> 8);
  frame[3] = static_cast<std::uint8_t>(rangeWord & 0xFF);
  frame[4] = static_cast<std::uint8_t>(minWord >> 8);
  frame[5] = static_cast<std::uint8_t>(minWord & 0xFF);
  if (minNegative) frame[4] |= 0x80;
}

std::size_t ReplySize(ReplyKind kind) {
  switch (kind) {
    case ReplyKind::kSetting:
      return kSettingReplySize;
    case ReplyKind::kColdPort:
      return kColdPortReplySize;
    case ReplyKind::kNone:
      break;
  }
  return 0;
}

SettingReply DecodeSettingReply(const std::uint8_t* bytes) {
  SettingReply reply{};
  reply.deviceCode = bytes[1];
  reply.minNegative = (bytes[4] & 0x80) != 0;
  const int rangeWord = (bytes[2] & 0x0F) * 256 + bytes[3];
  reply.minMagnitude = (bytes[4] & 0x0F) * 256 + bytes[5];
  reply.max = reply.minNegative ? rangeWord - reply.minMagnitude : rangeWord;
  reply.maxText = FormatIntLikePrintf(reply.max);
  reply.minText = FormatIntLikePrintf(reply.minMagnitude);
  return reply;
}

ColdPortReading DecodeColdPortReply(const std::uint8_t* bytes) {
  ColdPortReading reading{};
  reading.tenths = static_cast<std::int8_t>(bytes[0]) * 256 + bytes[1];
  reading.degrees = reading.tenths / 10.0;
  reading.text = FormatDoubleLikeGcvt(reading.degrees, 4);
  return reading;
}

std::optional<ColdPortTarget> ColdPortTargetFromEntry(const char* text) {
  const std::optional<double> degrees = ParsePlainDecimal(text);
  if (!degrees) return std::nullopt;
  const double tenths = std::trunc(*degrees * 10.0);
  if (!std::isfinite(tenths) || tenths < -32768.0 || tenths > 32767.0) return std::nullopt;
  return ColdPortTarget{*degrees, static_cast<int>(tenths)};
}

ColdPortCalibrationFrame MakeColdPortCalibrationFrame(int targetTenths) {
  const auto word = static_cast<std::uint16_t>(static_cast<unsigned>(targetTenths) & 0xFFFFu);
  return {kCalibrateColdPortCommand, static_cast<std::uint8_t>(word >> 8),
          static_cast<std::uint8_t>(word & 0xFF), 0x00};
}
