// The recovery information file, the registry store's text form and the
// image builder's description reader.
#include <span>
#include <string>
#include <string_view>

#include "fuzz/FuzzDisk.h"
#include "fuzz/Targets.h"
#include "mkimage/Description.h"
#include "nss/Discovery.h"
#include "nss/FolderListing.h"
#include "platform/Registry.h"
#include "records/RecoveryInfo.h"

namespace ov::fuzz {

int FuzzRecoveryInfo(const std::uint8_t* data, std::size_t size) {
  const auto decoded = DecodeRecoveryInfo(std::as_bytes(std::span(data, size)));
  OV_FUZZ_CHECK(decoded.info.has_value() != !decoded.problem.empty());
  if (!decoded.info) return 0;
  // What loads writes back as a file that loads the same.
  const auto encoded = EncodeRecoveryInfo(*decoded.info);
  if (encoded.problem.empty()) {
    const auto again = DecodeRecoveryInfo(encoded.bytes);
    OV_FUZZ_CHECK(again.info.has_value());
    OV_FUZZ_CHECK(EncodeRecoveryInfo(*again.info).bytes == encoded.bytes);
  }
  auto disk = FuzzDisk::Contiguous(nullptr, 0);
  Discovery discovery(disk->view());
  RecoveryTree tree;
  ApplyRecoveryInfo(*decoded.info, discovery, tree);
  for (ItemHandle item = 0; item < tree.ItemCount() && item < 64; ++item) ShowFolder(tree, item);
  FolderStructureLines(tree);
  return 0;
}

int FuzzRegistry(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  RegistryStore store;
  if (!store.Parse(text)) return 0;
  // The text the store writes reads back as the same tree.
  const std::string written = store.Serialize();
  RegistryStore again;
  OV_FUZZ_CHECK(again.Parse(written));
  OV_FUZZ_CHECK(again.Serialize() == written);
  return 0;
}

int FuzzDescription(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  // No base folder: a "path" content names no file of the machine's. The
  // content made while parsing is kept small: making it is linear but slow
  // under the sanitizers (a few MiB took longer than the time bound).
  mkimage::ParseDescriptionText(text, "/nonexistent-ovnss-fuzz", std::uint64_t{1} << 20);
  return 0;
}

}  // namespace ov::fuzz
