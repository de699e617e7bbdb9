#pragma once
// A ProcessRunner for tests: records every call and runs nothing.
//
// RunAndWait answers through the hook registered for the program's file name
// (compared ignoring case, as Windows names are), or gives -1, as for a
// program that cannot start, when none is registered. Start and ShellOpen
// only record (and may run a hook); TopLevelWindowExists answers from the
// set of open window titles (compared ignoring case, as window searches
// do), which OpenWindow and CloseWindow change (a hook may close a window to
// end a wait on it).
//
// Safe to call from a worker thread; hooks run without the lock held.

#include "platform/Process.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace ov::test {

enum class ProcessCallKind { RunAndWait, ShellOpen, Start, WindowQuery };

struct ProcessCall {
  ProcessCallKind kind;
  std::filesystem::path program;  // the target for ShellOpen; empty for WindowQuery
  std::vector<std::string> args;  // the title alone for WindowQuery
};

class FakeProcessRunner : public ProcessRunner {
public:
  using RunHook = std::function<int(const std::vector<std::string>& args)>;
  using StartHook = std::function<bool(const std::vector<std::string>& args)>;

  // Hooks keyed by program file name, such as "ovnss-mendwmi".
  void OnRun(const std::string& fileName, RunHook hook) {
    std::lock_guard lock(mutex_);
    runHooks_[Lower(fileName)] = std::move(hook);
  }
  void OnStart(const std::string& fileName, StartHook hook) {
    std::lock_guard lock(mutex_);
    startHooks_[Lower(fileName)] = std::move(hook);
  }

  // What Start (without a hook) and ShellOpen answer.
  bool startResult = true;
  bool shellOpenResult = true;

  int RunAndWait(const std::filesystem::path& program, const std::vector<std::string>& args) override {
    RunHook hook;
    {
      std::lock_guard lock(mutex_);
      calls_.push_back({ProcessCallKind::RunAndWait, program, args});
      if (auto it = runHooks_.find(Lower(program.filename().string())); it != runHooks_.end()) hook = it->second;
    }
    return hook ? hook(args) : -1;
  }
  bool ShellOpen(const std::filesystem::path& target) override {
    std::lock_guard lock(mutex_);
    calls_.push_back({ProcessCallKind::ShellOpen, target, {}});
    return shellOpenResult;
  }
  bool Start(const std::filesystem::path& program, const std::vector<std::string>& args) override {
    StartHook hook;
    bool result = false;
    {
      std::lock_guard lock(mutex_);
      calls_.push_back({ProcessCallKind::Start, program, args});
      if (auto it = startHooks_.find(Lower(program.filename().string())); it != startHooks_.end()) hook = it->second;
      result = startResult;
    }
    return hook ? hook(args) : result;
  }
  bool TopLevelWindowExists(std::string_view title) override {
    std::lock_guard lock(mutex_);
    calls_.push_back({ProcessCallKind::WindowQuery, {}, {std::string(title)}});
    return windows_.count(Lower(std::string(title))) != 0;
  }

  // The titles of the windows that "exist".
  void OpenWindow(const std::string& title) {
    std::lock_guard lock(mutex_);
    windows_.insert(Lower(title));
  }
  void CloseWindow(const std::string& title) {
    std::lock_guard lock(mutex_);
    windows_.erase(Lower(title));
  }

  std::vector<ProcessCall> Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  std::vector<ProcessCall> Calls(ProcessCallKind kind) const {
    std::vector<ProcessCall> found;
    for (auto& call : Calls())
      if (call.kind == kind) found.push_back(call);
    return found;
  }

private:
  static std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
    return text;
  }

  mutable std::mutex mutex_;
  std::vector<ProcessCall> calls_;
  std::map<std::string, RunHook> runHooks_;
  std::map<std::string, StartHook> startHooks_;
  std::set<std::string> windows_;
};

}  // namespace ov::test
