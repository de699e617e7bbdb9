#pragma once
// ovnss-cli mount: a volume as a read-only file system.

#include <string>

#include "cli/Commands.h"

namespace ov::cli {

// Mounts the volume on `mountPoint` and serves it until it is unmounted or
// the command is interrupted (Ctrl-C unmounts). Unreadable sectors read as
// zeros (skip-all) unless --bad-sectors says otherwise.
int Mount(const Common& c, const std::string& mountPoint, bool background);

}  // namespace ov::cli
