// ovnss-drvlist: lists the machine's disks, one line each: the device, its
// size in bytes, its media type and model. The installer also puts a copy
// into our Windows folder, where the Windows build kept its drive lister.
// Usage: ovnss-drvlist [--sys DIR] [--dev DIR]

#include <cstdio>
#include <string>

#include "disk/DiskDescriber.h"

int main(int argc, char** argv) {
  const auto folders = ov::ParseBlockDeviceFolders(argc, argv);
  if (!folders) {
    std::fprintf(stderr, "usage: ovnss-drvlist [--sys DIR] [--dev DIR]\n");
    return 2;
  }
  for (const auto& disk : ov::ListBlockDevices(folders->sys, folders->dev))
    std::printf("%s\t%llu\t%s\t%s\n", disk.devicePath.c_str(), static_cast<unsigned long long>(disk.sizeBytes),
                disk.mediaType.c_str(), disk.model.c_str());
  return 0;
}
