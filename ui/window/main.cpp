// ovnss: the recovery program's window.
// Usage: ovnss [IMAGE]   (IMAGE: a disk image file attached as the next disk)

#include "ui/window/App.h"

int main(int argc, char** argv) { return ov::window::RunWindow(argc, argv); }
