// The end-to-end suite's hold on the Windows program: the Wine slot a test
// runs in (set up by wine_fixture.sh), and corvelle-driver.exe, which works
// the real window from outside under Wine, one command and one answer per line.
#ifndef CORVELLE_TESTS_E2E_WINE_HARNESS_H
#define CORVELLE_TESTS_E2E_WINE_HARNESS_H

#include <sys/types.h>

#include <string>
#include <vector>

namespace e2e {

// Where this test's Wine prefix, display and COM12 link live: slot N of the
// fixture under CORVELLE_E2E_WORK, N from CTest's resource allocation (0 for
// a test run on its own). Empty when the fixture is missing.
struct WineSlot {
  std::string dir;
  std::string prefix;   // WINEPREFIX
  std::string display;  // DISPLAY, e.g. ":3"
  std::string com12;    // the link Wine lists as COM12
};
WineSlot FindWineSlot();

// Points COM12 of `slot` at `target` (a device, a folder, /dev/null), in one step.
bool PointCom12At(const WineSlot& slot, const std::string& target);

// "Z:\path\to\file" for a path of this machine.
std::string WindowsPath(const std::string& path);

// The driver program under Wine, with its standard error in `logPath`.
class Driver {
 public:
  Driver() = default;
  ~Driver();
  Driver(const Driver&) = delete;
  Driver& operator=(const Driver&) = delete;

  // `environment` adds NAME=VALUE entries to the environment of the driver
  // and of the programs it starts.
  bool Start(const WineSlot& slot, const std::string& driverExe, const std::string& logPath,
             const std::vector<std::string>& environment = {});
  // Sends one command and returns the driver's answer without its time stamp
  // ("ok ...", "fail ..."), or "no answer" after `timeoutMs`.
  std::string Ask(const std::string& command, int timeoutMs = 60000);
  // Ends the driver (and, through "kill", the program it started).
  void Stop();

 private:
  pid_t pid_ = -1;
  int toDriver_ = -1;
  int fromDriver_ = -1;
  std::string pending_;
};

// Runs a shell command and returns what it printed; `status` gets its exit status.
std::string RunCommand(const std::string& command, int* status);

}  // namespace e2e

#endif
