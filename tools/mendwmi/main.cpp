// ovnss-mendwmi: describes the machine's disks and the attached disk images
// in the registry store, for the recovery program's disk inventory.
// Usage: ovnss-mendwmi [--sys DIR] [--dev DIR]
//   --sys DIR  the kernel's block-device folder (default /sys/block)
//   --dev DIR  where the device nodes live (default /dev)
// The registry file is the one named by OVNSS_REGISTRY (or the default).

#include <cstdio>
#include <cstring>
#include <string>

#include "disk/DiskDescriber.h"
#include "platform/Registry.h"

int main(int argc, char** argv) {
  std::string sys = "/sys/block", dev = "/dev";
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--sys") == 0 && i + 1 < argc) {
      sys = argv[++i];
    } else if (std::strcmp(argv[i], "--dev") == 0 && i + 1 < argc) {
      dev = argv[++i];
    } else {
      std::fprintf(stderr, "usage: ovnss-mendwmi [--sys DIR] [--dev DIR]\n");
      return 2;
    }
  }
  ov::FileRegistry registry(ov::FileRegistry::DefaultLocation());
  // Quiet on success: the program that starts it may be writing JSON.
  ov::DescribeDisks(registry, sys, dev);
  return 0;
}
