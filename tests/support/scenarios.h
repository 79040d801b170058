// What a technician does and sees, one row per scenario, written once and run
// at three levels: the core with a recording view (integration), the Qt
// window, and the Windows program under Wine. A row holds the device's state
// and faults, the port, what is chosen and typed, the command, the "tips"
// boxes in order, the message line's last text, the fields afterwards, and
// the frames that reached the device. Each runner arranges a row its own way
// and checks what it alone can also see (step timing and threads; the window's
// hand-over between threads; the real dialog).
#ifndef CORVELLE_TESTS_SUPPORT_SCENARIOS_H
#define CORVELLE_TESTS_SUPPORT_SCENARIOS_H

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/simulated_line.h"
#include "tests/support/texts.h"
#include "tests/support/timeline.h"
#include "tools/sim/simulated_transmitter.h"
#include "view/control_ids.h"

namespace scenario {

using Bytes = std::vector<std::uint8_t>;
using Setting = std::array<std::uint8_t, 11>;
using sim::Misbehaviour;

// E type, max 1000, min -200.
inline constexpr Setting kETypeSetting = {0x42, 6, 0x04, 0xB0, 0x80, 0xC8, 1, 0, 0, 0, 0};

// When noise reaches the port after the opening: what reached an adapter as
// the port opened and DTR rose, handed over once its latency timer runs out,
// while the request waits for a quiet line. Not the FTDI default of 16 ms,
// which leaves the simulator 4 ms to be punctual in: with eight sanitized
// tests at once on two cores it can be later, and the noise then comes after
// the request, a case of its own (the stale bytes of the fault tests time the
// quiet wait to the millisecond).
inline constexpr int kNoiseAfterMs = 10;
// How long a chattering line goes on after the opening: through the request.
inline constexpr int kChatterMs = 400;

// Where the runners can arrange a row.
enum Level { kIntegration = 1, kQt = 2, kWine = 4, kEveryLevel = 7 };

enum class Port {
  kAtHand,
  kMissing,    // the chosen name leads to nothing that opens
  kNoneFound,  // discovery found no port at all: the name is empty
  kGone,       // the device has gone for good, its name still listed
};

struct Field {
  int id;
  std::string text;  // %s stands for the port's name
};
struct Choice {
  int list;
  int index;
};
struct Box {
  std::string text;  // %s stands for the port's name
  bool onWorker;     // shown by the worker, which it holds; else by the window's thread
};
inline Box OnUi(const std::string& text) {
  return {text, false};
}
inline Box OnWorker(const std::string& text) {
  return {text, true};
}

struct Scenario {
  const char* name;
  const timeline::Operation* op;
  Setting setting = kETypeSetting;
  int coldTenths = 250;
  std::vector<Misbehaviour> faults = {};  // for the next requests that expect an answer
  Bytes noiseWhenOpened = {};             // reaches the port kNoiseAfterMs after the opening
  int noiseEveryMs = 0;  // when above 0: from the opening, and again this often for kChatterMs
  Port port = Port::kAtHand;
  std::vector<Choice> chosen = {};
  std::vector<Field> typed = {};  // read-back fields too, to see that they are kept
  bool clicksDuring = false;      // every command is given again while it runs, and ignored
  std::vector<Box> boxes = {};
  std::string outcome = {};  // the message line's last text; empty: nothing shown there
  std::vector<Field> after = {};
  std::vector<Bytes> frames = {};
  int levels = kEveryLevel;
};

inline const Misbehaviour kSilent{Misbehaviour::kSilent, 0, 0, {}};
inline Misbehaviour Short(int count) {
  return {Misbehaviour::kShort, count, 0, {}};
}
inline Misbehaviour Late(int ms) {
  return {Misbehaviour::kLate, 0, ms, {}};
}
inline Misbehaviour Vanish(int ms) {
  return {Misbehaviour::kVanish, 0, ms, {}};
}
inline Misbehaviour Answer(Bytes bytes) {
  return {Misbehaviour::kGarbage, 0, 0, std::move(bytes)};
}

// What a read 1 shows in the read-back fields.
inline std::vector<Field> ReadBack(const char* sensor, const char* max, const char* minSign,
                                   const char* min) {
  return {{IDC_READ_SENSOR, sensor},
          {IDC_READ_MAX_SIGN, "+"},
          {IDC_READ_MAX, max},
          {IDC_READ_MIN_SIGN, minSign},
          {IDC_READ_MIN, min}};
}
inline const std::vector<Field> kKeptReadBack = {
    {IDC_READ_SENSOR, "kept"}, {IDC_READ_MAX, "1330"}, {IDC_READ_MIN, "kept"}};

// clang-format off
// A read 1 that the device answers with `setting`.
inline Scenario ReadShows(const char* name, Setting setting, std::vector<Field> after,
                          std::vector<Field> typed = {}) {
  return {.name = name, .op = &timeline::kReadSetting, .setting = setting,
          .typed = std::move(typed), .outcome = texts::kSettingReadSuccess,
          .after = std::move(after), .frames = {{'B'}}};
}

// A cold port read of `tenths`, shown as `text`.
inline Scenario ColdPortShows(const char* name, int tenths, const char* text) {
  return {.name = name, .op = &timeline::kReadColdPort, .coldTenths = tenths,
          .outcome = texts::kColdPortReadSuccess, .after = {{IDC_COLD_PORT_TEMP, text}},
          .frames = {{'E'}}};
}

// A read that gets no complete reply: the fields keep what they showed.
inline Scenario ReadFails(const char* name, const timeline::Operation& op, Misbehaviour fault,
                          std::vector<Field> kept) {
  const std::uint8_t request = op.command == IDC_READ_SETTING ? 'B' : 'E';
  return {.name = name, .op = &op, .faults = {std::move(fault)}, .typed = kept,
          .outcome = op.failure, .after = kept, .frames = {{request}}};
}

// A calibration to `entry`, sent as `frame`; the device adopts it and reads it
// back, unless `faults` say otherwise.
inline Scenario Calibration(const char* name, std::string entry, Bytes frame,
                            std::vector<Misbehaviour> faults, std::string outcome) {
  return {.name = name, .op = &timeline::kCalibrate, .faults = std::move(faults),
          .typed = {{IDC_COLD_PORT_TEMP, entry}}, .outcome = std::move(outcome),
          .after = {{IDC_COLD_PORT_TEMP, entry}}, .frames = {std::move(frame), {'E'}}};
}

// A calibration entry refused before anything is sent.
inline Scenario Refused(const char* name, std::string entry) {
  return {.name = name, .op = &timeline::kCalibrate, .typed = {{IDC_COLD_PORT_TEMP, entry}},
          .boxes = {OnUi(texts::kColdPortEntryIllegality)}, .after = {{IDC_COLD_PORT_TEMP, entry}}};
}

// A set refused before anything is sent.
inline Scenario RefusedSet(const char* name, int sensor, int sign, const char* max,
                           const char* min, const std::string& box) {
  return {.name = name, .op = &timeline::kSet,
          .chosen = {{IDC_SENSOR_TYPE, sensor}, {IDC_MIN_SIGN, sign}},
          .typed = {{IDC_INPUT_MAX, max}, {IDC_INPUT_MIN, min}}, .boxes = {OnUi(box)},
          .after = {{IDC_CHOICE, ""}}};
}

// An operation of the worker's whose port cannot be opened.
inline Scenario PortMissing(const char* name, const timeline::Operation& op,
                            Port port = Port::kMissing) {
  return {.name = name, .op = &op, .port = port,
          .boxes = {OnWorker(texts::kOpenFailure), OnWorker(texts::kPortNotOpen)},
          .outcome = op.failure};
}
// clang-format on

// The same row, with every command given again while it runs.
inline Scenario WithClicksDuring(Scenario row) {
  row.clicksDuring = true;
  return row;
}

// clang-format off
inline const std::vector<Scenario>& All() {
  using timeline::kCalibrate;
  using timeline::kConnect;
  using timeline::kReadColdPort;
  using timeline::kReadSetting;
  using timeline::kSet;
  const Bytes f250 = {0x46, 0x00, 0xFA, 0x00};  // the 'F' frame of 25.0
  static const std::vector<Scenario> rows = {
      // ---- read 1
      WithClicksDuring(ReadShows("ReadSettingEType", kETypeSetting,
                                 ReadBack("sensor：E type TC\r\n", "1000", "-", "200"))),
      ReadShows("ReadSettingUnknownCodeKeepsTheSensor",
                {0, texts::kCodeOfNoSensor, 0x03, 0x52, 0, 0, 1, 0, 0, 0, 0},
                ReadBack("earlier text", "850", "+", "0"), {{IDC_READ_SENSOR, "earlier text"}}),
      ReadShows("ReadSettingMagnitudeBeyondTheRange", {0, 7, 0x00, 0x64, 0x80, 0xC8, 1, 0, 0, 0, 0},
                ReadBack("sensor：Cu50\r\n", "-100", "-", "200")),
      ReadShows("ReadSettingUndefinedBitsIgnored", {0, 4, 0xF3, 0x52, 0x70, 0, 1, 0, 0, 0, 0},
                ReadBack("sensor：N type TC\r\n", "850", "+", "0")),
      ReadFails("ReadSettingSilentDevice", kReadSetting, kSilent, kKeptReadBack),
      ReadFails("ReadSettingShortReply", kReadSetting, Short(10), kKeptReadBack),
      ReadFails("ReadSettingLateReply", kReadSetting, Late(3600), kKeptReadBack),
      PortMissing("ReadSettingPortMissing", kReadSetting),
      [] {
        Scenario row = PortMissing("ReadSettingNoPortFound", kReadSetting, Port::kNoneFound);
        row.levels = kIntegration | kQt;  // under Wine some COM port is always listed
        return row;
      }(),

      // ---- read cold port
      WithClicksDuring(ColdPortShows("ReadColdPortBelowZero", -52, "-5.2")),
      ColdPortShows("ReadColdPortWholeDegrees", 250, "25."),
      ColdPortShows("ReadColdPortFourSignificantDigits", 12345, "1235"),
      ReadFails("ReadColdPortShortReply", kReadColdPort, Short(1), {{IDC_COLD_PORT_TEMP, "20"}}),
      ReadFails("ReadColdPortSilentDevice", kReadColdPort, kSilent, {{IDC_COLD_PORT_TEMP, "25."}}),
      ReadFails("ReadColdPortDeviceVanishes", kReadColdPort, Vanish(9000),
                {{IDC_COLD_PORT_TEMP, "20"}}),
      PortMissing("ReadColdPortPortMissing", kReadColdPort),

      // ---- noise as the port opens, before the request: never the reply
      {.name = "ReadSettingAfterNoiseAsThePortOpens", .op = &kReadSetting,
       .noiseWhenOpened = {0x00}, .outcome = texts::kSettingReadSuccess,
       .after = ReadBack("sensor：E type TC\r\n", "1000", "-", "200"), .frames = {{'B'}}},
      {.name = "ReadColdPortAfterNoiseAsThePortOpens", .op = &kReadColdPort, .coldTenths = -52,
       .noiseWhenOpened = {0x00, 0xFF}, .outcome = texts::kColdPortReadSuccess,
       .after = {{IDC_COLD_PORT_TEMP, "-5.2"}}, .frames = {{'E'}}},
      // ---- a line that chatters through the request: what comes back is no reply
      {.name = "ReadSettingOnALineThatNeverGoesQuiet", .op = &kReadSetting,
       .noiseWhenOpened = {0x00}, .noiseEveryMs = 4, .typed = kKeptReadBack,
       .outcome = texts::kSettingReadFail, .after = kKeptReadBack, .frames = {{'B'}}},
      {.name = "ReadColdPortOnALineThatNeverGoesQuiet", .op = &kReadColdPort,
       .noiseWhenOpened = {0x00}, .noiseEveryMs = 4, .typed = {{IDC_COLD_PORT_TEMP, "20"}},
       .outcome = texts::kColdPortReadFail, .after = {{IDC_COLD_PORT_TEMP, "20"}},
       .frames = {{'E'}}},

      // ---- calibrate; the device adopts the target unless told to answer otherwise
      WithClicksDuring(Calibration("CalibrateTheDeviceAdoptsTheTarget", "23.47",
                                   {0x46, 0x00, 0xEA, 0x00}, {}, texts::kCalibrateSuccess)),
      Calibration("CalibrateReadBackWithinADegree", "25.0", f250,  // 24.1
                  {Answer({0x00, 0xF1})}, texts::kCalibrateSuccess),
      Calibration("CalibrateReadBackExactlyADegreeOff", "25.0", f250,  // 24.0
                  {Answer({0x00, 0xF0})}, texts::kCalibrateFail),
      Calibration("CalibrateReadBackADegreeAbove", "25.0", f250,  // 26.0
                  {Answer({0x01, 0x04})}, texts::kCalibrateFail),
      Calibration("CalibrateBelowZeroWithBlanks", " -5.26 ", {0x46, 0xFF, 0xCC, 0x00},  // -6.0
                  {Answer({0xFF, 0xC4})}, texts::kCalibrateSuccess),
      Calibration("CalibrateSilentReadBack", "25.0", f250, {kSilent}, texts::kColdPortReadFail),
      {.name = "CalibratePortMissing", .op = &kCalibrate, .port = Port::kMissing,
       .typed = {{IDC_COLD_PORT_TEMP, "25"}},
       .boxes = {OnUi(texts::kOpenFailure), OnUi(texts::kPortNotOpen),
                 OnWorker(texts::kOpenFailure), OnWorker(texts::kPortNotOpen)},
       .outcome = texts::kColdPortReadFail},
      Refused("CalibrateRefusesAnEmptyEntry", ""), Refused("CalibrateRefusesLetters", "abc"),
      Refused("CalibrateRefusesALoneSign", "-"), Refused("CalibrateRefusesAnExponent", "1e9"),
      Refused("CalibrateRefusesTenthsBeyondTheWord", "3276.8"),
      Refused("CalibrateRefusesADecimalComma", "23,5"), Refused("CalibrateRefusesHex", "0x1A"),
      Refused("CalibrateRefusesLettersAfterTheNumber", "25abc"),
      Refused("CalibrateRefusesTwoPoints", "1..2"),
      // Pasted with a NUL character inside: as a C string it would read "10".
      [] {
        Scenario row = Refused("CalibrateRefusesAnEntryWithANulInside", std::string("10\0" "00", 5));
        row.levels = kIntegration | kQt;  // a Win32 edit cannot hold one
        return row;
      }(),
      // It would fit the field's buffer only cut short, as "000…025." (25.0).
      Refused("CalibrateRefusesAnEntryTooLongForItsField", std::string(251, '0') + "25.5"),

      // ---- set
      {.name = "SetKType", .op = &kSet,
       .chosen = {{IDC_SENSOR_TYPE, texts::kKType}, {IDC_MIN_SIGN, 1}},
       .typed = {{IDC_INPUT_MAX, "1000"}, {IDC_INPUT_MIN, "200"}}, .clicksDuring = true,
       .outcome = texts::kSetComplete, .after = {{IDC_CHOICE, "you chose K type TC"}},
       .frames = {{0x44, 3, 0x04, 0xB0, 0x80, 0xC8, 0x01, 0, 0, 0, 0}}},
      RefusedSet("SetRefusesAMaxOverTheLimit", texts::kKType, 0, "1340", "0",
                 texts::kInputMaxIllegality),
      RefusedSet("SetRefusesAMaxNotInTens", -1, -1, "1005", "200", texts::kInputMaxIllegality),
      RefusedSet("SetRefusesAMinAboveTheMax", texts::kKType, 0, "100", "200",
                 texts::kInputMinIllegality),
      RefusedSet("SetAsksForASensorType", -1, 1, "1000", "200", texts::kChooseSensorType),
      {.name = "SetPortMissing", .op = &kSet, .port = Port::kMissing,
       .chosen = {{IDC_SENSOR_TYPE, 0}, {IDC_MIN_SIGN, 0}},
       .typed = {{IDC_INPUT_MAX, "1600"}, {IDC_INPUT_MIN, "0"}},
       .boxes = {OnUi(texts::kOpenFailure), OnUi(texts::kPortNotOpen)},
       .outcome = texts::kSetFail, .after = {{IDC_CHOICE, "you chose wre3-25"}}},

      // ---- Connect
      {.name = "ConnectShowsThePort", .op = &kConnect, .outcome = texts::kOpenSuccess,
       .after = {{IDC_PORT_NAME, "%s"}}},
      // Connect lists the ports again: only under Wine can a listed port be
      // made to lead nowhere, whatever serial hardware the machine has.
      {.name = "ConnectPortMissing", .op = &kConnect, .port = Port::kMissing,
       .boxes = {OnUi(texts::kOpenFailure)}, .after = {{IDC_PORT_NAME, "%s"}}, .levels = kWine},

      // ---- a device gone under a COM name still listed: Wine opens it and
      // then refuses its configuration, where Windows would refuse the open
      {.name = "DeviceGoneConnect", .op = &kConnect, .port = Port::kGone,
       .boxes = {OnUi(texts::kGetPropertiesFail), OnUi(texts::kSetParametersFail)},
       .levels = kWine},
      {.name = "DeviceGoneReadSetting", .op = &kReadSetting, .port = Port::kGone,
       .boxes = {OnWorker(texts::kGetPropertiesFail), OnWorker(texts::kSetParametersFail),
                 OnWorker(texts::kPortNotOpen)},
       .outcome = texts::kSettingReadFail, .levels = kWine},
  };
  return rows;
}
// clang-format on

// The rows a level runs.
inline std::vector<const Scenario*> At(Level level) {
  std::vector<const Scenario*> rows;
  for (const Scenario& row : All()) {
    if (row.levels & level) rows.push_back(&row);
  }
  return rows;
}

// The row called `name`; a test that needs one row by name fails without it.
inline const Scenario& Named(const std::string& name) {
  for (const Scenario& row : All()) {
    if (name == row.name) return row;
  }
  ADD_FAILURE() << "no scenario " << name;
  return All().front();
}

// The device and the port as the row wants them. The Windows program's level
// also points its COM name at nothing for a missing port.
inline void Arrange(testing_sim::SimulatedLine& line, const Scenario& row) {
  sim::SimulatedTransmitter& device = *line.device_;
  device.SetSettingReply(row.setting);
  device.SetColdPortTenths(row.coldTenths);
  for (const Misbehaviour& fault : row.faults) device.Misbehave(fault);
  const bool chatter = row.noiseEveryMs > 0;
  if (!row.noiseWhenOpened.empty() &&
      !device.NoiseWhenOpened(row.noiseWhenOpened, chatter ? 0 : kNoiseAfterMs, row.noiseEveryMs,
                              kChatterMs)) {
    ADD_FAILURE() << "the simulator cannot watch for the opening";
  }
  if (row.port == Port::kMissing) line.MakePortMissing();
  if (row.port == Port::kNoneFound) testing_sim::UsePort("");
  if (row.port == Port::kGone) device.VanishFor(60000);
}

// How long the row's requests wait for a quiet line.
inline int QuietMs(const Scenario& row) {
  return row.noiseEveryMs > 0 ? timeline::kQuietGiveUp : timeline::kQuiet;
}

// How a parameterised test prints and names a row.
inline void PrintTo(const Scenario* row, std::ostream* os) {
  *os << row->name;
}
inline std::string NameOf(const ::testing::TestParamInfo<const Scenario*>& info) {
  return info.param->name;
}

}  // namespace scenario

#endif
