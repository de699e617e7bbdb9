#pragma once
// The command line's run: the core's session answered on the terminal, and
// the pool search drawn as a progress bar that Ctrl-C stops.

#include "cli/Terminal.h"
#include "session/Session.h"

namespace ov::cli {

using ov::Failure;
using Mode = SearchMode;

// The prompter is a base so that it exists before the core's session that
// holds it.
struct TerminalParts {
  TerminalPrompter prompter;
};

class Session : private TerminalParts, public ov::Session {
public:
  Session() : ov::Session(TerminalParts::prompter) {}
  using TerminalParts::prompter;
};

// Finds the pools; the full-disk search shows its progress and stops on
// Ctrl-C ("stopped"). A disk without pools is a failure naming `disk`,
// unless `noneIsAnAnswer` (the caller reports it after its listing).
Discovery& FindPools(Session& s, Mode mode, const std::string& disk, bool noneIsAnAnswer = false);
// "no NSS pools found on DISK".
std::string NoPools(const std::string& disk);

}  // namespace ov::cli
