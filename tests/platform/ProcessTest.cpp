#include "platform/Process.h"

#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace ov {
namespace {

namespace fs = std::filesystem;
using test::ScopedEnv;
using test::TempDir;

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteScript(const fs::path& file, const std::string& body) {
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << "#!/bin/sh\n" << body;
  }
  fs::permissions(file, fs::perms::owner_all);
}

// Polls until the condition holds or five seconds pass.
template <typename Condition>
bool Eventually(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// Children of this process that have ended but were never waited for.
int ZombieChildren() {
  int zombies = 0;
  const pid_t self = ::getpid();
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/proc", error)) {
    const std::string stat = ReadFile(entry.path() / "stat");
    const auto close = stat.rfind(')');  // the command name may hold spaces and parentheses
    if (close == std::string::npos) continue;
    std::istringstream fields(stat.substr(close + 1));
    char state = 0;
    pid_t parent = 0;
    fields >> state >> parent;
    if (parent == self && state == 'Z') ++zombies;
  }
  return zombies;
}

TEST(SystemProcessRunner, RunAndWaitGivesTheExitCode) {
  SystemProcessRunner runner;
  EXPECT_EQ(runner.RunAndWait("/bin/sh", {"-c", "exit 3"}), 3);
  EXPECT_EQ(runner.RunAndWait("/bin/sh", {"-c", "exit 0"}), 0);
  EXPECT_EQ(runner.RunAndWait("/bin/sh", {"-c", "exit 255"}), 255);
  EXPECT_EQ(runner.RunAndWait("sh", {"-c", "exit 4"}), 4) << "a bare name is looked up on PATH";
}

TEST(SystemProcessRunner, RunAndWaitPassesTheArgumentsUnchanged) {
  TempDir dir;
  SystemProcessRunner runner;
  const fs::path out = dir / "args.txt";
  ASSERT_EQ(runner.RunAndWait("/bin/sh", {"-c", "printf '%s|' \"$0\" \"$@\" > \"$1\"", "zero", out.string(),
                                          "two words", "", "$HOME", "*"}),
            0);
  EXPECT_EQ(ReadFile(out), "zero|" + out.string() + "|two words||$HOME|*|");
}

TEST(SystemProcessRunner, ProgramsItStartsGetItsVariablesOverTheInheritedOnes) {
  TempDir dir;
  ScopedEnv env;
  env.Set("OVNSS_RUN_DIR", "/inherited").Set("OVNSS_TEST_KEPT", "kept");
  SystemProcessRunner runner;
  runner.SetEnvironment("OVNSS_RUN_DIR", "/first");
  runner.SetEnvironment("OVNSS_RUN_DIR", "/tmp/ovnss-run-1");
  const fs::path out = dir / "env.txt";
  ASSERT_EQ(runner.RunAndWait("/bin/sh", {"-c", "printf '%s|%s|' \"$OVNSS_RUN_DIR\" \"$OVNSS_TEST_KEPT\" > \"$0\"; "
                                                "env | grep -c '^OVNSS_RUN_DIR=' >> \"$0\"",
                                          out.string()}),
            0);
  EXPECT_EQ(ReadFile(out), "/tmp/ovnss-run-1|kept|1\n");
}

TEST(SystemProcessRunner, RunAndWaitGivesMinusOneWhenTheProgramCannotStart) {
  TempDir dir;
  SystemProcessRunner runner;
  EXPECT_EQ(runner.RunAndWait(dir / "no-such-program", {}), -1);
  EXPECT_EQ(runner.RunAndWait("ovnss-no-such-program-on-path", {}), -1);
  EXPECT_EQ(runner.RunAndWait("", {}), -1);

  const fs::path plain = dir / "not-executable";
  std::ofstream(plain) << "#!/bin/sh\nexit 0\n";
  EXPECT_EQ(runner.RunAndWait(plain, {}), -1);
}

TEST(SystemProcessRunner, RunAndWaitGivesMinusOneWhenTheChildIsKilled) {
  SystemProcessRunner runner;
  EXPECT_EQ(runner.RunAndWait("/bin/sh", {"-c", "kill -KILL $$"}), -1);
  EXPECT_EQ(runner.RunAndWait("/bin/sh", {"-c", "kill -TERM $$; sleep 5"}), -1);
}

extern "C" void IgnoreAlarm(int) {}

TEST(SystemProcessRunner, RunAndWaitKeepsWaitingThroughInterruptions) {
  // A handler without SA_RESTART makes every alarm interrupt the wait.
  struct sigaction quiet {};
  quiet.sa_handler = IgnoreAlarm;
  sigemptyset(&quiet.sa_mask);
  struct sigaction old {};
  ASSERT_EQ(::sigaction(SIGALRM, &quiet, &old), 0);
  itimerval every20ms{{0, 20000}, {0, 20000}};
  itimerval stopped{};
  ASSERT_EQ(::setitimer(ITIMER_REAL, &every20ms, nullptr), 0);

  SystemProcessRunner runner;
  const int code = runner.RunAndWait("/bin/sh", {"-c", "sleep 0.3; exit 5"});

  ::setitimer(ITIMER_REAL, &stopped, nullptr);
  ::sigaction(SIGALRM, &old, nullptr);
  EXPECT_EQ(code, 5);
}

TEST(SystemProcessRunner, StartDoesNotWaitAndLeavesNoZombie) {
  TempDir dir;
  SystemProcessRunner runner;
  const fs::path flag = dir / "started";
  const fs::path done = dir / "done";
  // The program waits for the flag this test writes, so Start cannot have
  // waited for it to end.
  ASSERT_TRUE(runner.Start("/bin/sh", {"-c", "while [ ! -e \"$0\" ]; do sleep 0.01; done; echo ok > \"$1\"",
                                       flag.string(), done.string()}));
  std::ofstream(flag) << "go";
  EXPECT_TRUE(Eventually([&] { return ReadFile(done) == "ok\n"; }));
  EXPECT_TRUE(Eventually([] { return ZombieChildren() == 0; }));
}

TEST(SystemProcessRunner, StartFailsWhenTheProgramCannotStart) {
  TempDir dir;
  SystemProcessRunner runner;
  EXPECT_FALSE(runner.Start(dir / "missing", {}));
}

TEST(SystemProcessRunner, ShellOpenRunsXdgOpenWithTheTarget) {
  TempDir dir;
  ScopedEnv env;
  const fs::path bin = dir / "bin";
  fs::create_directory(bin);
  const fs::path seen = dir / "seen.txt";
  WriteScript(bin / "xdg-open", "printf '%s' \"$*\" > '" + seen.string() + "'\n");
  env.Set("PATH", (dir / "empty").string() + ":" + bin.string());

  SystemProcessRunner runner;
  ASSERT_TRUE(runner.ShellOpen(dir / "My Folder"));
  EXPECT_TRUE(Eventually([&] { return ReadFile(seen) == (dir / "My Folder").string(); }));
  EXPECT_TRUE(Eventually([] { return ZombieChildren() == 0; }));
}

TEST(SystemProcessRunner, ShellOpenFailsWithoutXdgOpen) {
  TempDir dir;
  ScopedEnv env;
  // Neither a missing program nor one that is not executable will do.
  std::ofstream(dir / "xdg-open") << "#!/bin/sh\n";
  env.Set("PATH", dir.path().string());
  SystemProcessRunner runner;
  EXPECT_FALSE(runner.ShellOpen("/tmp"));
}

TEST(SystemProcessRunner, ShellOpenFailsWhenTheOpenerFindsNoProgramAndWaitsNotForAViewer) {
  TempDir dir;
  ScopedEnv env;
  env.Set("PATH", dir.path().string());
  SystemProcessRunner runner;
  WriteScript(dir / "xdg-open", "exit 3\n");  // xdg-open: no program for the file
  EXPECT_FALSE(runner.ShellOpen("/tmp/help.html"));
  // An opener that stays with the viewer it started is not waited for.
  WriteScript(dir / "xdg-open", "exec /bin/sleep 5\n");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(runner.ShellOpen("/tmp/help.html"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

TEST(SystemProcessRunner, NoWindowIsEverReportedOpen) {
  SystemProcessRunner runner;
  EXPECT_FALSE(runner.TopLevelWindowExists("Fixcount"));
  EXPECT_FALSE(runner.TopLevelWindowExists(""));
}

TEST(OutsideProgram, MapsTheWindowsToolsIgnoringCase) {
  const fs::path folder = "/opt/ovnss";
  EXPECT_EQ(OutsideProgram(folder, "MendWMI.exe"), fs::path("/opt/ovnss/ovnss-mendwmi"));
  EXPECT_EQ(OutsideProgram(folder, "MendWmi.exe"), fs::path("/opt/ovnss/ovnss-mendwmi"));
  EXPECT_EQ(OutsideProgram(folder, "Chsprobe.exe"), fs::path("/opt/ovnss/ovnss-chsprobe"));
  EXPECT_EQ(OutsideProgram(folder, "Fixcount.EXE"), fs::path("/opt/ovnss/ovnss-fixcount"));
  EXPECT_EQ(OutsideProgram(folder, "FIXCOUNT.exe"), fs::path("/opt/ovnss/ovnss-fixcount"));
  EXPECT_EQ(OutsideProgram(folder, "OrlindavestrumHelp.chm"), fs::path("/opt/ovnss/OrlindavestrumHelp.chm"));
  EXPECT_EQ(OutsideProgram(folder, "MendWMI"), fs::path("/opt/ovnss/MendWMI"));
  EXPECT_EQ(OutsideProgram(folder, "MendWMI.exe.bak"), fs::path("/opt/ovnss/MendWMI.exe.bak"));
}

}  // namespace
}  // namespace ov
