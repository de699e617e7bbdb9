#include "ui/window/RunDisks.h"

#include <algorithm>

namespace ov::window {

namespace {

// The most files or problems a message names; the rest are counted.
constexpr std::size_t kNamedLines = 10;

void AppendNamed(std::string& text, const std::vector<std::string>& lines) {
  for (std::size_t i = 0; i < lines.size() && i < kNamedLines; ++i) text += "\n" + lines[i];
  if (lines.size() > kNamedLines) text += "\n... and " + std::to_string(lines.size() - kNamedLines) + " more";
}

}  // namespace

std::vector<std::string> SelectedDisksRows(DiskInventory& inventory, const std::vector<std::string>& names) {
  std::vector<std::string> rows{"Disks selected : " + std::to_string(names.size())};
  for (const auto& name : names) {
    const auto number = DiskNumberOf(name);
    if (!number) continue;
    inventory.DiskDetails(*number);
    const std::uint64_t megabytes = inventory.DiskSizeInSectors(*number) * kSectorSize / 1048576;
    rows.push_back(name + "   :  " + inventory.currentModel() + ", " + std::to_string(megabytes) + " MB");
  }
  return rows;
}

ItemList RunPoolTree(const Discovery& discovery, std::uint16_t diskNumber) {
  ItemList list = discovery.PoolTree(diskNumber);
  const auto& pools = discovery.pools().pools();
  for (std::size_t i = 0; i < pools.size() && i < list.items.size(); ++i) {
    // Two disks may each hold a pool of the same name (a copy of a disk
    // given with it): the disk tells them apart.
    const auto named = [&](const PoolInfo& p) { return p.name == pools[i].name; };
    const bool twice = std::count_if(pools.begin(), pools.end(), named) > 1;
    if (twice && discovery.layout().size() > 1) {
      const auto segments = PoolSegments(pools[i], discovery.layout());
      if (!segments.empty() && !segments.front().missing) {
        list.items[i] += " (disk " + std::to_string(segments.front().disk + 1) + ")";
      }
    }
    if (pools[i].HasMissingSegments()) list.items[i] += kIncompletePool;
  }
  return list;
}

std::optional<std::vector<std::string>> PickRunPool(Discovery& discovery, std::size_t item) {
  auto rows = discovery.PickPool(item);
  // One disk: the pool's rows as they always were.
  if (!rows || discovery.layout().size() < 2) return rows;
  for (auto& row : PoolSegmentRows(discovery.pools().pools()[item], discovery.layout())) {
    rows->push_back(std::move(row));
  }
  return rows;
}

std::string PoolProblemsText(const Discovery& discovery) {
  const auto& problems = discovery.pools().problems();
  if (problems.empty()) return {};
  std::string text = "The disks given do not hold every pool whole:\n";
  AppendNamed(text, problems);
  return text;
}

std::string MissingSegmentFilesText(const std::vector<UnreadFile>& files) {
  if (files.empty()) return {};
  std::string text = std::to_string(files.size()) +
                     " file(s) were not saved: part of their data lies on a pool segment of a disk not given:\n";
  std::vector<std::string> names;
  for (const auto& f : files) names.push_back(f.path);
  AppendNamed(text, names);
  return text;
}

}  // namespace ov::window
