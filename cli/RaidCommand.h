#pragma once
// "raid detect": finds how the members of a RAID set were laid out and
// writes the set file that `--disk` takes.

#include <functional>

#include <CLI/CLI.hpp>

#include "cli/Commands.h"

namespace ov::cli {

// Adds the "raid" command to `app`; the answer runs it when it was chosen
// and says -1 otherwise.
std::function<int()> AddRaidCommand(CLI::App& app, Common& c);

}  // namespace ov::cli
