#pragma once
// Finding how the members of a RAID set were laid out, from their contents.
//
// Given the members in any order (nothing for a missing one), the detection
// tells the level by sampling the members (a RAID 5 row XORs to zero, RAID 1
// members are copies, RAID 10 members are copies in pairs), finds the data
// offset where a partition table starts a member's data, and then tries
// every chunk size, parity layout and member order, reading the set through
// each and following the structures at its start: the partition table, the
// NetWare section chain with its data-offset sectors, the pool superblocks,
// the object trees (every child must land on a tree block) and ext2
// superblocks. Each structure found where the set says it is counts for the
// answer, each one missing counts against it. Orders are searched member by
// member as the walk first needs them, so a wrong member is dropped at its
// first read.
//
// The answer with the best fit wins; when two differ and fit equally well,
// or nothing fits, the result says so and lists them.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "disk/Device.h"
#include "disk/RaidLayout.h"

namespace ov {

// What the user knows already; anything given is not searched.
struct RaidDetectOptions {
  std::optional<RaidLevel> level;
  std::optional<std::uint32_t> chunkSectors;
  std::optional<ParityLayout> layout;
  std::optional<std::uint64_t> offsetSectors;
  bool orderAsGiven = false;  // the members are in set order
  // How far into each member a partition table is looked for.
  std::uint64_t offsetSearchSectors = 131072;  // 64 MiB
};

struct RaidAnswer {
  RaidGeometry geometry;
  std::vector<int> order;  // set position -> index of the given member; -1 missing
  int found = 0;           // structures found where this answer puts them
  int missed = 0;          // structures it says are there and are not
  bool pools = false;      // it reaches NSS structures (a section chain or a pool)
  // RAID 5: sectors where this answer's parity member holds zeros while the
  // row holds data (parity never does, bar data that XORs to zero).
  int parityConflicts = 0;
  int parityChecked = 0;  // the places looked at
  double Fit() const { return found + missed == 0 ? 0.0 : double(found) / double(found + missed); }
};

struct RaidDetectResult {
  bool ok = false;  // `answer` is the set
  std::string error;  // why not (bad input, stopped, no fit, a tie)
  RaidAnswer answer;
  std::vector<RaidAnswer> ties;  // equally good answers, when they tie
  std::string levelEvidence;     // what the sampling saw
  int sampledRows = 0;
  int parityRows = 0;  // of the sampled rows, those whose XOR is zero
};

// Progress from 0 to 100 while the detection runs.
using RaidDetectProgress = std::function<void(int percent)>;

// Detects over opened members (`names` for messages). A null member is missing.
RaidDetectResult DetectRaid(std::vector<std::unique_ptr<Device>> members, const std::vector<std::string>& names,
                            const RaidDetectOptions& options, const RaidDetectProgress& progress,
                            const std::atomic<bool>& stop);

// Opens member files (any image form or block device; nothing = missing),
// refusing a member given twice, and detects.
RaidDetectResult DetectRaidFiles(const std::vector<std::optional<std::filesystem::path>>& members,
                                 const RaidDetectOptions& options, const RaidDetectProgress& progress,
                                 const std::atomic<bool>& stop);

}  // namespace ov
