#pragma once
// Runs a piece of work in several forked processes that start at the same
// moment, for tests of what processes sharing a file do to each other.

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <vector>

namespace ov::test {

// Forks `count` children, each running `work(k)` for its own k once all of
// them exist; true when every child exits with `work` answering true.
inline bool RunTogether(int count, const std::function<bool(int)>& work) {
  int gate[2];
  if (::pipe(gate) != 0) return false;
  std::vector<pid_t> children;
  for (int k = 0; k < count; ++k) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::close(gate[1]);
      char c;
      while (::read(gate[0], &c, 1) < 0 && errno == EINTR) {
      }
      ::_exit(work(k) ? 0 : 1);
    }
    if (pid > 0) children.push_back(pid);
  }
  ::close(gate[0]);
  ::close(gate[1]);  // opens the gate: every child's read returns at once
  bool ok = static_cast<int>(children.size()) == count;
  for (const pid_t pid : children) {
    int status = 0;
    ok = ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0 && ok;
  }
  return ok;
}

}  // namespace ov::test
