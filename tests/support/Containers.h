#pragma once
// One small disk from the image builder, and the same disk in every
// container the program reads, made by the real tools (split, ewfacquirestream,
// qemu-img, ddrescue), with damaged copies. Made once per build tree and
// kept under build/test-containers: every test process of the suite finds
// them there (a lock file lets one process make them while others wait).

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "mkimage/ImageBuilder.h"
#include "support/TempDir.h"

namespace ov::test {

// A disk with one pool of two segments, a few folders and a file large
// enough to be cut by a rescue map.
inline constexpr const char* kContainerDisk = R"({
  "size": "8MiB",
  "partitions": [ { "type": "nss", "sections": [
      { "pool": "DATA", "segment": 0, "sectors": "3MiB" },
      { "pool": "DATA", "segment": 1, "sectors": "2MiB" } ] } ],
  "pools": [ { "name": "DATA", "volumes": [ { "name": "VOL1", "items": [
      { "folder": "Letters", "items": [
        { "file": "bank.doc", "document": "word", "size": "20KiB" },
        { "file": "big.bin", "size": "600KiB" },
        { "folder": "Old", "items": [ { "file": "1999.txt", "text": "old" } ] } ] },
      { "file": "top.xls", "document": "excel", "size": "9000" },
      { "file": "notes.txt", "lines": [ "first", "second" ] } ] } ] } ]
})";

// The containers, by file name in the folder, and what each must read as.
struct ContainerFile {
  const char* name;
  const char* kind;  // "raw", "split", "ewf", "vmdk", "vhd", "vhdx", "qcow"
};
inline constexpr ContainerFile kContainerFiles[] = {
    {"split.img.001", "split"},   {"plain.E01", "ewf"},       {"packed.E01", "ewf"},
    {"sparse.vmdk", "vmdk"},      {"flat.vmdk", "vmdk"},      {"split-sparse.vmdk", "vmdk"},
    {"split-flat.vmdk", "vmdk"},  {"stream.vmdk", "vmdk"},    {"disk.vhdx", "vhdx"},
    {"fixed.vhdx", "vhdx"},       {"dynamic.vhd", "vhd"},     {"fixed.vhd", "vhd"},
    {"disk.qcow2", "qcow"},       {"packed.qcow2", "qcow"},   {"small.qcow2", "qcow"},
};

// Made from disk.img in the folder; also odd.E01, the disk but its last
// three sectors (its last chunk is short), and damaged copies: truncated.E01 (its
// third segment cut short), corrupt.E01 (bytes of a chunk of the second
// segment overwritten), cut.E01 (the first segment cut inside its headers),
// truncated.qcow2 (its second half gone) and cut.qcow2 (only 100 bytes).
inline constexpr const char* kMakeContainers = R"(set -e
split -b 3M -d -a 3 --numeric-suffixes=1 disk.img split.img.
ewfacquirestream -q -c none -S 2MiB -C C-42 -D 'NetWare server disk' -E E-7 -t plain < disk.img
ewfacquirestream -q -c deflate:best -S 1MiB -t packed < disk.img
head -c 8387072 disk.img | ewfacquirestream -q -c deflate:fast -t odd
qemu-img convert -f raw -O vmdk -o subformat=monolithicSparse disk.img sparse.vmdk
qemu-img convert -f raw -O vmdk -o subformat=monolithicFlat disk.img flat.vmdk
qemu-img convert -f raw -O vmdk -o subformat=twoGbMaxExtentSparse disk.img split-sparse.vmdk
qemu-img convert -f raw -O vmdk -o subformat=twoGbMaxExtentFlat disk.img split-flat.vmdk
qemu-img convert -f raw -O vmdk -o subformat=streamOptimized disk.img stream.vmdk
qemu-img convert -f raw -O vhdx disk.img disk.vhdx
qemu-img convert -f raw -O vhdx -o subformat=fixed disk.img fixed.vhdx
qemu-img convert -f raw -O vpc disk.img dynamic.vhd
qemu-img convert -f raw -O vpc -o subformat=fixed disk.img fixed.vhd
qemu-img convert -f raw -O qcow2 disk.img disk.qcow2
qemu-img convert -f raw -O qcow2 -c disk.img packed.qcow2
qemu-img convert -f raw -O qcow2 -o compat=0.10,cluster_size=4096 disk.img small.qcow2
for f in plain.E0*; do for c in truncated corrupt cut; do cp "$f" "$c${f#plain}"; done; done
truncate -s 1000000 truncated.E03
dd if=/dev/urandom of=corrupt.E02 bs=1 seek=300000 count=4096 conv=notrunc status=none
truncate -s 1000 cut.E01
head -c $(( $(stat -c %s disk.qcow2) / 2 )) disk.qcow2 > truncated.qcow2
head -c 100 disk.qcow2 > cut.qcow2
)";

class ContainerSet {
public:
  // The shared set, made when missing.
  static const ContainerSet& Get() {
    static ContainerSet set;
    return set;
  }
  const std::filesystem::path& dir() const { return dir_; }
  std::filesystem::path raw() const { return dir_ / "disk.img"; }
  std::filesystem::path operator/(const std::string& name) const { return dir_ / name; }
  const mkimage::Manifest& manifest() const { return manifest_; }
  bool ok() const { return ok_; }

private:
  ContainerSet() {
    // The manifest of the same description (the builder is deterministic).
    auto built = mkimage::BuildImageFromJson(kContainerDisk, scratch_ / "disk.img");
    if (!built.ok()) {
      ADD_FAILURE() << built.error;
      return;
    }
    manifest_ = *built.manifest;
    const std::filesystem::path root = std::filesystem::path(OVNSS_TEST_BINARY_DIR) / "test-containers";
    std::filesystem::create_directories(root);
    // Named by what makes them, so a changed recipe makes a fresh set.
    dir_ = root / ("set-" + std::to_string(std::hash<std::string>{}(std::string(kContainerDisk) + kMakeContainers)));
    const int lock = ::open((root / "lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ::flock(lock, LOCK_EX);
    if (!std::filesystem::exists(dir_ / "done")) {
      // Sets of earlier recipes go.
      for (const auto& old : std::filesystem::directory_iterator(root)) {
        if (old.is_directory() && old.path() != dir_) std::filesystem::remove_all(old.path());
      }
      auto stage = dir_;
      stage += ".making";
      std::filesystem::remove_all(stage);
      std::filesystem::create_directories(stage);
      std::filesystem::copy_file(scratch_ / "disk.img", stage / "disk.img");
      std::ofstream(stage / "make.sh") << kMakeContainers;
      const std::string cmd = "cd '" + stage.string() + "' && sh make.sh >make.log 2>&1";
      if (std::system(cmd.c_str()) == 0) {
        std::ofstream(stage / "done") << "made\n";
        std::filesystem::remove_all(dir_);
        std::filesystem::rename(stage, dir_);
      } else {
        ADD_FAILURE() << "making the containers failed; see " << (stage / "make.log");
      }
    }
    ::flock(lock, LOCK_UN);
    ::close(lock);
    ok_ = std::filesystem::exists(dir_ / "done");
  }

  TempDir scratch_;
  std::filesystem::path dir_;
  mkimage::Manifest manifest_;
  bool ok_ = false;
};

}  // namespace ov::test
