#include "cli/TerminalSession.h"

#include <iostream>

#include "platform/Text.h"

namespace ov::cli {

namespace {

Discovery& Search(Session& s, Mode mode) {
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

}  // namespace

std::string NoPools(const std::string& disk) { return "no NSS pools found on " + disk; }

Discovery& FindPools(Session& s, Mode mode, const std::string& disk, bool noneIsAnAnswer) {
  Discovery& d = Search(s, mode);
  // What the disks of a set disagree on, or lack, is said before anything
  // is read through the pools it touches.
  for (const auto& problem : d.pools().problems()) std::cerr << kMessagePrefix << Latin1ToUtf8(problem) << "\n";
  if (d.pools().pools().empty() && !noneIsAnAnswer) throw Failure(NoPools(disk));
  return d;
}

}  // namespace ov::cli
