// corvelle_bench_native: the Linux window measured natively, on Qt's offscreen
// platform against the simulator on a pseudo-terminal: when each step of each
// operation reaches the window against its nominal moment, how long after the
// simulator's last reply byte the reply flag rises, what the look for another
// program holding the port costs an opening, and the program's start-up and
// idle cost against an empty QDialog measured in the same run. Prints
// markdown for docs/performance.md.
//
// usage: corvelle_bench_native [RUNS]   (default 5; start-up takes 8 at least)
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QThread>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/qt/main_window.h"
#include "bench/measure.h"
#include "link/port_discovery.h"
#include "link/posix/per_system.h"
#include "link/serial_link.h"
#include "ops/operation_state.h"
#include "tests/support/simulated_line.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start, Clock::time_point at) {
  return std::chrono::duration<double, std::milli>(at - start).count();
}

void ServeWindowUntilReady() {
  while (readyForCommand.load() != 1) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    QThread::usleep(200);
  }
}

void TimingFidelity(MainWindow& window, int runs) {
  std::vector<std::pair<std::string, Clock::time_point>> shown;
  auto* message = window.findChild<QPlainTextEdit*>("IDC_MESSAGE");
  const QMetaObject::Connection recording =
      QObject::connect(message, &QPlainTextEdit::textChanged, [&] {
        shown.push_back({window.Text(IDC_MESSAGE), Clock::now()});
      });
  bench::PrintTimingFidelity(runs, [&](const timeline::Operation& op, auto& lateness) {
    shown.clear();
    auto* button = qobject_cast<QPushButton*>(window.Control(op.command));
    const auto start = Clock::now();
    button->click();
    ServeWindowUntilReady();
    std::size_t next = 0;
    for (const auto& [text, at] : shown) {
      if (next < op.steps.size() && text == op.steps[next].text) {
        lateness[next].push_back(MsSince(start, at) - op.steps[next].atMs);
        ++next;
      }
    }
  });
  QObject::disconnect(recording);
}

void ReplyLatency(MainWindow& window, sim::SimulatedTransmitter& device, int runs) {
  std::vector<double> micros;
  for (int i = 0; i < runs; ++i) {
    replyArrived.store(0);
    PortHandle port;
    OpenPortWithReader(port, &window, portName, ReplyKind::kSetting);
    const std::uint8_t request = 'B';
    SendFrame(&window, &request, 1, port);
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (replyArrived.load() != 1 && Clock::now() < deadline) {
    }
    const auto raised = Clock::now();
    const auto replies = device.Replies();
    if (replyArrived.load() == 1 && !replies.empty()) {
      micros.push_back(MsSince(replies.back().at, raised) * 1000.0);
    }
  }
  std::printf("| reply flag raised after the last reply byte, µs | %zu of %d | %s |\n",
              micros.size(), runs, bench::Row(bench::Summarise(micros), 0).c_str());
}

// The look for another holder as every opening makes it, with `extra` more
// processes of this user's running (each with its standard streams open): no
// process holds the port, so every one of them is looked at.
void HolderCheck(sim::SimulatedTransmitter& device, int extra, int runs) {
  std::vector<pid_t> sleepers;
  char sleep[] = "sleep";
  char seconds[] = "120";
  char* argv[] = {sleep, seconds, nullptr};
  for (int i = 0; i < extra; ++i) {
    pid_t pid = 0;
    if (posix_spawnp(&pid, "sleep", nullptr, nullptr, argv, environ) == 0) sleepers.push_back(pid);
  }
  int processes = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    processes += std::isdigit(static_cast<unsigned char>(entry.path().filename().string()[0])) != 0;
  }
  const int fd = open(device.TerminalPath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    const auto start = Clock::now();
    const bool held = OtherHolderOf(fd, 0).has_value();
    if (!held) ms.push_back(MsSince(start, Clock::now()));
  }
  close(fd);
  for (pid_t pid : sleepers) kill(pid, SIGKILL);
  for (pid_t pid : sleepers) waitpid(pid, nullptr, 0);
  std::printf("| %d processes on the machine (%zu of them started for this) | %zu of %d | %s |\n",
              processes, sleepers.size(), ms.size(), runs,
              bench::Row(bench::Summarise(ms), 2).c_str());
}

long long MonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

QProcessEnvironment Environment(const std::string& portDir, bool reportShown) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("QT_QPA_PLATFORM", "offscreen");
  environment.insert("CORVELLE_PORT_DIR", QString::fromStdString(portDir));
  if (reportShown) {
    environment.insert("LD_PRELOAD", CORVELLE_PRELOAD);
    environment.insert("CORVELLE_QT_SHOWN", "1");
  }
  return environment;
}

// Milliseconds from starting `program` to its first window on screen.
double StartUp(const char* program, const std::string& portDir) {
  QProcess process;
  process.setProcessEnvironment(Environment(portDir, true));
  const long long start = MonotonicNs();
  process.start(program, {});
  process.waitForFinished(20000);
  const std::string errors = process.readAllStandardError().toStdString();
  const auto at = errors.find("shown at ");
  if (at == std::string::npos) return -1;
  return (std::atoll(errors.c_str() + at + 9) - start) / 1e6;
}

// A program left alone for `seconds` after it settled.
bench::Idle IdleCost(const char* program, const std::string& portDir, int seconds) {
  QProcess process;
  process.setProcessEnvironment(Environment(portDir, false));
  process.start(program, {});
  process.waitForStarted(5000);
  QThread::sleep(2);
  const auto before = bench::SampleProcess(static_cast<pid_t>(process.processId()));
  QThread::sleep(static_cast<unsigned long>(seconds));
  const auto after = bench::SampleProcess(static_cast<pid_t>(process.processId()));
  process.kill();
  process.waitForFinished(5000);
  return bench::IdleBetween(before, after, seconds);
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);

  testing_sim::SimulatedLine line;
  if (!line.StartLine()) return 1;
  const std::string folder = line.folder_;

  {
    MainWindow window;
    window.show();
    QCoreApplication::processEvents();
    window.SetText(IDC_COLD_PORT_TEMP, "25");
    window.SetText(IDC_INPUT_MAX, "1000");
    window.SetText(IDC_INPUT_MIN, "0");
    static_cast<QComboBox*>(window.Control(IDC_SENSOR_TYPE))->setCurrentIndex(3);
    static_cast<QComboBox*>(window.Control(IDC_MIN_SIGN))->setCurrentIndex(0);

    std::printf("### Timing fidelity: the Linux window, natively (%d runs)\n\n", runs);
    std::printf(
        "Milliseconds after each step's nominal moment, from the click to the moment the\n"
        "text reaches the widget on the user-interface thread (a monotonic clock with\n"
        "nanosecond resolution, read there; painting follows within the next frame).\n\n");
    TimingFidelity(window, runs);

    std::printf("\n### Reply latency, natively (%d replies)\n\n", runs * 10);
    std::printf(
        "From the simulator's write of the last reply byte returning to `replyArrived`\n"
        "seen raised by a thread spinning on it. The wire would add 11.5 ms for 11 bytes at\n"
        "9600 8N1; a pseudo-terminal has no line timing, so this is the program's own share:\n"
        "the reader's wake-up, read and publication.\n\n");
    std::printf("| measure | replies | min | median | max |\n|---|---|---|---|---|\n");
    ReplyLatency(window, *line.device_, runs * 10);
  }

  std::printf("\n### The look for another program holding the port (%d looks each)\n\n",
              runs * 10);
  std::printf(
      "Every opening on Linux reads the UUCP lock folders and the descriptors of every\n"
      "process of the user's; here none holds the port, so each look reads them all.\n"
      "Milliseconds per look.\n\n");
  std::printf("| processes | looks | min | median | max |\n|---|---|---|---|---|\n");
  HolderCheck(*line.device_, 0, runs * 10);
  HolderCheck(*line.device_, 300, runs * 10);

  // Against an empty QDialog, alternating launches; no simulator is published.
  line.device_.reset();
  const int launches = std::max(8, runs);
  std::vector<double> ours, minimal;
  for (int i = 0; i < launches; ++i) {
    ours.push_back(StartUp(CORVELLE_PROGRAM, folder));
    minimal.push_back(StartUp(CORVELLE_MINIMAL, folder));
  }
  std::printf("\n### Start-up of the Linux window (%d launches each, alternating)\n\n", launches);
  std::printf(
      "From process start to the first exposure of its window (offscreen), reported by the\n"
      "preloaded script library on the monotonic clock.\n\n");
  bench::PrintStartUp("corvelle", ours, "empty QDialog", minimal);

  const int seconds = 10;
  const bench::Idle idleOurs = IdleCost(CORVELLE_PROGRAM, folder, seconds);
  const bench::Idle idleMinimal = IdleCost(CORVELLE_MINIMAL, folder, seconds);
  std::printf("\n### Idle cost of the Linux window (%d s each, offscreen)\n\n", seconds);
  std::printf(
      "Threads named \"Thread (pooled)\" belong to Qt's global thread pool, which its\n"
      "raster painter starts for large areas; the worker and the reader exist only\n"
      "while an operation runs.\n\n");
  bench::PrintIdle("corvelle", idleOurs, "empty QDialog", idleMinimal);
  line.StopLine();
  return 0;
}
