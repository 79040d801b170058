#include "tests/e2e/wine_harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace e2e {

WineSlot FindWineSlot() {
  const char* work = std::getenv("CORVELLE_E2E_WORK");
  if (work == nullptr || work[0] == '\0') return {};
  // CTest hands out slots as "id:N,slots:1".
  std::string id = "0";
  if (const char* group = std::getenv("CTEST_RESOURCE_GROUP_0_WINE")) {
    const std::string text = group;
    const auto start = text.find("id:");
    if (start != std::string::npos) id = text.substr(start + 3, text.find(',', start) - start - 3);
  }
  WineSlot slot;
  slot.dir = std::string(work) + "/slot-" + id;
  slot.prefix = slot.dir + "/wineprefix";
  slot.com12 = slot.dir + "/com12";
  std::ifstream display(slot.dir + "/display");
  std::string number;
  if (!(display >> number)) return {};
  slot.display = ":" + number;
  return slot;
}

bool PointCom12At(const WineSlot& slot, const std::string& target) {
  const std::string temporary = slot.com12 + ".new";
  unlink(temporary.c_str());
  return symlink(target.c_str(), temporary.c_str()) == 0 &&
         rename(temporary.c_str(), slot.com12.c_str()) == 0;
}

std::string WindowsPath(const std::string& path) {
  std::string out = "Z:" + path;
  for (char& c : out) {
    if (c == '/') c = '\\';
  }
  return out;
}

std::string RunCommand(const std::string& command, int* status) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    *status = -1;
    return output;
  }
  char buffer[512];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  const int raw = pclose(pipe);
  *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return output;
}

Driver::~Driver() {
  Stop();
}

bool Driver::Start(const WineSlot& slot, const std::string& driverExe, const std::string& logPath,
                   const std::vector<std::string>& extra) {
  int toChild[2];
  int fromChild[2];
  if (pipe2(toChild, O_CLOEXEC) != 0) return false;
  if (pipe2(fromChild, O_CLOEXEC) != 0) {
    close(toChild[0]);
    close(toChild[1]);
    return false;
  }
  const int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);

  // Everything the child needs is prepared before fork: the simulator's thread
  // runs in this process, so the child may only call async-signal-safe functions.
  std::vector<std::string> environment = {"WINEPREFIX=" + slot.prefix, "DISPLAY=" + slot.display,
                                          "WINEDEBUG=-all",
                                          "WINEDLLOVERRIDES=mscoree,mshtml=", "LANG=C.UTF-8"};
  for (const char* name : {"PATH", "HOME", "USER"}) {
    if (const char* value = std::getenv(name))
      environment.push_back(std::string(name) + "=" + value);
  }
  environment.insert(environment.end(), extra.begin(), extra.end());
  std::vector<char*> envp;
  for (auto& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string wine = "wine";
  std::string exe = driverExe;
  char* argv[] = {wine.data(), exe.data(), nullptr};

  pid_ = fork();
  if (pid_ == 0) {
    dup2(toChild[0], STDIN_FILENO);
    dup2(fromChild[1], STDOUT_FILENO);
    if (log >= 0) dup2(log, STDERR_FILENO);
    execvpe("wine", argv, envp.data());
    _exit(127);
  }
  close(toChild[0]);
  close(fromChild[1]);
  if (log >= 0) close(log);
  toDriver_ = toChild[1];
  fromDriver_ = fromChild[0];
  if (pid_ < 0) {
    Stop();
    return false;
  }
  return true;
}

std::string Driver::Ask(const std::string& command, int timeoutMs) {
  if (toDriver_ < 0) return "no driver";
  const std::string line = command + "\n";
  if (write(toDriver_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
    return "no driver";
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto newline = pending_.find('\n');
    if (newline != std::string::npos) {
      std::string answer = pending_.substr(0, newline);
      pending_.erase(0, newline + 1);
      if (!answer.empty() && answer.back() == '\r') answer.pop_back();
      const auto stamp = answer.find("] ");
      return stamp == std::string::npos ? answer : answer.substr(stamp + 2);
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return "no answer";
    pollfd p{fromDriver_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char buffer[1024];
    const ssize_t n = read(fromDriver_, buffer, sizeof buffer);
    if (n <= 0) return "no answer";
    pending_.append(buffer, static_cast<std::size_t>(n));
  }
}

void Driver::Stop() {
  if (pid_ > 0) {
    Ask("kill", 10000);
    Ask("quit", 5000);
    // The driver ends on "quit"; a driver that does not is ended here.
    for (int i = 0; i < 100; ++i) {
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        break;
      }
      usleep(20000);
    }
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }
  if (toDriver_ >= 0) close(toDriver_);
  if (fromDriver_ >= 0) close(fromDriver_);
  toDriver_ = fromDriver_ = -1;
  pending_.clear();
}

}  // namespace e2e
