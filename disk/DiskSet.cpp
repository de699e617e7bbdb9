#include "disk/DiskSet.h"

#include <sys/stat.h>

#include <fstream>

#include <nlohmann/json.hpp>

#include "disk/RaidDevice.h"
#include "disk/RaidSetFile.h"

namespace ov {

namespace {

using nlohmann::json;

// The file or device a path reaches, links followed: two paths name the
// same disk when these agree.
std::optional<std::pair<dev_t, ino_t>> Identity(const std::filesystem::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  if (S_ISBLK(st.st_mode)) return std::pair<dev_t, ino_t>{st.st_rdev, 0};
  return std::pair<dev_t, ino_t>{st.st_dev, st.st_ino};
}

}  // namespace

std::optional<std::size_t> DiskOfSector(const DiskLayout& layout, std::uint64_t sector) {
  for (std::size_t k = 0; k < layout.size(); ++k) {
    if (sector >= layout[k].first && sector - layout[k].first < layout[k].sectors) return k;
  }
  return std::nullopt;
}

bool IsDiskSetFile(const std::filesystem::path& path) { return IsSetFileOf(path, kDiskSetFormat); }

std::optional<std::vector<std::filesystem::path>> LoadDiskSetFile(const std::filesystem::path& path,
                                                                  std::string& error) {
  std::vector<std::filesystem::path> disks;
  const bool read = ReadSetFile(path, kDiskSetFormat, "the disk set file", [&](const json& j) {
    for (const auto& d : j.at("disks")) {
      std::filesystem::path disk = d.get<std::string>();
      if (disk.empty()) throw std::runtime_error("a disk has an empty path");
      if (disk.is_relative()) disk = path.parent_path() / disk;
      disks.push_back(disk.lexically_normal());
    }
  }, error);
  if (!read) return std::nullopt;
  return disks;
}

bool WriteDiskSetFile(const std::filesystem::path& path, const std::vector<std::filesystem::path>& disks,
                      std::string& error) {
  json j = {{"format", kDiskSetFormat}, {"version", 1}, {"disks", json::array()}};
  for (const auto& d : disks) j["disks"].push_back(d.string());
  const auto temp = path.string() + ".part";
  std::ofstream out(temp, std::ios::binary | std::ios::trunc);
  out << j.dump(2) << "\n";
  out.close();
  std::error_code ec;
  if (!out || (std::filesystem::rename(temp, path, ec), ec)) {
    std::filesystem::remove(temp, ec);
    error = "cannot write " + path.string();
    return false;
  }
  return true;
}

std::string DiskSetProblem(const std::vector<std::filesystem::path>& disks) {
  if (disks.size() < 2) return "a disk set needs at least two disks";
  std::vector<std::optional<std::pair<dev_t, ino_t>>> ids;
  for (std::size_t i = 0; i < disks.size(); ++i) {
    if (IsDiskSetFile(disks[i])) return disks[i].string() + " is a disk set itself, not a disk";
    ids.push_back(Identity(disks[i]));
    for (std::size_t j = 0; j < i; ++j) {
      if (ids[i] && ids[j] && *ids[i] == *ids[j])
        return "the same disk is given twice: " + disks[j].string() + " (disk " + std::to_string(j + 1) + ") and " +
               disks[i].string() + " (disk " + std::to_string(i + 1) + ")";
    }
  }
  return {};
}

OpenedImage OpenDiskSet(const std::vector<std::filesystem::path>& disks, const std::filesystem::path& setFile) {
  OpenedImage out;
  const std::string where = setFile.empty() ? std::string() : setFile.string() + ": ";
  if (auto problem = DiskSetProblem(disks); !problem.empty()) {
    out.error = where + problem;
    return out;
  }
  // The disks one after the other: the span of a RAID set without metadata.
  std::vector<std::unique_ptr<Device>> devices;
  for (const auto& d : disks) {
    OpenedImage disk = OpenImage(d);
    if (!disk) {
      out.error = where + "disk " + d.string() + ": " + disk.error;
      return out;
    }
    if (disk.device->SectorCount() == 0) {
      out.error = where + "disk " + d.string() + " is empty: it holds no whole sector";
      return out;
    }
    out.description.files.insert(out.description.files.end(), disk.description.files.begin(),
                                 disk.description.files.end());
    devices.push_back(std::move(disk.device));
  }
  RaidGeometry span;
  span.level = RaidLevel::Span;
  span.offsetSectors = 0;
  span.members = static_cast<std::uint32_t>(devices.size());
  auto device = RaidDevice::Create(span, std::move(devices), out.error);
  if (!device) {
    out.error = where + out.error;
    return out;
  }
  out.description.kind = ImageKind::DiskSet;
  out.description.sizeBytes = device->SectorCount() * kSectorSize;
  out.description.model = setFile.empty() ? std::string("disk set") : setFile.filename().string();
  out.description.mediaType = "Disk set of " + std::to_string(disks.size()) + " disks";
  out.device = std::move(device);
  return out;
}

OpenedImage OpenDiskSetFile(const std::filesystem::path& path) {
  OpenedImage out;
  auto disks = LoadDiskSetFile(path, out.error);
  if (!disks) return out;
  return OpenDiskSet(*disks, path);
}

std::optional<DiskLayout> DiskSetLayout(const std::filesystem::path& path, std::string* error) {
  if (!IsDiskSetFile(path)) return std::nullopt;
  std::string why;
  auto disks = LoadDiskSetFile(path, why);
  DiskLayout layout;
  if (disks) {
    std::uint64_t first = 0;
    for (const auto& d : *disks) {
      OpenedImage disk = OpenImage(d);
      if (!disk) {
        why = "disk " + d.string() + ": " + disk.error;
        disks.reset();
        break;
      }
      const std::uint64_t sectors = disk.device->SectorCount();
      layout.push_back({first, sectors, d.string()});
      first += sectors;
    }
  }
  if (!disks) {
    if (error) *error = why;
    return std::nullopt;
  }
  return layout;
}

}  // namespace ov
