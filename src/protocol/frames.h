// The wire format between the program and the transmitter: the request frames
// it sends and the replies it reads, and their conversion to the numbers and
// texts the window shows. Pure functions: no I/O, no shared state.
//
// Multi-byte numbers on the wire are big-endian. Setting temperatures are in
// whole degrees, cold port temperatures in tenths of a degree.
#ifndef CORVELLE_PROTOCOL_FRAMES_H
#define CORVELLE_PROTOCOL_FRAMES_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// Command letters, the first byte of every request.
inline constexpr std::uint8_t kReadSettingRequest = 'B';
inline constexpr std::uint8_t kWriteSettingCommand = 'D';
inline constexpr std::uint8_t kReadColdPortRequest = 'E';
inline constexpr std::uint8_t kCalibrateColdPortCommand = 'F';

inline constexpr std::size_t kSettingFrameSize = 11;
inline constexpr std::size_t kSettingReplySize = 11;
inline constexpr std::size_t kColdPortReplySize = 2;
inline constexpr std::size_t kColdPortCalibrationFrameSize = 4;

// Which reply an opening of the port waits for: the setting reply to 'B', the
// cold port reply to 'E', or none (an opening that only sends).
enum class ReplyKind { kNone, kSetting, kColdPort };

// Bytes of a complete reply of `kind`; 0 for kNone.
std::size_t ReplySize(ReplyKind kind);

// 'D', device code, range word (2), min sign and magnitude (2), 01 00 00 00 00.
using SettingFrame = std::array<std::uint8_t, kSettingFrameSize>;
using ColdPortCalibrationFrame = std::array<std::uint8_t, kColdPortCalibrationFrameSize>;

// A frame with the fixed bytes in place and zeros where the setting goes.
SettingFrame MakeSettingFrame();

// Writes bytes 2 to 5 from the input max and min. With `minNegative` the range
// word becomes max + min (the span) and bit 7 of byte 4 marks the min as
// negative; otherwise max and min go in as they are. Only the low 16 bits of
// each value are sent.
void FillRangeBytes(SettingFrame& frame, int max, int min, bool minNegative);

struct SettingReply {
  std::uint8_t deviceCode;
  int max;           // range word minus the magnitude when the min is negative; may be < 0
  int minMagnitude;  // 12 bits
  bool minNegative;
  std::string maxText;  // max in base 10
  std::string minText;  // magnitude in base 10
};

// Decodes the 11-byte reply to 'B'. Bits the device does not define (the upper
// nibbles of bytes 2 and 4, bits 4-6 of byte 4) are ignored.
SettingReply DecodeSettingReply(const std::uint8_t* bytes);

struct ColdPortReading {
  int tenths;        // signed 16-bit value from the wire
  double degrees;    // tenths / 10
  std::string text;  // 4 significant digits, as the window shows it
};

// Decodes the 2-byte reply to 'E'.
ColdPortReading DecodeColdPortReply(const std::uint8_t* bytes);

// Target of a calibration typed as text: the entry in degrees, and in tenths
// of a degree truncated toward zero. Empty unless the whole text is a plain
// decimal number (ParsePlainDecimal) whose tenths fit the frame's signed
// 16-bit word; such an entry must not be sent, since the device would take a
// wrapped value, or one the technician never typed.
struct ColdPortTarget {
  double degrees;
  int tenths;
};
std::optional<ColdPortTarget> ColdPortTargetFromEntry(const char* text);

// 'F', the target as a 16-bit two's-complement word, 0x00.
ColdPortCalibrationFrame MakeColdPortCalibrationFrame(int targetTenths);

#endif
