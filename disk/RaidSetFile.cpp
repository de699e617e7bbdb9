#include "disk/RaidSetFile.h"

#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "disk/RaidDevice.h"

namespace ov {

namespace {

using nlohmann::json;

constexpr std::uintmax_t kMaxSetFileBytes = 64 * 1024;

std::optional<std::string> ReadSetFileText(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
  const auto size = std::filesystem::file_size(path, ec);
  if (ec || size > kMaxSetFileBytes || size < 2) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

bool IsSetFileOf(const std::filesystem::path& path, std::string_view format) {
  const auto text = ReadSetFileText(path);
  if (!text) return false;
  const auto start = text->find_first_not_of(" \t\r\n");
  return start != std::string::npos && (*text)[start] == '{' && text->find(format) != std::string::npos;
}

bool ReadSetFile(const std::filesystem::path& path, std::string_view format, std::string_view what,
                 const std::function<void(const json&)>& read, std::string& error) {
  const auto text = ReadSetFileText(path);
  const std::string where = std::string(what) + " " + path.string();
  if (!text) {
    error = "cannot read " + where;
    return false;
  }
  try {
    const json j = json::parse(*text);
    if (!j.is_object() || j.value("format", "") != format) throw std::runtime_error("it names no set format");
    if (j.value("version", 0) != 1) throw std::runtime_error("its version is not 1");
    read(j);
    return true;
  } catch (const std::exception& e) {
    std::string why = e.what();
    if (dynamic_cast<const json::exception*>(&e)) why = "it is not a valid set description (" + why + ")";
    error = where + ": " + why;
    return false;
  }
}

bool IsRaidSetFile(const std::filesystem::path& path) { return IsSetFileOf(path, kRaidSetFormat); }

std::optional<RaidSet> LoadRaidSetFile(const std::filesystem::path& path, std::string& error) {
  RaidSet set;
  const bool read = ReadSetFile(path, kRaidSetFormat, "the RAID set file", [&](const json& j) {
    const auto level = ParseLevel(j.at("level").get<std::string>());
    if (!level) throw std::runtime_error("unknown level \"" + j.at("level").get<std::string>() + "\"");
    set.geometry.level = *level;
    if (IsStriped(*level)) {
      const auto bytes = j.at("chunkBytes").get<std::uint64_t>();
      if (bytes % kSectorSize != 0 || !ValidChunkSectors(static_cast<std::uint32_t>(bytes / kSectorSize)) ||
          bytes > std::uint64_t{kMaxChunkSectors} * kSectorSize)
        throw std::runtime_error("chunkBytes must be a power of two from 4096 to 4194304");
      set.geometry.chunkSectors = static_cast<std::uint32_t>(bytes / kSectorSize);
    }
    if (*level == RaidLevel::Raid5) {
      const auto layout = ParseLayout(j.at("layout").get<std::string>());
      if (!layout) throw std::runtime_error("unknown layout \"" + j.at("layout").get<std::string>() + "\"");
      set.geometry.layout = *layout;
    }
    set.geometry.offsetSectors = j.value("offsetSectors", std::uint64_t{0});
    const json& members = j.at("members");
    if (!members.is_array() || members.empty()) throw std::runtime_error("it lists no members");
    for (const auto& m : members) {
      if (m.is_null()) {
        set.members.emplace_back();
        continue;
      }
      std::filesystem::path p(m.get<std::string>());
      if (p.is_relative()) p = path.parent_path() / p;
      set.members.emplace_back(p.lexically_normal());
    }
    set.geometry.members = static_cast<std::uint32_t>(set.members.size());
  }, error);
  if (!read) return std::nullopt;
  return set;
}

std::string RaidSetText(const RaidSet& set, const std::filesystem::path& setFile) {
  const auto folder = std::filesystem::absolute(setFile).parent_path().lexically_normal();
  json j;
  j["format"] = kRaidSetFormat;
  j["version"] = 1;
  j["level"] = LevelName(set.geometry.level);
  j["chunkBytes"] = IsStriped(set.geometry.level) ? json(std::uint64_t{set.geometry.chunkSectors} * kSectorSize) : json();
  j["layout"] = set.geometry.level == RaidLevel::Raid5 ? json(LayoutName(set.geometry.layout)) : json();
  j["offsetSectors"] = set.geometry.offsetSectors;
  j["members"] = json::array();
  for (const auto& m : set.members) {
    if (!m) {
      j["members"].push_back(nullptr);
      continue;
    }
    const auto absolute = std::filesystem::absolute(*m).lexically_normal();
    const auto relative = absolute.lexically_relative(folder);
    const bool inside = !relative.empty() && *relative.begin() != "..";
    j["members"].push_back((inside ? relative : absolute).string());
  }
  return j.dump(2) + "\n";
}

bool WriteRaidSetFile(const std::filesystem::path& path, const RaidSet& set, std::string& error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << RaidSetText(set, path);
  out.close();
  if (!out) {
    error = "cannot write " + path.string();
    return false;
  }
  return true;
}

OpenedImage OpenRaidSet(const RaidSet& set, const std::filesystem::path& setFile) {
  OpenedImage out;
  std::vector<std::unique_ptr<Device>> members;
  std::uint32_t missing = 0;
  for (const auto& m : set.members) {
    if (!m) {
      members.emplace_back();
      ++missing;
      continue;
    }
    if (IsRaidSetFile(*m)) {
      out.error = m->string() + " is a RAID set file itself, not a member";
      return out;
    }
    OpenedImage member = OpenImage(*m);
    if (!member) {
      out.error = "member " + m->string() + ": " + member.error;
      return out;
    }
    out.description.files.insert(out.description.files.end(), member.description.files.begin(),
                                 member.description.files.end());
    members.push_back(std::move(member.device));
  }
  auto device = RaidDevice::Create(set.geometry, std::move(members), out.error);
  if (!device) {
    if (!setFile.empty()) out.error = setFile.string() + ": " + out.error;
    return out;
  }
  out.description.kind = ImageKind::RaidSet;
  out.description.sizeBytes = device->SectorCount() * kSectorSize;
  out.description.model = setFile.filename().string();
  out.description.mediaType = "RAID " + std::string(LevelName(set.geometry.level)) + " set of " +
                              std::to_string(set.members.size()) + " members" +
                              (missing ? ", " + std::to_string(missing) + " missing" : "");
  out.device = std::move(device);
  return out;
}

OpenedImage OpenRaidSetFile(const std::filesystem::path& path) {
  OpenedImage out;
  auto set = LoadRaidSetFile(path, out.error);
  if (!set) return out;
  return OpenRaidSet(*set, path);
}

}  // namespace ov
