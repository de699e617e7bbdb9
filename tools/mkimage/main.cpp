// ovnss-mkimage: writes a disk image from a JSON description.
//
//   ovnss-mkimage DESCRIPTION.json -o IMAGE [--manifest FILE] [--bad FILE]
//
// The unreadable-sector list goes to IMAGE.bad (or --bad) when the
// description asks for unreadable sectors. A description with "disks" also
// writes each further disk to its "output" beside IMAGE (and its list to
// "<output>.bad"). Exit codes: 0 written,
// 1 bad arguments or description, 2 the image could not be built.

#include <cstdio>
#include <fstream>
#include <iostream>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "mkimage/ImageBuilder.h"

int main(int argc, char** argv) {
  CLI::App app{"Writes a disk image with NetWare partitions, NSS pools and volumes from a JSON description."};
  std::string descriptionPath, imagePath, manifestPath, badPath;
  bool quiet = false;
  app.add_option("description", descriptionPath, "JSON description of the disk")->required()->check(CLI::ExistingFile);
  app.add_option("-o,--output", imagePath, "image file to write")->required();
  app.add_option("--manifest", manifestPath, "write what a reader must find, as JSON, to this file");
  app.add_option("--bad", badPath, "unreadable-sector list (default: IMAGE.bad)");
  app.add_flag("-q,--quiet", quiet, "print nothing on success");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int code = app.exit(e);
    return code == 0 ? 0 : 1;
  }

  auto parsed = ov::mkimage::ParseDescriptionFile(descriptionPath);
  if (!parsed.ok()) {
    std::cerr << "ovnss-mkimage: " << descriptionPath << ": " << parsed.error << "\n";
    return 1;
  }
  auto built = ov::mkimage::BuildImage(*parsed.description, imagePath);
  if (!built.ok()) {
    std::cerr << "ovnss-mkimage: " << built.error << "\n";
    return 2;
  }
  const auto& m = *built.manifest;
  if (badPath.empty()) badPath = imagePath + ".bad";
  if (!ov::mkimage::WriteUnreadableList(m, badPath)) {
    std::cerr << "ovnss-mkimage: cannot write " << badPath << "\n";
    return 2;
  }
  if (auto failed = ov::mkimage::WriteFurtherUnreadableLists(m, imagePath); !failed.empty()) {
    std::cerr << "ovnss-mkimage: cannot write " << failed.string() << "\n";
    return 2;
  }
  if (!manifestPath.empty()) {
    std::ofstream out(manifestPath, std::ios::binary | std::ios::trunc);
    out << ov::mkimage::ManifestToJson(m).dump(1) << "\n";
    if (!out) {
      std::cerr << "ovnss-mkimage: cannot write " << manifestPath << "\n";
      return 2;
    }
  }
  if (!quiet) {
    std::size_t volumes = 0, folders = 0, files = 0, partitions = 0;
    for (const auto& p : m.partitions) partitions += p.disk == 0 ? 1 : 0;
    for (const auto& p : m.pools)
      for (const auto& v : p.volumes) {
        ++volumes;
        folders += v.folders.size();
        files += v.files.size();
      }
    std::printf("%s: %llu sectors, %zu partitions, %zu pools, %zu volumes, %zu folders, %zu files, %zu documents, %zu unreadable ranges\n",
                imagePath.c_str(), static_cast<unsigned long long>(m.diskSectors), partitions, m.pools.size(),
                volumes, folders, files, m.documents.size(), m.unreadable.size());
    for (std::size_t k = 1; k < m.disks.size(); ++k) {
      std::size_t onDisk = 0;
      for (const auto& p : m.partitions) onDisk += p.disk == k ? 1 : 0;
      std::printf("%s: disk %zu, %llu sectors, %zu partitions, %zu unreadable ranges\n",
                  ov::mkimage::DiskImagePath(imagePath, m.disks[k].output).c_str(), k,
                  static_cast<unsigned long long>(m.disks[k].sectors), onDisk, m.disks[k].unreadable.size());
    }
  }
  return 0;
}
