// The POSIX stand-in for shell-started programs, against real processes.
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "platform/posix/posix_platform.h"
#include "platform/win_constants.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Strings = std::vector<std::string>;

constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;
constexpr std::uint32_t kTimedOut = WAIT_TIMEOUT, kEnded = WAIT_OBJECT_0, kFailed = WAIT_FAILED;

std::string ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

// Waits up to five seconds for `path` to appear.
bool Appears(const fs::path& path) {
  for (auto end = Clock::now() + std::chrono::seconds(5); Clock::now() < end;) {
    if (fs::exists(path)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

TEST(SplitParameters, QuotesGroupBlanksAndAreDropped) {
  EXPECT_EQ(
      SplitParameters(u"/output:\"\\home\\a b\\installedapps.txt\" product get name, version"),
      (Strings{"/output:/home/a b/installedapps.txt", "product", "get", "name,", "version"}));
  EXPECT_EQ(SplitParameters(u"/nfo \"\\x  y\\sysinfo.nfo\""),
            (Strings{"/nfo", "/x  y/sysinfo.nfo"}));
  EXPECT_EQ(SplitParameters(u"  a\t\tb  "), (Strings{"a", "b"}));
  EXPECT_EQ(SplitParameters(u"a\"b c\"d \"\" e"), (Strings{"ab cd", "", "e"}));
  EXPECT_EQ(SplitParameters(u""), Strings{});
  EXPECT_EQ(SplitParameters(u"\"open quote runs to the end"),
            Strings{"open quote runs to the end"});
  EXPECT_EQ(SplitParameters(u"\"$(x); `y` & *\" '\u00e9'"),
            (Strings{"$(x); `y` & *", "'\xc3\xa9'"}));
  // Shell syntax is text like any other: only blanks and tabs outside
  // quotes split, so a newline, ";" or "|" never does.
  EXPECT_EQ(SplitParameters(u"\"a;b && c|d\nrm *\" x;y|z\n$HOME %s%n%ls"),
            (Strings{"a;b && c|d\nrm *", "x;y|z\n$HOME", "%s%n%ls"}));
}

// Environment variables set for one test and restored after it.
class ScopedEnvironment {
 public:
  void Set(const char* name, const char* value) {
    const char* old = std::getenv(name);
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~ScopedEnvironment() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      const char* name = it->first.c_str();
      it->second ? ::setenv(name, it->second->c_str(), 1) : ::unsetenv(name);
    }
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

class PosixProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/velmora-posix-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  // A program that records its pid and its arguments, one per line, then runs `body`.
  fs::path Script(const std::string& name, const std::string& body) {
    fs::path path = dir_ / name;
    const std::string at = path.string();  // absolute: the program runs from another folder
    std::ofstream(path) << "#!/bin/sh\necho $$ > \"" << at << ".pid\"\nprintf '%s\\n' \"$@\" > \""
                        << at << ".args\"\n"
                        << body << "\n";
    fs::permissions(path, fs::perms::owner_all);
    return path;
  }

  Handle Start(const fs::path& program, const WString& parameters,
               std::uint32_t mask = SEE_MASK_NOCLOSEPROCESS, const WString& verb = u"open") {
    ShellExecuteRequest request;
    request.mask = mask;
    request.verb = verb;
    request.file = FromNativePath(program.string());
    request.parameters = parameters;
    request.show = SW_SHOWNORMAL;
    return platform_.ShellExecuteExW(request);
  }

  void RunToEnd(Handle handle) {
    ASSERT_NE(handle, nullptr);
    platform_.WaitForSingleObject(handle, kInfinite);
    platform_.CloseHandle(handle);
  }

  Platform& platform_ = SystemPlatform();
  fs::path dir_;
};

TEST_F(PosixProcessTest, WaitsReportRunningThenEndedAndRememberTheExit) {
  Handle handle = Start(Script("p", "sleep 0.3"), u"");
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(platform_.WaitForSingleObject(handle, 0), kTimedOut);

  auto before = Clock::now();
  EXPECT_EQ(platform_.WaitForSingleObject(handle, 50), kTimedOut);
  EXPECT_GE(Clock::now() - before, std::chrono::milliseconds(50));

  EXPECT_EQ(platform_.WaitForSingleObject(handle, kInfinite), kEnded);
  EXPECT_GE(Clock::now() - before, std::chrono::milliseconds(250));
  EXPECT_EQ(platform_.WaitForSingleObject(handle, 0), kEnded) << "the reaped exit is remembered";
  EXPECT_EQ(platform_.WaitForSingleObject(handle, 20), kEnded);

  EXPECT_TRUE(platform_.CloseHandle(handle));
  EXPECT_FALSE(platform_.CloseHandle(handle)) << "a handle closes once";
  EXPECT_EQ(platform_.WaitForSingleObject(handle, 0), kFailed);
  EXPECT_EQ(platform_.WaitForSingleObject(nullptr, 0), kFailed);
}

TEST_F(PosixProcessTest, BoundedWaitReturnsOnceTheProcessEnds) {
  Handle handle = Start(Script("p", "sleep 0.1"), u"");
  ASSERT_NE(handle, nullptr);
  auto before = Clock::now();
  EXPECT_EQ(platform_.WaitForSingleObject(handle, 10000), kEnded);
  EXPECT_LT(Clock::now() - before, std::chrono::seconds(5));
  platform_.CloseHandle(handle);
}

TEST_F(PosixProcessTest, ParametersReachTheProgramLiterallyWithoutAShell) {
  const std::string odd = dir_.string() + "/$(touch " + dir_.string() + "/PWNED); `touch " +
                          dir_.string() + "/TICK` & * ;x";
  RunToEnd(
      Start(Script("p", ""), u"/output:\"" + FromNativePath(odd) + u"\\out.txt\" get  name, \"\""));
  EXPECT_EQ(ReadFile(dir_ / "p.args"), "/output:" + odd + "/out.txt\nget\nname,\n\n");
  EXPECT_FALSE(fs::exists(dir_ / "PWNED"));
  EXPECT_FALSE(fs::exists(dir_ / "TICK"));
}

TEST_F(PosixProcessTest, ProgramIsLookedUpOnPath) {
  Script("velmora-on-path", "");
  {
    ScopedEnvironment environment;
    environment.Set("PATH", (dir_.string() + ":" + std::getenv("PATH")).c_str());
    RunToEnd(Start("velmora-on-path", u"one \"two three\""));
  }
  EXPECT_EQ(ReadFile(dir_ / "velmora-on-path.args"), "one\ntwo three\n");
}

TEST_F(PosixProcessTest, NothingStartsForAMissingProgramOrAnotherVerb) {
  EXPECT_EQ(Start("velmora-no-such-program", u""), nullptr);
  EXPECT_EQ(Start(dir_ / "missing", u""), nullptr);
  fs::path script = Script("p", "");
  EXPECT_EQ(Start(script, u"", SEE_MASK_NOCLOSEPROCESS, u"print"), nullptr);
  EXPECT_FALSE(fs::exists(dir_ / "p.pid"));
}

TEST_F(PosixProcessTest, WithoutTheHandleMaskTheProgramRunsUnwatched) {
  EXPECT_EQ(Start(Script("p", ""), u"x", 0), nullptr);
  EXPECT_TRUE(Appears(dir_ / "p.args"));
}

TEST_F(PosixProcessTest, ClosingLeavesTheProcessRunningAndItsExitIsCollectedLater) {
  fs::path done = dir_ / "done";
  Handle handle = Start(Script("p", "sleep 0.3; touch \"" + done.string() + "\""), u"");
  ASSERT_NE(handle, nullptr);
  ASSERT_TRUE(Appears(dir_ / "p.pid"));
  EXPECT_TRUE(platform_.CloseHandle(handle));
  EXPECT_FALSE(fs::exists(done));
  ASSERT_TRUE(Appears(done)) << "the process went on after its handle was closed";

  const pid_t pid = std::stoi(ReadFile(dir_ / "p.pid"));
  // A later start collects the ended process: no zombie stays behind.
  bool gone = false;
  for (auto end = Clock::now() + std::chrono::seconds(5); !gone && Clock::now() < end;) {
    Start("velmora-no-such-program", u"");
    gone = ::kill(pid, 0) != 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(gone);
}

// The report programs are started from the root folder, which stands for
// the system directory; a program named like them in the folder the tool
// was started from is never the one started: names are looked up on PATH.
TEST_F(PosixProcessTest, StartsFromTheRootFolderAndNeverFromTheCurrentOne) {
  WChar buffer[kMaxPath];
  const std::uint32_t length = platform_.GetSystemDirectoryW(buffer);
  ASSERT_EQ(WString(buffer, length), u"\\");

  const fs::path before = fs::current_path();
  ASSERT_TRUE(platform_.SetCurrentDirectoryW(FromNativePath(dir_.string())));
  EXPECT_EQ(fs::current_path(), dir_);
  Script("velmora-planted", "");
  {
    ScopedEnvironment environment;
    environment.Set("PATH", "/usr/bin:/bin");
    EXPECT_EQ(Start("velmora-planted", u""), nullptr);
  }
  EXPECT_FALSE(fs::exists(dir_ / "velmora-planted.pid"));

  EXPECT_FALSE(platform_.SetCurrentDirectoryW(FromNativePath((dir_ / "missing").string())));
  EXPECT_EQ(platform_.GetLastError(), static_cast<std::uint32_t>(ERROR_PATH_NOT_FOUND));
  ASSERT_TRUE(platform_.SetCurrentDirectoryW(WString(buffer, length)));
  EXPECT_EQ(fs::current_path(), fs::path("/"));
  fs::current_path(before);
}

// Folder paths stay right after the current folder has changed: a relative
// HOME is read from where the tool was started.
TEST_F(PosixProcessTest, FolderLookupsGiveAbsolutePaths) {
  const fs::path before = fs::current_path();
  fs::current_path(dir_);
  ScopedEnvironment environment;
  environment.Set("HOME", "relative home");
  environment.Set("XDG_CONFIG_HOME", nullptr);
  environment.Set("XDG_DATA_HOME", nullptr);
  WChar buffer[kMaxPath];
  ASSERT_GE(platform_.SHGetFolderPathW(CSIDL_DESKTOP, buffer), 0);
  EXPECT_EQ(WString(buffer), FromNativePath((dir_ / "relative home" / "Desktop").string()));
  ASSERT_GE(platform_.SHGetFolderPathW(CSIDL_LOCAL_APPDATA, buffer), 0);
  EXPECT_EQ(WString(buffer), FromNativePath((dir_ / "relative home" / ".local/share").string()));
  fs::current_path(before);
}

}  // namespace
}  // namespace velmora
