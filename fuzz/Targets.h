#pragma once
// The fuzz targets: each takes one input and runs one reader of untrusted
// bytes over it. They return 0 and end the process on a broken promise
// (OV_FUZZ_CHECK). The libFuzzer programs call them, and so does the replay
// of the kept inputs in the test suite.

#include <cstddef>
#include <cstdint>

namespace ov::fuzz {

// The partition table and the section-chain walks of both pool builders.
int FuzzPartitions(const std::uint8_t* data, std::size_t size);
// Opening the pools found: the superblock and the volume directory.
int FuzzPool(const std::uint8_t* data, std::size_t size);
// The object-tree walk of every volume, the record scan, the tree and folder listings.
int FuzzTree(const std::uint8_t* data, std::size_t size);
// The recovery information file.
int FuzzRecoveryInfo(const std::uint8_t* data, std::size_t size);
// The raw signature scan, default and exact mode.
int FuzzRawScan(const std::uint8_t* data, std::size_t size);
// The exact measurers of compound documents and Zip archives.
int FuzzMeasure(const std::uint8_t* data, std::size_t size);
// The registry store's text form.
int FuzzRegistry(const std::uint8_t* data, std::size_t size);
// The image builder's description reader.
int FuzzDescription(const std::uint8_t* data, std::size_t size);
// The chunk map of an E01 set's segment files.
int FuzzEwfChunks(const std::uint8_t* data, std::size_t size);

}  // namespace ov::fuzz
