#include "nss/Discovery.h"

#include "nss/ObjectTree.h"

namespace ov {

bool Discovery::OpenSelectedPool(Prompter& prompter) {
  volumes_.clear();
  if (selectedPool >= pools_.poolCount()) return false;
  currentPool_ = pools_.pools()[selectedPool];
  superblockSector_ = currentPool_.segmentStart[0] + kSectorsPerBlock;
  volumes_ = OpenPool(disk_, currentPool_, pools_.compactLayout(), prompter, &poolRootSector_);
  return true;
}

const VolumeInfo* Discovery::SelectedVolume() const {
  return selectedVolume < volumes_.size() ? &volumes_[selectedVolume] : nullptr;
}

void Discovery::Restore(const PoolInfo& pool, std::vector<VolumeInfo> volumes, std::uint32_t volume) {
  Restore(pool, std::move(volumes), volume, pool.segmentStart[0] + kSectorsPerBlock, 0);
}

void Discovery::Restore(const PoolInfo& pool, std::vector<VolumeInfo> volumes, std::uint32_t volume,
                        std::uint64_t superblockSector, std::uint64_t poolRootSector) {
  currentPool_ = pool;
  volumes_ = std::move(volumes);
  selectedVolume = volume;
  superblockSector_ = superblockSector;
  poolRootSector_ = poolRootSector;
}

ItemList Discovery::PoolTree(std::uint16_t diskNumber) const {
  ItemList list{"Disk " + std::to_string(diskNumber), {}};
  for (const auto& pool : pools_.pools()) list.items.push_back(pool.name);
  for (const auto& entry : partitions_) list.items.push_back(entry.label);
  return list;
}

ItemList Discovery::VolumeTree() const {
  ItemList list{std::string(kVolumeTreeRoot), {}};
  for (const auto& volume : volumes_) list.items.push_back(volume.name);
  return list;
}

std::optional<std::vector<std::string>> Discovery::PickPool(std::size_t item) {
  if (item >= pools_.poolCount()) return std::nullopt;
  selectedPool = static_cast<std::uint32_t>(item);
  return PoolDetails(pools_.pools()[item]);
}

std::optional<std::vector<std::string>> Discovery::PickVolume(std::size_t item) {
  if (item >= volumes_.size()) return std::nullopt;
  selectedVolume = static_cast<std::uint32_t>(item);
  return VolumeDetails(volumes_[item]);
}

}  // namespace ov
