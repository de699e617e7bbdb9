// ovnss-drvlist: lists the machine's disks, one line each: the device, its
// size in bytes, its media type and model. The installer also puts a copy
// into our Windows folder, where the Windows build kept its drive lister.
// Usage: ovnss-drvlist [--sys DIR] [--dev DIR]

#include <cstdio>
#include <cstring>
#include <string>

#include "disk/DiskDescriber.h"

int main(int argc, char** argv) {
  std::string sys = "/sys/block", dev = "/dev";
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--sys") == 0 && i + 1 < argc) {
      sys = argv[++i];
    } else if (std::strcmp(argv[i], "--dev") == 0 && i + 1 < argc) {
      dev = argv[++i];
    } else {
      std::fprintf(stderr, "usage: ovnss-drvlist [--sys DIR] [--dev DIR]\n");
      return 2;
    }
  }
  for (const auto& disk : ov::ListBlockDevices(sys, dev))
    std::printf("%s\t%llu\t%s\t%s\n", disk.devicePath.c_str(), static_cast<unsigned long long>(disk.sizeBytes),
                disk.mediaType.c_str(), disk.model.c_str());
  return 0;
}
