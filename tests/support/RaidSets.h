#pragma once
// Disks cut into RAID members by the image builder, for the set device, the
// detection and the command line's tests.

#include <string>

namespace ov::test {

// A 12 MiB disk with one NSS pool whose free blocks are random and whose
// volume tree spreads over many small leaves, and an ext2 partition; the
// given "raid" section (a JSON object) cuts it into members.
inline std::string RaidDisk(const std::string& raid, int seed = 7) {
  return R"({ "size": "12MiB", "seed": )" + std::to_string(seed) + R"(,
  "partitions": [
    { "type": "nss", "start": 2048, "sections": [ { "pool": "DATA", "sectors": "6MiB" } ] },
    { "type": "linux", "start": 16065, "sectors": 4000, "ext2": { "blockSize": 1024 } } ],
  "pools": [ { "name": "DATA", "free": "random", "volumes": [
    { "name": "VOL1", "tree": { "recordsPerLeaf": 3 },
      "generate": { "folders": 12, "files": 90, "maxDepth": 2, "maxSize": "20KiB" } } ] } ],
  "raid": )" + raid + "}";
}

}  // namespace ov::test
