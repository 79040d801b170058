// Everything the program shows, written out once, as the technician reads it:
// the message line, the "tips" boxes, the lists and the sensor catalogue.
// Tests compare with these and never with the program's own constants, so
// that a mistake in the program cannot pass as the expected value.
#ifndef CORVELLE_TESTS_SUPPORT_TEXTS_H
#define CORVELLE_TESTS_SUPPORT_TEXTS_H

#include <string>

namespace texts {

// The message line.
inline const std::string kOpenSuccess = "open serial port success";
inline const std::string kSettingReadSuccess = "           sensor data read success";
inline const std::string kSettingReadFail = "           sensor data read fail";
inline const std::string kColdPortReadSuccess = "           cold port data read success";
inline const std::string kColdPortReadFail = "              cold port data read fail";
inline const std::string kSetComplete = "           sensor data set complete";
inline const std::string kSetFail = "           sensor data set fail";
inline const std::string kCalibrateSuccess = "              cold port data calibrate success";
inline const std::string kCalibrateFail = "              cold port data calibrate fail";

// The "tips" boxes. In kOpenFailure, %s stands for the port's name.
inline const std::string kOpenFailure =
    "open serial port%s fail，check whether the serial port is occupied";
inline const std::string kGetPropertiesFail = "failed to get the properties of the serial port";
inline const std::string kSetParametersFail = "failed to set serial port parameters";
inline const std::string kSetTimeFail = "failed to set serial port time";
inline const std::string kPortNotOpen = "serial port not open";
inline const std::string kSendFail = "send data fail";
inline const std::string kReaderStartFail = "failed to start reading the serial port";
inline const std::string kInputMaxIllegality = "input max illegality";
inline const std::string kInputMinIllegality = "input min illegality";
inline const std::string kChooseSensorType = "please choose the sensor type";
inline const std::string kColdPortEntryIllegality = "input cold port temperature illegality";

// The open-failure box's second line when Linux refused the user the device:
// DEVICE is the node's path, GROUP its group's name, USER the login name.
inline const std::string kJoinTheGroup =
    "you may not use DEVICE: it belongs to the group GROUP; join it with sudo usermod -aG GROUP "
    "USER, then log in again";
inline const std::string kLogInAgain =
    "you were added to the group GROUP that owns DEVICE: log out and in again to use it";

// `text` with its %s replaced by `port`.
inline std::string WithPort(std::string text, const std::string& port) {
  const auto at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, port);
  return text;
}

// The fixed lists, in their order.
inline const char* const kOutputTypes[] = {"4-20mA", "0-20mA"};
inline const char* const kErrorOutputs[] = {"HIGH", "LOW"};
inline const char* const kMinSigns[] = {"+", "-"};

// The sensor list, row for row: what the list shows, the code the device
// knows it by, the highest max and the largest "-" min accepted, the choice
// line before a set, and the read-back of a setting with that code.
struct Sensor {
  const char* label;
  int code;
  int maxLimit;
  int minLimit;
  const char* choice;
  const char* readBack;
};
inline constexpr Sensor kSensors[] = {
    {"Wre3-25", 0, 1600, 0, "you chose wre3-25", "sensor：wre3-25\r\n"},
    {"pt100", 1, 850, 200, "you chose PT100", "sensor：PT100\r\n"},
    {"S type", 2, 1550, 50, "you chose S type TC", "sensor：S type TC\r\n"},
    {"K type", 3, 1330, 270, "you chose K type TC", "sensor：K type TC\r\n"},
    {"E type", 6, 1000, 270, "you chose E type TC", "sensor：E type TC\r\n"},
    {"PT1000", 5, 300, 50, "you chose PT1000 TC", "sensor：PT1000 RTC\r\n"},
    {"Cu50", 7, 150, 50, "you chose Cu50 RTC", "sensor：Cu50\r\n"},
    {"N type", 4, 1000, 270, "you chose N type TC", "sensor：N type TC\r\n"},
    {"J type", 8, 1200, 210, "you chose J type TC", "sensor：J type TC\r\n"},
};
// A device code that no sensor of the list has: one past the highest. The
// list's length stands beside it, so that a tenth sensor breaks nothing here.
inline constexpr int kCodeOfNoSensor = [] {
  int highest = 0;
  for (const Sensor& sensor : kSensors) highest = sensor.code > highest ? sensor.code : highest;
  return highest + 1;
}();
inline constexpr int kSensorCount = static_cast<int>(sizeof kSensors / sizeof kSensors[0]);
inline constexpr int kKType = 3;
inline constexpr int kEType = 4;

}  // namespace texts

#endif
