#pragma once
// The program's start: the installation check, the session, the window.

namespace ov::window {

// Runs the window program; answers the exit code.
int RunWindow(int argc, char** argv);

}  // namespace ov::window
