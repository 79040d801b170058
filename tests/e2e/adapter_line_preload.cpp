// Preloaded into the Wine processes of an end-to-end case: the output queue of
// every pseudo-terminal written to trails each write as a USB serial
// adapter's does (tests/support/adapter_queue.h). Wine's serial driver reads
// the queue with ioctl(TIOCOUTQ), so the Windows program's ClearCommError sees
// it too; a pseudo-terminal alone reports it empty the moment a write returns.
//
// With CORVELLE_ADAPTER_LOG set, each look that found bytes still queued
// appends a line there, so that a test can tell the adapter was in place.
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>

#include "tests/support/adapter_queue.h"

namespace {

testing_line::AdapterOutputQueue queue;

using WriteFunction = ssize_t (*)(int, const void*, size_t);
using IoctlFunction = int (*)(int, unsigned long, void*);

WriteFunction RealWrite() {
  static const auto real = reinterpret_cast<WriteFunction>(dlsym(RTLD_NEXT, "write"));
  return real;
}

bool IsPseudoTerminal(int fd) {
  struct stat info {};
  return fstat(fd, &info) == 0 && S_ISCHR(info.st_mode) && major(info.st_rdev) >= 136 &&
         major(info.st_rdev) <= 143;
}

void NoteQueued(int queued) {
  const char* path = getenv("CORVELLE_ADAPTER_LOG");
  if (path == nullptr || path[0] == '\0') return;
  const int log = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (log < 0) return;
  char line[32];
  const int length = std::snprintf(line, sizeof line, "queued %d\n", queued);
  if (length > 0) RealWrite()(log, line, static_cast<size_t>(length));
  close(log);
}

}  // namespace

extern "C" ssize_t write(int fd, const void* buffer, size_t count) {
  const ssize_t written = RealWrite()(fd, buffer, count);
  if (written > 0 && IsPseudoTerminal(fd)) queue.Wrote(static_cast<std::size_t>(written));
  return written;
}

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
  static const auto real = reinterpret_cast<IoctlFunction>(dlsym(RTLD_NEXT, "ioctl"));
  va_list arguments;
  va_start(arguments, request);
  void* argument = va_arg(arguments, void*);
  va_end(arguments);
  const int result = real(fd, request, argument);
  if (result == 0 && request == TIOCOUTQ && IsPseudoTerminal(fd)) {
    const int queued = queue.Queued();
    *static_cast<int*>(argument) = queued;
    if (queued > 0) NoteQueued(queued);
  }
  return result;
}
