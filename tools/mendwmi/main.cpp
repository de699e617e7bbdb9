// ovnss-mendwmi: describes the machine's disks and the attached disk images
// in the registry store, for the recovery program's disk inventory.
// Usage: ovnss-mendwmi [--sys DIR] [--dev DIR]
//   --sys DIR  the kernel's block-device folder (default /sys/block)
//   --dev DIR  where the device nodes live (default /dev)
// The registry file is the one named by OVNSS_REGISTRY (or the default).
// Started by a run of the program, it finds the run's folder in
// OVNSS_RUN_DIR and writes the descriptions to the run's own store there.

#include <cstdio>
#include <optional>
#include <string>

#include "disk/DiskDescriber.h"
#include "disk/Inventory.h"
#include "platform/Registry.h"
#include "platform/RunFolder.h"
#include "platform/RunRegistry.h"

int main(int argc, char** argv) {
  const auto folders = ov::ParseBlockDeviceFolders(argc, argv);
  if (!folders) {
    std::fprintf(stderr, "usage: ovnss-mendwmi [--sys DIR] [--dev DIR]\n");
    return 2;
  }
  ov::FileRegistry shared(ov::FileRegistry::UserAndMachine());
  const auto runFolder = ov::RunFolderFromEnvironment();
  if (!runFolder) {
    ov::DescribeDisks(shared, folders->sys, folders->dev);
    return 0;
  }
  ov::FileRegistry own(ov::RunRegistryFile(*runFolder));
  ov::RunRegistry registry(shared, own, ov::kRunOwnedKeys);
  // Quiet on success: the program that starts it may be writing JSON.
  ov::DescribeDisks(registry, folders->sys, folders->dev);
  return 0;
}
