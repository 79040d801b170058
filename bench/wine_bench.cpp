// corvelle_bench_wine: the Windows program measured under Wine, worked by
// corvelle-driver.exe against the simulator: when each step of each operation
// shows against its nominal moment, and start-up and idle cost against an
// empty dialog with the same manifest, measured in the same run. Needs the
// end-to-end fixture (CORVELLE_E2E_WORK, slot 0). Prints markdown.
//
// usage: corvelle_bench_wine [RUNS]   (default 5; start-up takes 8 at least)
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/measure.h"
#include "tests/e2e/wine_harness.h"
#include "tests/support/driver_text.h"
#include "tests/support/simulated_line.h"

namespace {

const std::string kBuild = CORVELLE_WINDOWS_BUILD_DIR;
const std::string kProgram = kBuild + "/src/app/win32/corvelle.exe";
const std::string kMinimal = kBuild + "/bench/minimal-dialog.exe";
const std::string kDriverExe = kBuild + "/tests/e2e/windows/corvelle-driver.exe";

e2e::Driver driver;

bool Ok(const std::string& answer) {
  return answer == "ok" || answer.rfind("ok ", 0) == 0;
}

// The milliseconds a "t=NNNms" answer reports, or -1.
double Ms(const std::string& answer) {
  const auto at = answer.find("t=");
  return Ok(answer) && at != std::string::npos ? std::atof(answer.c_str() + at + 2) : -1;
}

void Step(const std::string& command) {
  const std::string answer = driver.Ask(command);
  if (!Ok(answer)) std::fprintf(stderr, "'%s' answered %s\n", command.c_str(), answer.c_str());
}

void TimingFidelity(int runs) {
  bench::PrintTimingFidelity(runs, [&](const timeline::Operation& op, auto& lateness) {
    Step("click " + std::to_string(op.command));
    for (std::size_t i = 0; i < op.steps.size(); ++i) {
      const double ms = Ms(driver.Ask("wait " + std::to_string(IDC_MESSAGE) + " 0 20000 " +
                                      driver_text::Escape(op.steps[i].text)));
      if (ms >= 0) lateness[i].push_back(ms - op.steps[i].atMs);
    }
    Step("sleep 300");  // the gate opens right after the outcome
  });
}

double StartUp(const std::string& program) {
  const double ms = Ms(driver.Ask("launch " + e2e::WindowsPath(program)));
  Step("close");
  Step("exited 5000");
  return ms;
}

// The newest Linux process of a Windows program of this name.
pid_t FindProcess(const char* name) {
  int status = 0;
  const std::string pid = e2e::RunCommand(std::string("pgrep -n -f '") + name + "'", &status);
  return static_cast<pid_t>(std::atoi(pid.c_str()));
}

bench::Idle IdleCost(const std::string& program, const char* processName, int seconds) {
  Step("launch " + e2e::WindowsPath(program));
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const pid_t pid = FindProcess(processName);
  const auto before = bench::SampleProcess(pid);
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const auto after = bench::SampleProcess(pid);
  Step("close");
  Step("exited 5000");
  return bench::IdleBetween(before, after, seconds);
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const e2e::WineSlot slot = e2e::FindWineSlot();
  if (slot.dir.empty()) {
    std::fprintf(stderr, "no Wine fixture: set CORVELLE_E2E_WORK (see bench/run.sh)\n");
    return 2;
  }
  testing_sim::SimulatedLine line;
  if (!line.StartLine()) return 1;
  e2e::PointCom12At(slot, line.device_->PortPath());
  if (!driver.Start(slot, e2e::WindowsPath(kDriverExe), slot.dir + "/bench.wine.log")) return 1;
  Step("poll 1");

  Step("launch " + e2e::WindowsPath(kProgram));
  Step("settext " + std::to_string(IDC_COLD_PORT_TEMP) + " 25");
  Step("settext " + std::to_string(IDC_INPUT_MAX) + " 1000");
  Step("settext " + std::to_string(IDC_INPUT_MIN) + " 0");
  Step("select " + std::to_string(IDC_SENSOR_TYPE) + " 3");
  Step("select " + std::to_string(IDC_MIN_SIGN) + " 0");
  std::printf("### Timing fidelity: the Windows program under Wine (%d runs)\n\n", runs);
  std::printf(
      "Milliseconds after each step's nominal moment, from the driver posting the click\n"
      "to the driver reading the new text from the control. The driver looks every\n"
      "millisecond, and each look is a message to the program, so a figure can be about\n"
      "a millisecond late on its own account.\n\n");
  TimingFidelity(runs);
  Step("close");
  Step("exited 5000");

  const int launches = std::max(8, runs);
  std::vector<double> ours, minimal;
  for (int i = 0; i < launches; ++i) {
    ours.push_back(StartUp(kProgram));
    minimal.push_back(StartUp(kMinimal));
  }
  std::printf(
      "\n### Start-up of the Windows program under Wine (%d launches each, alternating)\n\n",
      launches);
  std::printf(
      "From the driver's CreateProcess to the window being visible, looked for every\n"
      "millisecond.\n\n");
  bench::PrintStartUp("corvelle.exe", ours, "empty dialog, same manifest", minimal);

  const int seconds = 10;
  const bench::Idle idleOurs = IdleCost(kProgram, "corvelle\\.exe", seconds);
  const bench::Idle idleMinimal = IdleCost(kMinimal, "minimal-dialog\\.exe", seconds);
  std::printf("\n### Idle cost of the Windows program under Wine (%d s each)\n\n", seconds);
  std::printf(
      "The Linux process that runs the Windows program (Wine's own threads included);\n"
      "wineserver is shared and not counted. The program has only its user-interface\n"
      "thread at idle. Its wake-ups come from the blinking caret of the focused edit\n"
      "(the port name), not from the program: the empty dialog given one read-only edit\n"
      "at that place also woke about 15 times a second when this was checked by hand.\n\n");
  bench::PrintIdle("corvelle.exe", idleOurs, "empty dialog, same manifest", idleMinimal);

  driver.Stop();
  e2e::PointCom12At(slot, "/dev/null");
  line.StopLine();
  return 0;
}
