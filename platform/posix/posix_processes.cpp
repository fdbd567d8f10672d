// Programs started in the shell's place, and waiting for them. A program is
// looked up on PATH and started directly, never through /bin/sh, so that
// nothing in its parameter text is ever read as shell syntax.
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <set>
#include <vector>

#include "platform/posix/posix_platform.h"
#include "platform/win_constants.h"

extern char** environ;

namespace velmora {
namespace {

// What a process handle points to.
struct PosixProcess {
  pid_t pid = 0;
  bool reaped = false;  // its exit has been collected; the pid is free again
};

// The handles given out and not closed yet: closing or waiting on anything
// else fails, as on Windows, instead of touching freed memory.
std::set<PosixProcess*>& OpenHandles() {
  static std::set<PosixProcess*> handles;
  return handles;
}

// Children whose handles were closed (or never given out) while they ran.
// They keep running; their exits are collected later, so that no zombies
// pile up in a process that starts many programs.
std::vector<pid_t>& Unwatched() {
  static std::vector<pid_t> pids;
  return pids;
}

void ReapUnwatched() {
  auto& pids = Unwatched();
  pids.erase(std::remove_if(pids.begin(), pids.end(),
                            [](pid_t pid) {
                              int status = 0;
                              pid_t result = ::waitpid(pid, &status, WNOHANG);
                              return result == pid || (result < 0 && errno == ECHILD);
                            }),
             pids.end());
}

PosixProcess* Lookup(Handle handle) {
  auto* process = static_cast<PosixProcess*>(handle);
  return OpenHandles().count(process) != 0 ? process : nullptr;
}

// Collects the exit when there is one. True once the process has ended.
bool PollExit(PosixProcess& process, int options, bool& failed) {
  failed = false;
  if (process.reaped) return true;
  int status = 0;
  pid_t result;
  do {
    result = ::waitpid(process.pid, &status, options);
  } while (result < 0 && errno == EINTR);
  if (result == process.pid) {
    process.reaped = true;
    return true;
  }
  failed = result < 0;
  return false;
}

void SleepFor(std::chrono::nanoseconds duration) {
  timespec remaining{static_cast<time_t>(duration.count() / 1000000000),
                     static_cast<long>(duration.count() % 1000000000)};
  while (::nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

}  // namespace

// Split much as a Windows program's runtime splits its command line, so a
// quoted output path stays whole; quotes are never escaped in the texts the
// tool passes, so there are no escape rules.
std::vector<std::string> SplitParameters(const WString& parameters) {
  std::vector<std::string> arguments;
  WString current;
  bool inArgument = false;
  bool quoted = false;
  for (WChar c : parameters) {
    if (c == u'"') {
      quoted = !quoted;
      inArgument = true;
    } else if (!quoted && (c == u' ' || c == u'\t')) {
      if (inArgument) arguments.push_back(ToNativePath(current));
      current.clear();
      inArgument = false;
    } else {
      current += c;
      inArgument = true;
    }
  }
  if (inArgument) arguments.push_back(ToNativePath(current));
  return arguments;
}

Handle PosixPlatform::ShellExecuteExW(const ShellExecuteRequest& request) {
  ReapUnwatched();
  // Only "open" (or the default verb) means running a program here.
  if (!request.verb.empty() && request.verb != u"open") return nullptr;
  if (request.file.empty()) return nullptr;

  std::string program = ToNativePath(request.file);
  std::vector<std::string> arguments = SplitParameters(request.parameters);
  std::vector<char*> argv;
  argv.push_back(program.data());
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  pid_t pid = 0;
  FlushConsoleBeforeStart();
  if (::posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
    return nullptr;
  }
  // Without SEE_MASK_NOCLOSEPROCESS the caller gets no handle.
  if ((request.mask & SEE_MASK_NOCLOSEPROCESS) == 0) {
    Unwatched().push_back(pid);
    return nullptr;
  }
  auto* process = new PosixProcess{pid, false};
  OpenHandles().insert(process);
  return process;
}

std::uint32_t PosixPlatform::WaitForSingleObject(Handle handle, std::uint32_t timeoutMs) {
  PosixProcess* process = Lookup(handle);
  if (process == nullptr) return WAIT_FAILED;
  bool failed = false;
  if (timeoutMs == 0xFFFFFFFFu) {  // INFINITE
    return PollExit(*process, 0, failed) ? WAIT_OBJECT_0 : WAIT_FAILED;
  }
  // A bounded wait polls: there is no portable way to wait for one child
  // with a time-out.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (PollExit(*process, WNOHANG, failed)) return WAIT_OBJECT_0;
    if (failed) return WAIT_FAILED;
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return WAIT_TIMEOUT;
    SleepFor(std::min<std::chrono::nanoseconds>(left, std::chrono::milliseconds(1)));
  }
}

void PosixPlatform::Sleep(std::uint32_t milliseconds) {
  SleepFor(std::chrono::milliseconds(milliseconds));
}

bool PosixPlatform::CloseHandle(Handle handle) {
  PosixProcess* process = Lookup(handle);
  if (process == nullptr) return false;
  OpenHandles().erase(process);
  // Closing a handle never ends the process; its exit is collected later.
  if (!process->reaped) Unwatched().push_back(process->pid);
  delete process;
  ReapUnwatched();
  return true;
}

}  // namespace velmora
