#include "cli/TerminalSession.h"

namespace ov::cli {

Discovery& FindPools(Session& s, Mode mode) {
  if (mode == Mode::Quick) {
    SearchListener quiet;
    std::atomic<int> stop{0};
    return s.FindPools(mode, quiet, stop);
  }
  std::atomic<int> stop{0};
  const std::uint64_t total = s.SelectedDiskSectors();
  WatchInterrupt(&stop);
  SearchProgress progress("Searching pools", total);
  Discovery& d = s.FindPools(mode, progress, stop);
  progress.Finish();
  WatchInterrupt(static_cast<std::atomic<int>*>(nullptr));
  if (Interrupted()) throw Failure("stopped");
  return d;
}

}  // namespace ov::cli
