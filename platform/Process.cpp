#include "platform/Process.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

extern char** environ;

namespace ov {

namespace {

namespace fs = std::filesystem;

// This process's environment with `extra` set over it.
std::vector<std::string> EnvironmentWith(const std::vector<std::pair<std::string, std::string>>& extra) {
  std::vector<std::string> entries;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    const std::string_view name = text.substr(0, text.find('='));
    const bool replaced =
        std::any_of(extra.begin(), extra.end(), [&](const auto& variable) { return variable.first == name; });
    if (!replaced) entries.emplace_back(text);
  }
  for (const auto& [name, value] : extra) entries.push_back(name + "=" + value);
  return entries;
}

// Starts the program; its process id, or nothing when it could not start.
std::optional<pid_t> Spawn(const fs::path& program, const std::vector<std::string>& args,
                           const std::vector<std::pair<std::string, std::string>>& extraEnvironment = {}) {
  std::vector<std::string> words;
  words.reserve(args.size() + 1);
  words.push_back(program.string());
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  // The child starts clean even when this process blocks or ignores signals
  // (threads of a GUI toolkit often do).
  posix_spawnattr_t attr;
  if (posix_spawnattr_init(&attr) != 0) return std::nullopt;
  sigset_t none;
  sigset_t all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<std::string> environment;
  std::vector<char*> envp;
  if (!extraEnvironment.empty()) {
    environment = EnvironmentWith(extraEnvironment);
    for (auto& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
  }

  pid_t pid = -1;
  const int failed =
      posix_spawnp(&pid, argv[0], nullptr, &attr, argv.data(), envp.empty() ? environ : envp.data());
  posix_spawnattr_destroy(&attr);
  if (failed != 0) return std::nullopt;
  return pid;
}

// Waits for the child to end; its exit code, or -1 when it did not exit
// normally (killed by a signal) or could not be waited for.
int WaitFor(pid_t pid) {
  int status = 0;
  for (;;) {
    const pid_t done = ::waitpid(pid, &status, 0);
    if (done == pid) break;
    if (done < 0 && errno == EINTR) continue;
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Collects the child's exit status once it ends, without holding up the
// caller, so it never lingers as a zombie.
void ReapInBackground(pid_t pid) {
  try {
    std::thread([pid] { WaitFor(pid); }).detach();
  } catch (const std::system_error&) {
    WaitFor(pid);  // no thread to spare: waiting here is better than a zombie
  }
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

struct OutsideProgramName {
  std::string_view windowsName;
  std::string_view localName;
};

constexpr std::array<OutsideProgramName, 3> kOutsidePrograms = {{
    {"MendWMI.exe", "ovnss-mendwmi"},
    {"Chsprobe.exe", "ovnss-chsprobe"},
    {"Fixcount.exe", "ovnss-fixcount"},
}};

}  // namespace

std::optional<fs::path> FindOnPath(std::string_view name) {
  std::string path;
  if (const char* env = std::getenv("PATH"); env != nullptr) {
    path = env;
  } else {
    path = "/usr/local/bin:/usr/bin:/bin";
  }
  std::string_view rest = path;
  for (;;) {
    const auto cut = rest.find(':');
    const std::string_view folder = rest.substr(0, cut);
    const fs::path candidate = fs::path(folder.empty() ? "." : std::string(folder)) / std::string(name);
    struct stat info {};
    if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
      return candidate;
    if (cut == std::string_view::npos) return std::nullopt;
    rest.remove_prefix(cut + 1);
  }
}

int SystemProcessRunner::RunAndWait(const fs::path& program, const std::vector<std::string>& args) {
  const auto pid = Spawn(program, args, environment_);
  return pid ? WaitFor(*pid) : -1;
}

bool SystemProcessRunner::Start(const fs::path& program, const std::vector<std::string>& args) {
  const auto pid = Spawn(program, args, environment_);
  if (!pid) return false;
  ReapInBackground(*pid);
  return true;
}

bool SystemProcessRunner::ShellOpen(const fs::path& target) {
  const auto opener = FindOnPath("xdg-open");
  if (!opener) return false;
  const auto pid = Spawn(*opener, {target.string()});  // the desktop's programs are not told of this run
  if (!pid) return false;
  // An opener that finds no program for the file says so at once, by its
  // exit status (xdg-open: 3); one that started a viewer may stay with it,
  // and is left to run.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    const pid_t done = ::waitpid(*pid, &status, WNOHANG);
    if (done == *pid) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (done < 0 && errno != EINTR) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ReapInBackground(*pid);
  return true;
}

void SystemProcessRunner::SetEnvironment(std::string name, std::string value) {
  for (auto& variable : environment_) {
    if (variable.first == name) {
      variable.second = std::move(value);
      return;
    }
  }
  environment_.emplace_back(std::move(name), std::move(value));
}

bool SystemProcessRunner::TopLevelWindowExists(std::string_view /*title*/) { return false; }

fs::path OutsideProgram(const fs::path& installFolder, std::string_view windowsName) {
  for (const auto& entry : kOutsidePrograms) {
    if (SameName(entry.windowsName, windowsName)) return installFolder / std::string(entry.localName);
  }
  return installFolder / std::string(windowsName);
}

}  // namespace ov
