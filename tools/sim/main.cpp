// corvelle-sim: runs a simulated transmitter until interrupted, publishing its
// port where the program's discovery on Linux finds it. Lines typed on
// standard input make it misbehave, for demonstrations and end-to-end tests.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

#include "link/posix/publish_folder.h"
#include "tools/sim/publication.h"
#include "tools/sim/simulated_transmitter.h"

namespace {

volatile sig_atomic_t stopRequested = 0;

void OnSignal(int) {
  stopRequested = 1;
}

const char kUsage[] =
    "usage: corvelle-sim [--port-dir DIR] [--name NAME] [--delay MS | --fast] [--cold TENTHS]\n"
    "\n"
    "Runs a simulated temperature transmitter on a pseudo-terminal until it is\n"
    "interrupted. Its port is published as DIR/NAME-PID (default DIR: %s),\n"
    "where the program's discovery on Linux finds it; the entry is removed on exit.\n"
    "DIR must be a folder of this user's that no one else can write to, or the\n"
    "program would not trust what is published there. CORVELLE_PORT_DIR in the\n"
    "environment changes the default DIR, as it does for the program.\n"
    "\n"
    "  --port-dir DIR   where to publish the port\n"
    "  --name NAME      first part of the published name (default: sim)\n"
    "  --delay MS       how long the device takes to answer (default: 30)\n"
    "  --fast           answer as quickly as a 9600 baud line allows: 1 ms after the\n"
    "                   request, a byte every 1.04 ms\n"
    "  --cold TENTHS    initial cold port temperature in tenths of a degree (default: 250)\n"
    "\n"
    "Commands on standard input, one per line, each for the next request:\n"
    "  silent | short N | extra N | late MS | garbage HEX... | vanish MS | pieces MS\n"
    "  cold TENTHS      set the cold port temperature\n"
    "  frames           print the frames received so far, in hex\n";

bool ParseInt(const char* text, int* value) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0') return false;
  *value = static_cast<int>(v);
  return true;
}

void PrintHex(const sim::Bytes& bytes) {
  for (std::size_t i = 0; i < bytes.size(); ++i) std::printf("%s%02X", i ? " " : "", bytes[i]);
  std::printf("\n");
}

void RunCommand(sim::SimulatedTransmitter& device, const std::string& line) {
  std::istringstream words(line);
  std::string verb;
  if (!(words >> verb)) return;
  sim::Misbehaviour m{sim::Misbehaviour::kSilent, 0, 0, {}};
  int n = 0;
  if (verb == "silent") {
    device.Misbehave(m);
  } else if (verb == "short" && words >> n) {
    device.Misbehave({sim::Misbehaviour::kShort, n, 0, {}});
  } else if (verb == "extra" && words >> n) {
    device.Misbehave({sim::Misbehaviour::kExtra, n, 0, {}});
  } else if (verb == "late" && words >> n) {
    device.Misbehave({sim::Misbehaviour::kLate, 0, n, {}});
  } else if (verb == "vanish" && words >> n) {
    device.Misbehave({sim::Misbehaviour::kVanish, 0, n, {}});
  } else if (verb == "pieces" && words >> n) {
    device.Misbehave({sim::Misbehaviour::kPieces, 0, n, {}});
  } else if (verb == "garbage") {
    m.kind = sim::Misbehaviour::kGarbage;
    std::string hex;
    while (words >> hex)
      m.bytes.push_back(static_cast<std::uint8_t>(std::strtoul(hex.c_str(), nullptr, 16)));
    device.Misbehave(m);
  } else if (verb == "cold" && words >> n) {
    device.SetColdPortTenths(n);
  } else if (verb == "frames") {
    for (const auto& frame : device.Frames()) PrintHex(frame.bytes);
  } else {
    std::printf("unknown command: %s\n", line.c_str());
  }
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  sim::SimOptions options;
  options.linkDir = PublishDir();
  int cold = 250;
  for (int i = 1; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::printf(kUsage, PublishDir().c_str());
      return 0;
    } else if (std::strcmp(argv[i], "--port-dir") == 0 && hasValue) {
      options.linkDir = argv[++i];
    } else if (std::strcmp(argv[i], "--name") == 0 && hasValue) {
      options.name = argv[++i];
    } else if (std::strcmp(argv[i], "--delay") == 0 && hasValue &&
               ParseInt(argv[i + 1], &options.replyDelayMs)) {
      ++i;
    } else if (std::strcmp(argv[i], "--fast") == 0) {
      options.replyDelayMs = 1;
      options.bytePacing = sim::kLinePace;
    } else if (std::strcmp(argv[i], "--cold") == 0 && hasValue && ParseInt(argv[i + 1], &cold)) {
      ++i;
    } else {
      std::fprintf(stderr, "corvelle-sim: bad argument '%s'\n", argv[i]);
      std::fprintf(stderr, kUsage, PublishDir().c_str());
      return 2;
    }
  }

  if (const std::string fault = sim::MakePrivateFolder(options.linkDir); !fault.empty()) {
    std::fprintf(stderr, "corvelle-sim: cannot publish the port: %s\n", fault.c_str());
    return 1;
  }

  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);

  try {
    sim::SimulatedTransmitter device(options);
    device.SetColdPortTenths(cold);
    std::printf("corvelle-sim: transmitter on %s (terminal %s)\n", device.PortPath().c_str(),
                device.TerminalPath().c_str());
    std::fflush(stdout);
    std::string line;
    bool inputOpen = true;
    while (!stopRequested) {
      pollfd p{STDIN_FILENO, POLLIN, 0};
      if (!inputOpen || poll(&p, 1, 200) <= 0) {
        if (!inputOpen) usleep(200000);
        continue;
      }
      char buffer[512];
      const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
      if (n <= 0) {
        inputOpen = false;  // no more commands; keep serving
        continue;
      }
      line.append(buffer, static_cast<std::size_t>(n));
      for (auto nl = line.find('\n'); nl != std::string::npos; nl = line.find('\n')) {
        RunCommand(device, line.substr(0, nl));
        line.erase(0, nl + 1);
      }
    }
    std::printf("corvelle-sim: stopped, %s removed\n", device.PortPath().c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "corvelle-sim: %s\n", e.what());
    return 1;
  }
  return 0;
}
