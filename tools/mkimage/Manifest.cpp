#include "mkimage/Manifest.h"

#include <nlohmann/json.hpp>

namespace ov::mkimage {

const ManifestPool* Manifest::FindPool(const std::string& key) const {
  for (const auto& p : pools)
    if (p.key == key) return &p;
  return nullptr;
}

const ManifestVolume* Manifest::FindVolume(const std::string& poolKey, const std::string& volume) const {
  const auto* pool = FindPool(poolKey);
  if (!pool) return nullptr;
  for (const auto& v : pool->volumes)
    if (v.name == volume) return &v;
  return nullptr;
}

const ManifestFile* FindFile(const ManifestVolume& volume, const std::string& folderPath, const std::string& name) {
  for (const auto& f : volume.files)
    if (f.placed && f.folder == folderPath && f.name == name) return &f;
  return nullptr;
}

namespace {

nlohmann::json FolderJson(const ManifestFolder& f) {
  nlohmann::json j = {{"id", f.id},       {"parentId", f.parentId}, {"name", Latin1ToUtf8(f.name)},
                      {"time", f.time},   {"index", f.index},       {"placed", f.placed}};
  j["path"] = f.placed ? nlohmann::json(Latin1ToUtf8(f.path)) : nlohmann::json(nullptr);
  return j;
}

nlohmann::json FileJson(const ManifestFile& f) {
  nlohmann::json j = {{"id", f.id},
                      {"parentId", f.parentId},
                      {"name", Latin1ToUtf8(f.name)},
                      {"time", f.time},
                      {"index", f.index},
                      {"size", f.size},
                      {"blockCount", f.blockCount},
                      {"firstBlock", f.firstBlock},
                      {"diskSector", f.diskSector},
                      {"disk", f.disk},
                      {"placed", f.placed},
                      {"sha256", f.sha256}};
  j["folder"] = f.placed ? nlohmann::json(Latin1ToUtf8(f.folder)) : nlohmann::json(nullptr);
  if (f.fromFolderRecord) j["fromFolderRecord"] = true;
  return j;
}

}  // namespace

nlohmann::json ManifestToJson(const Manifest& m) {
  nlohmann::json out;
  out["diskSectors"] = m.diskSectors;
  out["disks"] = nlohmann::json::array();
  for (const auto& d : m.disks) {
    nlohmann::json j = {{"output", d.output}, {"sectors", d.sectors}};
    j["unreadable"] = nlohmann::json::array();
    for (const auto& [first, last] : d.unreadable) j["unreadable"].push_back({{"first", first}, {"last", last}});
    out["disks"].push_back(j);
  }
  out["partitions"] = nlohmann::json::array();
  for (const auto& p : m.partitions) {
    nlohmann::json j = {{"disk", p.disk}, {"slot", p.slot}, {"type", p.type}, {"first", p.first}, {"sectors", p.sectors}};
    if (!p.sectionHeaders.empty()) j["sectionHeaders"] = p.sectionHeaders;
    if (p.chainLoops) j["chainLoops"] = true;
    if (p.ext2) j["ext2"] = true;
    out["partitions"].push_back(j);
  }
  out["pools"] = nlohmann::json::array();
  for (const auto& p : m.pools) {
    nlohmann::json j = {{"key", p.key},
                        {"name", Latin1ToUtf8(p.name)},
                        {"layout", p.compact ? "compact" : "normal"},
                        {"partitionSlot", p.partitionSlot},
                        {"segmentSize", p.segmentSize},
                        {"blocks", p.blocks},
                        {"superblockSector", p.superblockSector},
                        {"superblockMark", p.superblockMark},
                        {"rootBlock", p.rootBlock}};
    j["segments"] = nlohmann::json::array();
    for (const auto& s : p.segments)
      j["segments"].push_back({{"index", s.index},
                               {"disk", s.disk},
                               {"headerSector", s.headerSector},
                               {"dataOffset", s.dataOffset},
                               {"start", s.start},
                               {"length", s.length}});
    j["volumes"] = nlohmann::json::array();
    for (const auto& v : p.volumes) {
      nlohmann::json vj = {{"name", Latin1ToUtf8(v.name)}, {"found", v.found},
                           {"rootBlock", v.rootBlock},     {"rootSector", v.rootSector},
                           {"rootDisk", v.rootDisk},
                           {"folderCount", v.folderCount}, {"fileCount", v.fileCount},
                           {"treeBlocks", v.treeBlocks}};
      vj["folders"] = nlohmann::json::array();
      for (const auto& f : v.folders) vj["folders"].push_back(FolderJson(f));
      vj["files"] = nlohmann::json::array();
      for (const auto& f : v.files) vj["files"].push_back(FileJson(f));
      vj["dropped"] = nlohmann::json::array();
      for (const auto& d : v.dropped) vj["dropped"].push_back({{"name", Latin1ToUtf8(d.name)}, {"reason", d.reason}});
      j["volumes"].push_back(vj);
    }
    out["pools"].push_back(j);
  }
  out["documents"] = nlohmann::json::array();
  for (const auto& d : m.documents)
    out["documents"].push_back({{"kind", DocumentKindName(d.kind)},
                                {"rawKind", RawKindNumber(d.kind)},
                                {"disk", d.disk},
                                {"firstSector", d.firstSector},
                                {"sectors", d.sectors},
                                {"markerSector", d.markerSector},
                                {"size", d.size},
                                {"source", d.source},
                                {"sha256", d.sha256}});
  out["unreadable"] = nlohmann::json::array();
  for (const auto& [first, last] : m.unreadable) out["unreadable"].push_back({{"first", first}, {"last", last}});
  out["damage"] = m.damage;
  return out;
}

std::string UnreadableListText(const Manifest& manifest) { return UnreadableListText(manifest.unreadable); }

std::string UnreadableListText(const std::vector<std::pair<std::uint64_t, std::uint64_t>>& ranges) {
  std::string out = "# Unreadable sectors, one sector or inclusive range first-last per line\n";
  for (const auto& [first, last] : ranges) {
    out += std::to_string(first);
    if (last != first) out += "-" + std::to_string(last);
    out += "\n";
  }
  return out;
}

}  // namespace ov::mkimage
