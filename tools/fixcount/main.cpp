// ovnss-fixcount: counts the machine's fixed disks for the installer, which
// on the 9x family accepts only one. The count goes, as one signed byte, into
// "TOLINFO.TXT" at the root of our drive C: (see platform/Folders.h), which
// the installer reads once this program has ended.
// Usage: ovnss-fixcount [--sys DIR] [--dev DIR]

#include <cstdio>
#include <string>

#include "disk/DiskDescriber.h"
#include "platform/Folders.h"

int main(int argc, char** argv) {
  const auto folders = ov::ParseBlockDeviceFolders(argc, argv);
  if (!folders) {
    std::fprintf(stderr, "usage: ovnss-fixcount [--sys DIR] [--dev DIR]\n");
    return 2;
  }
  int fixed = 0;
  for (const auto& disk : ov::ListBlockDevices(folders->sys, folders->dev))
    if (disk.mediaType == ov::kMediaFixed) ++fixed;
  if (fixed > 127) fixed = 127;  // the count is one signed byte

  const auto file = ov::KnownFolders::FromEnvironment().Map("C:\\TOLINFO.TXT");
  std::error_code ignored;
  std::filesystem::create_directories(file.parent_path(), ignored);
  std::FILE* out = std::fopen(file.c_str(), "wb");
  if (out == nullptr) {
    std::perror(file.c_str());
    return 1;
  }
  const auto byte = static_cast<unsigned char>(fixed);
  const bool written = std::fwrite(&byte, 1, 1, out) == 1;
  return (std::fclose(out) == 0 && written) ? 0 : 1;
}
