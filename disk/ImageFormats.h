#pragma once
// Disk images in the forms users hold them: a raw image, a raw image split
// into NAME.001, NAME.002, ..., an EnCase image (E01 with its segments),
// and the virtual disks of VMware (VMDK, monolithic or split, flat or
// sparse), Hyper-V and Virtual PC (VHDX, VHD) and QEMU (QCOW2).
//
// The form is told by the file's contents, not its name (only the parts of
// a split raw image are found by their numbered names). Containers are read
// through Debian's forensic libraries (libewf, libvmdk, libvhdi, libqcow),
// or straight from their own tables where those are of the plain kind
// (disk/EwfChunks.h, disk/VirtualDiskMap.h), always read-only, and become
// a `Device` like any other: the disk's size is the one the container
// records; an area the container cannot give (a damaged chunk, a missing
// part) fails the read like an unreadable sector.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "disk/Device.h"

namespace ov {

// RaidSet: a RAID set file (disk/RaidSetFile.h) naming member images.
// DiskSet: a disk set file (disk/DiskSet.h) naming disks read one after the other.
enum class ImageKind { Raw, SplitRaw, Ewf, Vmdk, Vhd, Vhdx, Qcow, RaidSet, DiskSet };

// What a container says of the disk it holds.
struct ImageDescription {
  ImageKind kind = ImageKind::Raw;
  std::uint64_t sizeBytes = 0;
  std::string model;      // the E01 description, else the file's name
  std::string mediaType;  // the form with what the container says of it
  std::vector<std::filesystem::path> files;  // every file read: segments, parts, extents
};

struct OpenedImage {
  std::unique_ptr<Device> device;  // nothing when the image cannot be read
  ImageDescription description;
  std::string error;  // why not, naming the file
  explicit operator bool() const { return device != nullptr; }
};

// The form of the file at `path` from its first and last sectors; Raw for
// anything that is no known container (block devices included).
ImageKind DetectImageKind(const std::filesystem::path& path);

// Opens `path` as the disk it holds, read-only.
OpenedImage OpenImage(const std::filesystem::path& path);

// The parts of a split raw image: NAME.001 and every NAME.002, NAME.003, ...
// that follows without a gap. Empty when `first` is not such a NAME.001 or
// has no second part.
std::vector<std::filesystem::path> SplitRawParts(const std::filesystem::path& first);

// A raw image in several files read as one disk, in order.
class SplitRawDevice : public Device {
public:
  // Nothing when a part cannot be opened; `error` then names it.
  static std::unique_ptr<SplitRawDevice> Open(const std::vector<std::filesystem::path>& parts, std::string& error);
  ~SplitRawDevice() override;
  SplitRawDevice(const SplitRawDevice&) = delete;
  SplitRawDevice& operator=(const SplitRawDevice&) = delete;

  bool Read(std::uint64_t first, std::uint32_t count, std::byte* buffer) override;
  bool ReadUnguarded(std::uint64_t first, std::uint32_t count, std::byte* buffer) override;
  std::uint64_t CopyUnguarded(std::uint64_t first, std::uint64_t bytes, int to) override;
  std::uint64_t SectorCount() const override { return totalBytes_ / kSectorSize; }

private:
  struct Part {
    int fd;
    std::uint64_t start;  // byte offset of the part in the disk
    std::uint64_t size;
  };
  SplitRawDevice() = default;
  // The part holding byte `at`.
  const Part* PartAt(std::uint64_t at) const;
  std::vector<Part> parts_;
  std::uint64_t totalBytes_ = 0;
  std::vector<std::byte> scratch_;
};

}  // namespace ov
