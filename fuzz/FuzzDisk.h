#pragma once
// The disks and helpers the fuzz targets run over.
//
// A structure target's input is a sparse disk: chunks of a 32-bit
// little-endian sector number followed by that sector's 512 bytes (a short
// last chunk is padded with zeros). Sectors no chunk names read as zeros, so
// a few sectors of structures can sit where a real disk keeps them without
// the input holding the disk between them. A carving target's input is the
// disk itself, from sector 0.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "disk/Device.h"
#include "disk/DiskView.h"
#include "disk/SectorReader.h"
#include "platform/Prompter.h"

namespace ov::fuzz {

// A broken promise of the code under test: the input is reported and the
// process ends, so the fuzzer keeps the input and the replay fails.
#define OV_FUZZ_CHECK(cond)                                                            \
  do {                                                                                 \
    if (!(cond)) {                                                                     \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);    \
      std::abort();                                                                    \
    }                                                                                  \
  } while (0)

// The size of a sparse disk: 2 GiB, far enough for the block numbers of a
// pool to land on it.
inline constexpr std::uint64_t kSparseDiskSectors = 1ull << 22;

using SectorMap = std::map<std::uint64_t, std::vector<std::byte>>;

// Decodes a sparse-disk input; a sector named twice keeps its last bytes.
SectorMap DecodeSparseDisk(const std::uint8_t* data, std::size_t size);

// A disk whose named sectors hold the input's bytes and every other one zeros.
class SparseDevice : public Device {
public:
  SparseDevice(std::shared_ptr<const SectorMap> sectors, std::uint64_t sectorCount)
      : sectors_(std::move(sectors)), sectorCount_(sectorCount) {}
  bool Read(std::uint64_t first, std::uint32_t count, std::byte* buffer) override;
  std::uint64_t SectorCount() const override { return sectorCount_; }

private:
  std::shared_ptr<const SectorMap> sectors_;
  std::uint64_t sectorCount_;
};

// Answers every question the way an unattended run does: skip unreadable
// sectors, never replace, skip write errors, no.
class QuietPrompter : public Prompter {
public:
  BadSectorChoice AskBadSector() override { return BadSectorChoice::SkipAll; }
  ReplaceChoice AskReplaceFile(const std::string&) override { return ReplaceChoice::Yes; }
  WriteErrorChoice AskWriteError(const std::string&) override { return WriteErrorChoice::Skip; }
  bool AskYesNo(const std::string&, const std::string&) override { return false; }
  void ShowMessage(const std::string&, const std::string&, MessageIcon) override {}
};

// Disk 0 of a fuzz run, read through the real sector reader.
class FuzzDisk : public DeviceOpener {
public:
  // A sparse disk from a structure target's input.
  static std::unique_ptr<FuzzDisk> Sparse(const std::uint8_t* data, std::size_t size);
  // The input itself as the disk, padded with zeros to whole sectors.
  static std::unique_ptr<FuzzDisk> Contiguous(const std::uint8_t* data, std::size_t size);

  std::unique_ptr<Device> Open(std::string_view path) override;
  DiskView view() { return DiskView{&reader_, std::string(kDevicePathTable[0])}; }
  std::uint64_t sectorCount() const { return sectorCount_; }
  // The sectors the input named, ascending (sparse disks only).
  const SectorMap& sectors() const { return *sectors_; }
  QuietPrompter prompter;

private:
  FuzzDisk(std::shared_ptr<const SectorMap> sectors, std::vector<std::byte> bytes, std::uint64_t sectorCount);
  std::shared_ptr<const SectorMap> sectors_;
  std::vector<std::byte> bytes_;
  std::uint64_t sectorCount_;
  SectorReader reader_;
};

}  // namespace ov::fuzz
