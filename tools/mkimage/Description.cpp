#include "mkimage/Description.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

namespace ov::mkimage {

namespace {

using nlohmann::json;

// Thrown inside the parser only; ParseDescription turns it into an error text.
struct DescriptionError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
  throw DescriptionError(where + ": " + what);
}

void CheckKeys(const json& j, const std::string& where, std::initializer_list<const char*> allowed) {
  if (!j.is_object()) Fail(where, "expected an object");
  for (auto it = j.begin(); it != j.end(); ++it) {
    bool known = std::any_of(allowed.begin(), allowed.end(), [&](const char* k) { return it.key() == k; });
    if (!known) Fail(where, "unknown key \"" + it.key() + "\"");
  }
}

std::uint64_t ParseUint(const json& j, const std::string& where) {
  if (j.is_number_unsigned()) return j.get<std::uint64_t>();
  if (j.is_number_integer()) {
    auto v = j.get<std::int64_t>();
    if (v < 0) Fail(where, "must not be negative");
    return static_cast<std::uint64_t>(v);
  }
  if (j.is_string()) {
    const auto s = j.get<std::string>();
    std::size_t used = 0;
    try {
      std::uint64_t v = std::stoull(s, &used, 0);
      if (used == s.size() && !s.empty() && s[0] != '-') return v;
    } catch (const std::exception&) {
    }
    Fail(where, "\"" + s + "\" is not a whole number");
  }
  Fail(where, "expected a whole number");
}

std::uint32_t ParseU32(const json& j, const std::string& where) {
  auto v = ParseUint(j, where);
  if (v > 0xFFFFFFFFu) Fail(where, "does not fit in 32 bits");
  return static_cast<std::uint32_t>(v);
}

// A number of bytes: a number, or a text such as "12KiB", "3 MiB", "1GiB".
std::uint64_t ParseBytes(const json& j, const std::string& where) {
  if (!j.is_string()) return ParseUint(j, where);
  std::string s = j.get<std::string>();
  s.erase(std::remove(s.begin(), s.end(), ' '), s.end());
  static const std::pair<const char*, std::uint64_t> units[] = {
      {"TiB", 1ULL << 40}, {"GiB", 1ULL << 30}, {"MiB", 1ULL << 20}, {"KiB", 1ULL << 10},
      {"T", 1ULL << 40},   {"G", 1ULL << 30},   {"M", 1ULL << 20},   {"K", 1ULL << 10}, {"B", 1}};
  for (const auto& [suffix, factor] : units) {
    std::string u(suffix);
    if (s.size() > u.size() && s.compare(s.size() - u.size(), u.size(), u) == 0) {
      auto v = ParseUint(json(s.substr(0, s.size() - u.size())), where);
      return v * factor;
    }
  }
  return ParseUint(json(s), where);
}

// A number of sectors: a plain number counts sectors, a text with a unit
// ("8MiB") counts bytes and must be whole sectors.
std::uint64_t ParseSectors(const json& j, const std::string& where) {
  if (j.is_string()) {
    const auto s = j.get<std::string>();
    if (!s.empty() && (std::isalpha(static_cast<unsigned char>(s.back())) != 0) && s.rfind("0x", 0) != 0) {
      auto bytes = ParseBytes(j, where);
      if (bytes % 512 != 0) Fail(where, "is not a whole number of 512-byte sectors");
      return bytes / 512;
    }
  }
  return ParseUint(j, where);
}

bool GetBool(const json& j, const char* key, const std::string& where, bool fallback = false) {
  if (!j.contains(key)) return fallback;
  if (!j.at(key).is_boolean()) Fail(where + "." + key, "expected true or false");
  return j.at(key).get<bool>();
}

std::string GetString(const json& j, const char* key, const std::string& where) {
  if (!j.contains(key)) Fail(where, std::string("missing \"") + key + "\"");
  if (!j.at(key).is_string()) Fail(where + "." + key, "expected a text");
  return j.at(key).get<std::string>();
}

std::uint32_t ParseTimeValue(const json& j, const std::string& where) {
  if (j.is_string()) {
    std::uint32_t t = 0;
    if (!ParseTime(j.get<std::string>(), t)) Fail(where, "\"" + j.get<std::string>() + "\" is not a time like \"2004-03-15 09:30:00\"");
    return t;
  }
  return ParseU32(j, where);
}

std::uint8_t ParsePartitionType(const json& j, const std::string& where) {
  if (j.is_string()) {
    static const std::map<std::string, std::uint8_t> names = {
        {"netware", 0x65}, {"nss", 0x65}, {"nss-compact", 0x69}, {"linux", 0x83}, {"fat32", 0x0C}, {"ntfs", 0x07}};
    auto it = names.find(j.get<std::string>());
    if (it != names.end()) return it->second;
  }
  auto v = ParseUint(j, where);
  if (v == 0 || v > 0xFF) Fail(where, "partition type must be 1 to 255");
  return static_cast<std::uint8_t>(v);
}

TreeShape ParseShape(const json& j, const std::string& where) {
  CheckKeys(j, where, {"leafStart", "index", "fanout", "recordsPerLeaf"});
  TreeShape shape;
  if (j.contains("leafStart")) {
    auto v = ParseUint(j.at("leafStart"), where + ".leafStart");
    if (v != 40 && v != 56) Fail(where + ".leafStart", "must be 40 or 56");
    shape.leafStart = static_cast<int>(v);
  }
  if (j.contains("index")) {
    auto s = GetString(j, "index", where);
    if (s == "branch") shape.pointerIndex = false;
    else if (s == "pointers") shape.pointerIndex = true;
    else Fail(where + ".index", "must be \"branch\" or \"pointers\"");
  }
  if (j.contains("fanout")) {
    auto v = ParseUint(j.at("fanout"), where + ".fanout");
    if (v < 2 || v > 338) Fail(where + ".fanout", "must be 2 to 338");
    shape.fanout = static_cast<int>(v);
  }
  if (j.contains("recordsPerLeaf")) {
    auto v = ParseUint(j.at("recordsPerLeaf"), where + ".recordsPerLeaf");
    if (v < 1 || v > 100) Fail(where + ".recordsPerLeaf", "must be 1 to 100");
    shape.recordsPerLeaf = static_cast<int>(v);
  }
  return shape;
}

Bytes ParseHex(const std::string& text, const std::string& where) {
  Bytes out;
  int nibble = -1;
  for (char c : text) {
    int v;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    else if (c == ' ' || c == '\n' || c == '\t' || c == ':') continue;
    else Fail(where, "not a hexadecimal digit in \"hex\"");
    if (nibble < 0) nibble = v;
    else {
      out.push_back(static_cast<std::uint8_t>(nibble * 16 + v));
      nibble = -1;
    }
  }
  if (nibble >= 0) Fail(where, "odd number of hexadecimal digits");
  return out;
}

struct Context {
  const Description& desc;
  std::filesystem::path baseDir;
  // Content is made in memory while parsing, so its total is bounded: by
  // the disk when the description gives its size (content that cannot fit
  // would fail the build anyway), else by the caller's limit.
  std::uint64_t contentLimit;
  bool sizeBound = false;  // the limit is the size of the disk(s)
  mutable std::uint64_t contentBytes = 0;

  void Charge(std::uint64_t bytes, const std::string& where) const {
    if (bytes > contentLimit || contentBytes > contentLimit - bytes)
      Fail(where, "the content comes to more than " + std::to_string(contentLimit) + " bytes" +
                      (!sizeBound ? "" : desc.moreDisks.empty() ? ", the size of the disk" : ", the size of the disks"));
    contentBytes += bytes;
  }
};

Bytes ParseFileData(const json& j, const std::string& where, const std::string& seedLabel, const std::string& name,
                    const Context& ctx, std::optional<DocumentKind>& document) {
  int sources = 0;
  for (const char* k : {"text", "lines", "hex", "path", "document", "content"}) sources += j.contains(k) ? 1 : 0;
  if (sources > 1) Fail(where, "give only one of \"text\", \"lines\", \"hex\", \"path\", \"document\", \"content\"");
  std::uint64_t seed = j.contains("seed") ? ParseUint(j.at("seed"), where + ".seed") : DeriveSeed(ctx.desc.seed, seedLabel);
  auto sized = [&](std::uint64_t fallback) {
    auto size = j.contains("size") ? ParseBytes(j.at("size"), where + ".size") : fallback;
    ctx.Charge(size, where + ".size");
    return size;
  };
  Bytes data;
  if (j.contains("text")) {
    auto t = GetString(j, "text", where);
    data.assign(t.begin(), t.end());
  } else if (j.contains("lines")) {
    if (!j.at("lines").is_array()) Fail(where + ".lines", "expected a list of texts");
    std::string t;
    for (const auto& line : j.at("lines")) {
      if (!line.is_string()) Fail(where + ".lines", "expected a list of texts");
      t += line.get<std::string>() + "\r\n";
    }
    data.assign(t.begin(), t.end());
  } else if (j.contains("hex")) {
    data = ParseHex(GetString(j, "hex", where), where);
  } else if (j.contains("path")) {
    auto p = std::filesystem::path(GetString(j, "path", where));
    if (p.is_relative()) p = ctx.baseDir / p;
    std::ifstream in(p, std::ios::binary);
    if (!in) Fail(where + ".path", "cannot read " + p.string());
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  } else if (j.contains("document")) {
    DocumentKind kind{};
    if (!ParseDocumentKind(GetString(j, "document", where), kind))
      Fail(where + ".document", "must be word, excel, excel5, powerpoint or zip");
    document = kind;
    data = MakeDocument(kind, sized(12000), seed, j.contains("title") ? GetString(j, "title", where) : name);
    return data;
  } else {
    std::string how = j.contains("content") ? GetString(j, "content", where) : (j.contains("size") ? "auto" : "none");
    auto size = sized(0);
    if (how == "none") {
    } else if (how == "zeros") {
      data.assign(size, 0);
    } else if (how == "random") {
      data.resize(size);
      Rng rng(seed);
      rng.Fill(data);
    } else if (how == "prose") {
      Rng rng(seed);
      data = MakeProse(size, rng);
    } else if (how == "auto") {
      data = MakeContentForName(name, size, seed);
      DocumentKind kind{};
      auto dot = name.rfind('.');
      std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
      std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
      static const std::map<std::string, std::string> byExt = {{"doc", "word"}, {"xls", "excel"}, {"ppt", "powerpoint"}, {"zip", "zip"}};
      auto it = byExt.find(ext);
      if (it != byExt.end() && ParseDocumentKind(it->second, kind)) document = kind;
    } else {
      Fail(where + ".content", "must be \"auto\", \"prose\", \"random\" or \"zeros\"");
    }
    return data;
  }
  if (j.contains("size")) Fail(where + ".size", "\"size\" goes only with \"content\" or \"document\"");
  ctx.Charge(data.size(), where);
  return data;
}

void ParseItems(const json& list, const std::string& where, const std::string& label, const Context& ctx,
                std::vector<Item>& out);

Item ParseItem(const json& j, const std::string& where, const std::string& label, const Context& ctx) {
  Item item;
  if (j.contains("folder") == j.contains("file")) Fail(where, "an item is either {\"folder\": NAME} or {\"file\": NAME}");
  item.folder = j.contains("folder");
  if (item.folder) {
    CheckKeys(j, where, {"folder", "items", "time", "id", "parentId", "attributes", "fileFlag", "duplicate", "overrun", "extraNames"});
    item.name = GetString(j, "folder", where);
  } else {
    CheckKeys(j, where, {"file", "time", "id", "parentId", "attributes", "duplicate", "overrun", "extraNames", "text", "lines",
                         "hex", "path", "document", "content", "size", "seed", "title", "blockCount", "firstBlock", "segment",
                         "crossSegments"});
    item.name = GetString(j, "file", where);
  }
  std::string here = where + " \"" + item.name + "\"";
  if (j.contains("time")) item.time = ParseTimeValue(j.at("time"), here + ".time");
  if (j.contains("id")) item.id = ParseUint(j.at("id"), here + ".id");
  if (j.contains("parentId")) item.parentId = ParseUint(j.at("parentId"), here + ".parentId");
  item.attributes = GetBool(j, "attributes", here, true);
  item.fileFlag = GetBool(j, "fileFlag", here);
  item.duplicate = GetBool(j, "duplicate", here);
  item.overrun = GetBool(j, "overrun", here);
  if (j.contains("extraNames")) {
    if (!j.at("extraNames").is_array()) Fail(here + ".extraNames", "expected a list of texts");
    for (const auto& n : j.at("extraNames")) {
      if (!n.is_string()) Fail(here + ".extraNames", "expected a list of texts");
      item.extraNames.push_back(n.get<std::string>());
    }
  }
  std::string myLabel = label + "/" + item.name;
  if (item.folder) {
    if (j.contains("items")) ParseItems(j.at("items"), here + ".items", myLabel, ctx, item.children);
  } else {
    item.data = ParseFileData(j, here, "file:" + myLabel, item.name, ctx, item.document);
    if (j.contains("blockCount")) item.blockCount = ParseU32(j.at("blockCount"), here + ".blockCount");
    if (j.contains("firstBlock")) item.firstBlock = ParseUint(j.at("firstBlock"), here + ".firstBlock");
    if (j.contains("segment")) item.segment = ParseU32(j.at("segment"), here + ".segment");
    item.crossSegments = GetBool(j, "crossSegments", here);
    if (item.crossSegments && !item.firstBlock) Fail(here + ".crossSegments", "needs \"firstBlock\"");
  }
  return item;
}

void ParseItems(const json& list, const std::string& where, const std::string& label, const Context& ctx,
                std::vector<Item>& out) {
  if (!list.is_array()) Fail(where, "expected a list of items");
  for (std::size_t i = 0; i < list.size(); ++i)
    out.push_back(ParseItem(list[i], where + "[" + std::to_string(i) + "]", label, ctx));
}

// A deterministic, real-looking folder tree.
void Generate(const json& j, const std::string& where, const std::string& label, const Context& ctx,
              std::vector<Item>& out) {
  CheckKeys(j, where, {"seed", "folders", "files", "maxDepth", "minSize", "maxSize", "from", "to"});
  std::uint64_t seed = j.contains("seed") ? ParseUint(j.at("seed"), where + ".seed") : DeriveSeed(ctx.desc.seed, "generate:" + label);
  auto folders = j.contains("folders") ? ParseUint(j.at("folders"), where + ".folders") : 20;
  auto files = j.contains("files") ? ParseUint(j.at("files"), where + ".files") : 100;
  auto maxDepth = j.contains("maxDepth") ? ParseUint(j.at("maxDepth"), where + ".maxDepth") : 3;
  auto minSize = j.contains("minSize") ? ParseBytes(j.at("minSize"), where + ".minSize") : 200;
  auto maxSize = j.contains("maxSize") ? ParseBytes(j.at("maxSize"), where + ".maxSize") : 40000;
  std::uint32_t from = 915148800, to = 1088553600;  // 1999-01-01 .. 2004-06-30
  if (j.contains("from")) from = ParseTimeValue(j.at("from"), where + ".from");
  if (j.contains("to")) to = ParseTimeValue(j.at("to"), where + ".to");
  if (folders > 1000000 || files > 10000000) Fail(where, "at most 1000000 folders and 10000000 files");
  if (maxSize < minSize) Fail(where, "maxSize is below minSize");
  if (to < from) Fail(where, "\"to\" is before \"from\"");

  Rng rng(seed);
  struct Node {
    int parent;  // -1 = volume root
    int depth;
    Item item;
    std::vector<int> kids;
    std::set<std::string> names;
  };
  std::vector<Node> nodes;
  std::set<std::string> rootNames;
  for (const auto& existing : out) rootNames.insert(existing.name);
  auto uniqueIn = [&](std::set<std::string>& names, std::string name) {
    std::string base = name;
    for (int k = 2; names.count(name) != 0; ++k) {
      auto dot = base.rfind('.');
      name = dot == std::string::npos || dot == 0 ? base + " (" + std::to_string(k) + ")"
                                                  : base.substr(0, dot) + " (" + std::to_string(k) + ")" + base.substr(dot);
    }
    names.insert(name);
    return name;
  };
  for (std::uint64_t i = 0; i < folders; ++i) {
    int parent = -1;
    if (!nodes.empty() && !rng.Chance(20)) {
      parent = static_cast<int>(rng.Below(nodes.size()));
      while (parent >= 0 && static_cast<std::uint64_t>(nodes[static_cast<std::size_t>(parent)].depth) + 1 >= maxDepth)
        parent = nodes[static_cast<std::size_t>(parent)].parent;
    }
    Node n;
    n.parent = parent;
    n.depth = parent < 0 ? 0 : nodes[static_cast<std::size_t>(parent)].depth + 1;
    n.item.folder = true;
    auto& names = parent < 0 ? rootNames : nodes[static_cast<std::size_t>(parent)].names;
    n.item.name = uniqueIn(names, MakeFolderName(rng, n.depth));
    n.item.time = static_cast<std::uint32_t>(rng.Between(from, to));
    nodes.push_back(std::move(n));
    if (parent >= 0) nodes[static_cast<std::size_t>(parent)].kids.push_back(static_cast<int>(nodes.size() - 1));
  }
  std::vector<Item> rootFiles;
  for (std::uint64_t i = 0; i < files; ++i) {
    int parent = nodes.empty() || rng.Chance(5) ? -1 : static_cast<int>(rng.Below(nodes.size()));
    auto& names = parent < 0 ? rootNames : nodes[static_cast<std::size_t>(parent)].names;
    Item f;
    f.name = uniqueIn(names, MakeFileName(rng));
    f.time = static_cast<std::uint32_t>(rng.Between(from, to));
    // Sizes lean towards small files, as on a real office server.
    std::uint64_t span = maxSize - minSize;
    std::uint64_t size = minSize + (rng.Chance(70) ? rng.Below(span / 8 + 1) : rng.Below(span + 1));
    ctx.Charge(size, where);
    std::string fileLabel = "generated:" + label + "#" + std::to_string(i);
    f.data = MakeContentForName(f.name, size, DeriveSeed(seed, fileLabel));
    auto dot = f.name.rfind('.');
    std::string ext = dot == std::string::npos ? "" : f.name.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == "doc") f.document = DocumentKind::Word;
    if (ext == "xls") f.document = DocumentKind::Excel;
    if (ext == "ppt") f.document = DocumentKind::PowerPoint;
    if (ext == "zip") f.document = DocumentKind::Zip;
    if (parent < 0) rootFiles.push_back(std::move(f));
    else nodes[static_cast<std::size_t>(parent)].item.children.push_back(std::move(f));
  }
  // Nest the folders, deepest first so that each child is complete when moved.
  for (std::size_t i = nodes.size(); i-- > 0;) {
    auto& n = nodes[i];
    std::vector<Item> kids;
    for (int k : n.kids) kids.push_back(std::move(nodes[static_cast<std::size_t>(k)].item));
    n.item.children.insert(n.item.children.begin(), std::make_move_iterator(kids.begin()), std::make_move_iterator(kids.end()));
  }
  for (auto& n : nodes)
    if (n.parent < 0) out.push_back(std::move(n.item));
  for (auto& f : rootFiles) out.push_back(std::move(f));
}

Volume ParseVolume(const json& j, const std::string& where, const std::string& poolName, const Context& ctx) {
  CheckKeys(j, where, {"name", "tree", "items", "generate", "treeLoop", "noRootEntry", "nameLength"});
  Volume v;
  v.name = GetString(j, "name", where);
  std::string here = where + " \"" + v.name + "\"";
  if (j.contains("tree")) v.tree = ParseShape(j.at("tree"), here + ".tree");
  std::string label = poolName + "/" + v.name;
  if (j.contains("items")) ParseItems(j.at("items"), here + ".items", label, ctx, v.items);
  if (j.contains("generate")) Generate(j.at("generate"), here + ".generate", label, ctx, v.items);
  v.treeLoop = GetBool(j, "treeLoop", here);
  v.noRootEntry = GetBool(j, "noRootEntry", here);
  if (j.contains("nameLength")) {
    auto n = ParseUint(j.at("nameLength"), here + ".nameLength");
    if (n > 255) Fail(here + ".nameLength", "must be 0 to 255");
    v.nameLength = static_cast<int>(n);
  }
  return v;
}

Pool ParsePool(const json& j, const std::string& where, const Context& ctx) {
  CheckKeys(j, where, {"name", "directory", "free", "noSuperblockMark", "volumes"});
  Pool p;
  p.name = GetString(j, "name", where);
  std::string here = where + " \"" + p.name + "\"";
  if (j.contains("directory")) p.directory = ParseShape(j.at("directory"), here + ".directory");
  if (j.contains("free")) {
    auto f = GetString(j, "free", here);
    if (f == "zero") p.free = FreeFill::Zero;
    else if (f == "random") p.free = FreeFill::Random;
    else Fail(here + ".free", "must be \"zero\" or \"random\"");
  }
  p.noSuperblockMark = GetBool(j, "noSuperblockMark", here);
  if (j.contains("volumes")) {
    if (!j.at("volumes").is_array()) Fail(here + ".volumes", "expected a list");
    for (std::size_t i = 0; i < j.at("volumes").size(); ++i)
      p.volumes.push_back(ParseVolume(j.at("volumes")[i], here + ".volumes[" + std::to_string(i) + "]", p.name, ctx));
  }
  return p;
}

Section ParseSection(const json& j, const std::string& where) {
  CheckKeys(j, where, {"at", "pool", "segment", "sectors", "dataOffset", "offsetMarker", "offsetField", "link"});
  Section s;
  s.pool = GetString(j, "pool", where);
  if (j.contains("at")) s.at = ParseSectors(j.at("at"), where + ".at");
  if (j.contains("segment")) s.segment = ParseU32(j.at("segment"), where + ".segment");
  if (!j.contains("sectors")) Fail(where, "missing \"sectors\" (length of the section's data area)");
  s.sectors = ParseSectors(j.at("sectors"), where + ".sectors");
  if (j.contains("dataOffset")) {
    auto v = ParseUint(j.at("dataOffset"), where + ".dataOffset");
    if (v < 32 || v > 0xFFFF) Fail(where + ".dataOffset", "must be 32 to 65535");
    s.dataOffset = static_cast<std::uint32_t>(v);
  }
  if (j.contains("offsetMarker")) {
    auto v = ParseUint(j.at("offsetMarker"), where + ".offsetMarker");
    if (v > 4) Fail(where + ".offsetMarker", "must be 0 (none) or 1 to 4");
    s.offsetMarker = static_cast<int>(v);
  }
  if (j.contains("offsetField")) {
    auto v = ParseUint(j.at("offsetField"), where + ".offsetField");
    if (v > 0xFFFF) Fail(where + ".offsetField", "must fit in 16 bits");
    s.offsetField = static_cast<std::uint16_t>(v);
  }
  if (j.contains("link")) s.link = ParseU32(j.at("link"), where + ".link");
  return s;
}

Partition ParsePartition(const json& j, const std::string& where, int position) {
  CheckKeys(j, where, {"slot", "type", "bootable", "start", "sectors", "sections", "chainLoop", "pool", "ext2"});
  Partition p;
  p.slot = position;
  if (j.contains("slot")) {
    auto v = ParseUint(j.at("slot"), where + ".slot");
    if (v > 3) Fail(where + ".slot", "must be 0 to 3");
    p.slot = static_cast<int>(v);
  }
  if (!j.contains("type")) Fail(where, "missing \"type\"");
  p.type = ParsePartitionType(j.at("type"), where + ".type");
  p.bootable = GetBool(j, "bootable", where);
  if (j.contains("start")) p.start = ParseSectors(j.at("start"), where + ".start");
  if (j.contains("sectors")) p.sectors = ParseSectors(j.at("sectors"), where + ".sectors");
  if (j.contains("sections")) {
    if (p.type != 0x65) Fail(where + ".sections", "only a type 0x65 partition has sections");
    if (!j.at("sections").is_array()) Fail(where + ".sections", "expected a list");
    for (std::size_t i = 0; i < j.at("sections").size(); ++i)
      p.sections.push_back(ParseSection(j.at("sections")[i], where + ".sections[" + std::to_string(i) + "]"));
  }
  p.chainLoop = GetBool(j, "chainLoop", where);
  if (j.contains("pool")) {
    if (p.type != 0x69) Fail(where + ".pool", "only a type 0x69 partition holds a pool directly; use \"sections\"");
    p.pool = GetString(j, "pool", where);
  }
  if (p.type == 0x69 && p.pool.empty()) Fail(where, "a type 0x69 partition needs \"pool\"");
  if (p.type == 0x69 && !p.sectors) Fail(where, "a type 0x69 partition needs \"sectors\"");
  if (j.contains("ext2")) {
    const auto& e = j.at("ext2");
    CheckKeys(e, where + ".ext2", {"blocks", "blockSize"});
    Ext2Content ext2;
    ext2.blocks = e.contains("blocks") ? ParseU32(e.at("blocks"), where + ".ext2.blocks") : 0;
    auto bs = e.contains("blockSize") ? ParseBytes(e.at("blockSize"), where + ".ext2.blockSize") : 1024;
    while ((1024ULL << ext2.logBlockSize) < bs && ext2.logBlockSize < 6) ++ext2.logBlockSize;
    if ((1024ULL << ext2.logBlockSize) != bs) Fail(where + ".ext2.blockSize", "must be 1024, 2048, 4096, ... 65536");
    p.ext2 = ext2;
  }
  return p;
}

// Unreadable sectors and ranges go to `ranges`; files (objects) to `files`,
// where a place has none (a further disk), they are an error.
void ParseUnreadable(const json& list, const std::string& where, std::vector<SectorRange>& ranges,
                     std::vector<UnreadableFile>* files) {
  if (!list.is_array()) Fail(where, "expected a list");
  for (std::size_t i = 0; i < list.size(); ++i) {
    const auto& e = list[i];
    std::string here = where + "[" + std::to_string(i) + "]";
    if (e.is_object()) {
      if (!files) Fail(here, "unreadable files go in the top-level \"unreadable\"");
      CheckKeys(e, here, {"file", "sector", "sectors"});
      UnreadableFile f;
      f.path = GetString(e, "file", here);
      if (e.contains("sector")) f.sector = ParseUint(e.at("sector"), here + ".sector");
      if (e.contains("sectors")) f.sectors = ParseUint(e.at("sectors"), here + ".sectors");
      if (f.sectors == 0) Fail(here + ".sectors", "must be at least 1");
      files->push_back(f);
      continue;
    }
    SectorRange r;
    if (e.is_string()) {
      auto s = e.get<std::string>();
      auto dash = s.find('-');
      if (dash != std::string::npos) {
        r.first = ParseUint(json(s.substr(0, dash)), here);
        r.last = ParseUint(json(s.substr(dash + 1)), here);
        if (r.last < r.first) Fail(here, "range ends before it starts");
        ranges.push_back(r);
        continue;
      }
    }
    r.first = r.last = ParseUint(e, here);
    ranges.push_back(r);
  }
}

RaidSection ParseRaid(const json& j, const std::string& where) {
  CheckKeys(j, where, {"level", "chunk", "layout", "offset", "members", "outputs", "spanSectors", "unreadable", "comment",
                       "setFile"});
  RaidSection r;
  if (j.contains("level")) r.level = GetString(j, "level", where);
  if (r.level != "0" && r.level != "1" && r.level != "5" && r.level != "10" && r.level != "span")
    Fail(where + ".level", "must be \"0\", \"1\", \"5\", \"10\" or \"span\"");
  if (j.contains("chunk")) r.chunkBytes = ParseBytes(j.at("chunk"), where + ".chunk");
  if (r.chunkBytes < 4096 || r.chunkBytes > (4u << 20) || (r.chunkBytes & (r.chunkBytes - 1)) != 0)
    Fail(where + ".chunk", "must be a power of two from 4KiB to 4MiB");
  if (j.contains("layout")) r.layout = GetString(j, "layout", where);
  if (r.layout != "left-asymmetric" && r.layout != "right-asymmetric" && r.layout != "left-symmetric" &&
      r.layout != "right-symmetric")
    Fail(where + ".layout", "must be left-asymmetric, right-asymmetric, left-symmetric or right-symmetric");
  if (j.contains("offset")) r.offsetSectors = ParseSectors(j.at("offset"), where + ".offset");
  if (!j.contains("outputs") || !j.at("outputs").is_array()) Fail(where + ".outputs", "expected a list of member files");
  for (const auto& o : j.at("outputs")) {
    if (!o.is_string() || o.get<std::string>().empty()) Fail(where + ".outputs", "expected file names");
    r.outputs.push_back(o.get<std::string>());
  }
  if (j.contains("members") && ParseUint(j.at("members"), where + ".members") != r.outputs.size())
    Fail(where + ".members", "differs from the number of outputs");
  const std::size_t least = r.level == "5" ? 3 : r.level == "span" ? 1 : 2;
  if (r.outputs.size() < least) Fail(where + ".outputs", "RAID " + r.level + " needs at least " + std::to_string(least) + " members");
  if (j.contains("spanSectors")) {
    if (r.level != "span") Fail(where + ".spanSectors", "goes only with level \"span\"");
    for (const auto& s : j.at("spanSectors")) r.spanSectors.push_back(ParseSectors(s, where + ".spanSectors"));
    if (r.spanSectors.size() + 1 != r.outputs.size()) Fail(where + ".spanSectors", "gives every member's size but the last's");
  }
  if (j.contains("unreadable")) {
    if (!j.at("unreadable").is_array()) Fail(where + ".unreadable", "expected a list");
    for (std::size_t i = 0; i < j.at("unreadable").size(); ++i) {
      const auto& e = j.at("unreadable")[i];
      const std::string here = where + ".unreadable[" + std::to_string(i) + "]";
      CheckKeys(e, here, {"member", "sector", "sectors"});
      RaidSection::Unreadable u;
      u.member = ParseUint(e.at("member"), here + ".member");
      if (u.member >= r.outputs.size()) Fail(here + ".member", "names no member");
      u.range.first = ParseUint(e.at("sector"), here + ".sector");
      const auto n = e.contains("sectors") ? ParseUint(e.at("sectors"), here + ".sectors") : 1;
      if (n == 0) Fail(here + ".sectors", "must be at least 1");
      u.range.last = u.range.first + n - 1;
      r.unreadable.push_back(u);
    }
  }
  if (j.contains("setFile")) r.setFile = GetString(j, "setFile", where);
  return r;
}

Description Parse(const json& j, const std::filesystem::path& baseDir, std::uint64_t contentLimit) {
  CheckKeys(j, "description", {"size", "seed", "time", "diskSignature", "partitions", "disks", "pools", "documents",
                               "documentsAt", "fill", "unreadable", "raid", "comment"});
  Description d;
  if (j.contains("seed")) d.seed = ParseUint(j.at("seed"), "seed");
  if (j.contains("time")) d.time = ParseTimeValue(j.at("time"), "time");
  std::uint64_t contentBound = contentLimit;
  bool sizeBound = false;
  if (j.contains("disks")) {
    for (const char* k : {"size", "partitions", "diskSignature"})
      if (j.contains(k)) Fail("disks", std::string("goes instead of the top-level \"") + k + "\"; give it in each disk");
    const auto& list = j.at("disks");
    if (!list.is_array() || list.empty()) Fail("disks", "expected a list of disks");
    std::set<std::string> outputs;
    std::uint64_t total = 0;
    bool allSized = true;
    for (std::size_t k = 0; k < list.size(); ++k) {
      const std::string where = "disks[" + std::to_string(k) + "]";
      const auto& e = list[k];
      CheckKeys(e, where, {"size", "diskSignature", "partitions", "output", "unreadable", "comment"});
      DiskDescription disk;
      if (e.contains("size")) {
        disk.sizeBytes = ParseBytes(e.at("size"), where + ".size");
        total += *disk.sizeBytes;
      } else {
        allSized = false;
      }
      disk.diskSignature = e.contains("diskSignature")
                               ? ParseU32(e.at("diskSignature"), where + ".diskSignature")
                               : static_cast<std::uint32_t>(DeriveSeed(
                                     d.seed, k == 0 ? std::string("disk signature") : "disk signature " + std::to_string(k)));
      if (e.contains("partitions")) {
        if (!e.at("partitions").is_array()) Fail(where + ".partitions", "expected a list");
        for (std::size_t i = 0; i < e.at("partitions").size(); ++i)
          disk.partitions.push_back(ParsePartition(e.at("partitions")[i], where + ".partitions[" + std::to_string(i) + "]",
                                                   static_cast<int>(i)));
      }
      if (k == 0) {
        if (e.contains("output")) Fail(where + ".output", "the first disk is the image itself and has no \"output\"");
      } else {
        if (!e.contains("output")) Fail(where, "missing \"output\" (the file this disk is written to)");
        disk.output = GetString(e, "output", where);
        if (disk.output.empty()) Fail(where + ".output", "must name a file");
        if (!outputs.insert(std::filesystem::path(disk.output).lexically_normal().string()).second)
          Fail(where + ".output", "\"" + disk.output + "\" is the output of an earlier disk too");
      }
      if (e.contains("unreadable")) ParseUnreadable(e.at("unreadable"), where + ".unreadable", disk.unreadable, nullptr);
      if (k == 0) {
        d.sizeBytes = disk.sizeBytes;
        d.diskSignature = disk.diskSignature;
        d.partitions = std::move(disk.partitions);
        d.unreadable = std::move(disk.unreadable);
      } else {
        d.moreDisks.push_back(std::move(disk));
      }
    }
    if (allSized) contentBound = std::min(total, contentLimit);
    sizeBound = allSized;
  } else {
    if (j.contains("size")) d.sizeBytes = ParseBytes(j.at("size"), "size");
    d.diskSignature = j.contains("diskSignature") ? ParseU32(j.at("diskSignature"), "diskSignature")
                                                  : static_cast<std::uint32_t>(DeriveSeed(d.seed, "disk signature"));
    if (d.sizeBytes) contentBound = std::min(*d.sizeBytes, contentLimit);
    sizeBound = d.sizeBytes.has_value();
  }
  Context ctx{d, baseDir, contentBound, sizeBound};
  if (j.contains("pools")) {
    if (!j.at("pools").is_array()) Fail("pools", "expected a list");
    for (std::size_t i = 0; i < j.at("pools").size(); ++i)
      d.pools.push_back(ParsePool(j.at("pools")[i], "pools[" + std::to_string(i) + "]", ctx));
  }
  if (j.contains("partitions")) {
    if (!j.at("partitions").is_array()) Fail("partitions", "expected a list");
    for (std::size_t i = 0; i < j.at("partitions").size(); ++i)
      d.partitions.push_back(ParsePartition(j.at("partitions")[i], "partitions[" + std::to_string(i) + "]", static_cast<int>(i)));
  }
  if (j.contains("documentsAt")) d.documentsAt = ParseSectors(j.at("documentsAt"), "documentsAt");
  if (j.contains("documents")) {
    if (!j.at("documents").is_array()) Fail("documents", "expected a list");
    for (std::size_t i = 0; i < j.at("documents").size(); ++i) {
      const auto& e = j.at("documents")[i];
      std::string here = "documents[" + std::to_string(i) + "]";
      CheckKeys(e, here, {"kind", "size", "at", "seed", "title", "hex", "path"});
      Document doc;
      if (!ParseDocumentKind(GetString(e, "kind", here), doc.kind)) Fail(here + ".kind", "must be word, excel, excel5, powerpoint or zip");
      if (e.contains("at")) doc.at = ParseSectors(e.at("at"), here + ".at");
      if (e.contains("hex") || e.contains("path")) {
        // Bytes given as they are, for documents a generator does not make.
        for (const char* k : {"size", "seed", "title"})
          if (e.contains(k)) Fail(here + "." + k, "goes only with a generated document, not with \"hex\" or \"path\"");
        std::optional<DocumentKind> unused;
        doc.data = ParseFileData(e, here, here, "", ctx, unused);
        if (doc.data.empty()) Fail(here, "the document is empty");
        d.documents.push_back(std::move(doc));
        continue;
      }
      auto size = e.contains("size") ? ParseBytes(e.at("size"), here + ".size") : 12000;
      ctx.Charge(size, here + ".size");
      auto seed = e.contains("seed") ? ParseUint(e.at("seed"), here + ".seed") : DeriveSeed(d.seed, here);
      std::string title = e.contains("title") ? GetString(e, "title", here) : std::string("Document ") + std::to_string(i + 1);
      doc.data = MakeDocument(doc.kind, size, seed, title);
      d.documents.push_back(std::move(doc));
    }
  }
  if (j.contains("fill")) {
    if (!j.at("fill").is_array()) Fail("fill", "expected a list");
    for (std::size_t i = 0; i < j.at("fill").size(); ++i) {
      const auto& e = j.at("fill")[i];
      std::string here = "fill[" + std::to_string(i) + "]";
      CheckKeys(e, here, {"at", "sectors", "with"});
      FillRegion f;
      if (!e.contains("at") || !e.contains("sectors")) Fail(here, "needs \"at\" and \"sectors\"");
      f.at = ParseSectors(e.at("at"), here + ".at");
      f.sectors = ParseSectors(e.at("sectors"), here + ".sectors");
      auto with = e.contains("with") ? GetString(e, "with", here) : "random";
      if (with == "random") f.with = FreeFill::Random;
      else if (with == "zero") f.with = FreeFill::Zero;
      else Fail(here + ".with", "must be \"random\" or \"zero\"");
      d.fills.push_back(f);
    }
  }
  if (j.contains("unreadable")) ParseUnreadable(j.at("unreadable"), "unreadable", d.unreadable, &d.unreadableFiles);
  if (j.contains("raid")) d.raid = ParseRaid(j.at("raid"), "raid");
  return d;
}

}  // namespace

bool ParseTime(const std::string& text, std::uint32_t& out) {
  int y = 0, mo = 0, da = 0, h = 0, mi = 0, s = 0;
  char sep = ' ';
  int fields = std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d", &y, &mo, &da, &sep, &h, &mi, &s);
  if (fields != 3 && fields != 6 && fields != 7) return false;
  if (fields > 3 && sep != ' ' && sep != 'T') return false;
  if (y < 1970 || y > 2105 || mo < 1 || mo > 12 || da < 1 || da > 31 || h > 23 || mi > 59 || s > 59 || h < 0 || mi < 0 || s < 0)
    return false;
  // Days from civil (proleptic Gregorian).
  int yy = y - (mo <= 2 ? 1 : 0);
  int era = yy / 400;
  int yoe = yy - era * 400;
  int doy = (153 * (mo + (mo > 2 ? -3 : 9)) + 2) / 5 + da - 1;
  int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  long long days = static_cast<long long>(era) * 146097 + doe - 719468;
  long long secs = days * 86400 + h * 3600 + mi * 60 + s;
  if (secs < 0 || secs > 0xFFFFFFFFLL) return false;
  out = static_cast<std::uint32_t>(secs);
  return true;
}

ParseResult ParseDescription(const nlohmann::json& json, const std::filesystem::path& baseDir, std::uint64_t contentLimit) {
  ParseResult result;
  try {
    result.description = Parse(json, baseDir, contentLimit);
  } catch (const DescriptionError& e) {
    result.error = e.what();
  } catch (const nlohmann::json::exception& e) {
    result.error = std::string("description: ") + e.what();
  }
  return result;
}

ParseResult ParseDescriptionText(const std::string& text, const std::filesystem::path& baseDir,
                                 std::uint64_t contentLimit) {
  nlohmann::json j;
  try {
    j = nlohmann::json::parse(text, nullptr, true, /*ignore_comments=*/true);
  } catch (const nlohmann::json::exception& e) {
    ParseResult r;
    r.error = std::string("not valid JSON: ") + e.what();
    return r;
  }
  return ParseDescription(j, baseDir, contentLimit);
}

ParseResult ParseDescriptionFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    ParseResult r;
    r.error = "cannot read " + file.string();
    return r;
  }
  std::stringstream buf;
  buf << in.rdbuf();
  return ParseDescriptionText(buf.str(), file.parent_path());
}

}  // namespace ov::mkimage
