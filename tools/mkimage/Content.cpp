#include "mkimage/Content.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace ov::mkimage {

std::uint64_t Rng::Next() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

std::uint64_t Rng::Below(std::uint64_t bound) { return bound == 0 ? 0 : Next() % bound; }

std::uint64_t Rng::Between(std::uint64_t low, std::uint64_t high) {
  if (high <= low) return low;
  return low + Below(high - low + 1);
}

void Rng::Fill(std::span<std::uint8_t> out) {
  std::size_t i = 0;
  while (i < out.size()) {
    std::uint64_t v = Next();
    for (int k = 0; k < 8 && i < out.size(); ++k, ++i) out[i] = static_cast<std::uint8_t>(v >> (8 * k));
  }
}

std::uint64_t DeriveSeed(std::uint64_t seed, std::string_view label) {
  std::uint64_t h = 0xCBF29CE484222325ULL;  // FNV-1a
  for (char c : label) {
    h ^= static_cast<std::uint8_t>(c);
    h *= 0x100000001B3ULL;
  }
  Rng mix(seed ^ h);
  return mix.Next();
}

// ---- digests ---------------------------------------------------------------

namespace {

constexpr std::array<std::uint32_t, 64> kSha256K = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

std::uint32_t Rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

void Sha256Block(std::array<std::uint32_t, 8>& h, const std::uint8_t* p) {
  std::uint32_t w[64];
  for (int i = 0; i < 16; ++i)
    w[i] = (std::uint32_t{p[4 * i]} << 24) | (std::uint32_t{p[4 * i + 1]} << 16) |
           (std::uint32_t{p[4 * i + 2]} << 8) | std::uint32_t{p[4 * i + 3]};
  for (int i = 16; i < 64; ++i) {
    std::uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
    std::uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
  for (int i = 0; i < 64; ++i) {
    std::uint32_t s1 = Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25);
    std::uint32_t ch = (e & f) ^ (~e & g);
    std::uint32_t t1 = hh + s1 + ch + kSha256K[i] + w[i];
    std::uint32_t s0 = Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22);
    std::uint32_t maj = (a & b) ^ (a & c) ^ (b & c);
    std::uint32_t t2 = s0 + maj;
    hh = g; g = f; f = e; e = d + t1; d = c; c = b; b = a; a = t1 + t2;
  }
  h[0] += a; h[1] += b; h[2] += c; h[3] += d; h[4] += e; h[5] += f; h[6] += g; h[7] += hh;
}

}  // namespace

std::string Sha256Hex(std::span<const std::uint8_t> data) {
  std::array<std::uint32_t, 8> h = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                    0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::size_t full = data.size() / 64;
  for (std::size_t i = 0; i < full; ++i) Sha256Block(h, data.data() + 64 * i);
  std::uint8_t tail[128] = {};
  std::size_t rest = data.size() - 64 * full;
  std::copy_n(data.data() + 64 * full, rest, tail);
  tail[rest] = 0x80;
  std::size_t tailLen = rest + 9 <= 64 ? 64 : 128;
  std::uint64_t bits = static_cast<std::uint64_t>(data.size()) * 8;
  for (int i = 0; i < 8; ++i) tail[tailLen - 1 - i] = static_cast<std::uint8_t>(bits >> (8 * i));
  for (std::size_t off = 0; off < tailLen; off += 64) Sha256Block(h, tail + off);
  std::string out;
  char buf[9];
  for (std::uint32_t v : h) {
    std::snprintf(buf, sizeof buf, "%08x", v);
    out += buf;
  }
  return out;
}

std::uint32_t Crc32(std::span<const std::uint8_t> data) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::uint8_t b : data) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// ---- little-endian stores ----------------------------------------------------

namespace {
void Need(std::span<std::uint8_t> out, std::size_t at, std::size_t width) {
  if (at > out.size() || width > out.size() - at) throw std::out_of_range("field past the end of its buffer");
}
}  // namespace

void Put8(std::span<std::uint8_t> out, std::size_t at, std::uint8_t v) {
  Need(out, at, 1);
  out[at] = v;
}
void Put16(std::span<std::uint8_t> out, std::size_t at, std::uint16_t v) {
  Need(out, at, 2);
  for (int i = 0; i < 2; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void Put32(std::span<std::uint8_t> out, std::size_t at, std::uint32_t v) {
  Need(out, at, 4);
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void Put64(std::span<std::uint8_t> out, std::size_t at, std::uint64_t v) {
  Need(out, at, 8);
  for (int i = 0; i < 8; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void PutBytes(std::span<std::uint8_t> out, std::size_t at, std::span<const std::uint8_t> v) {
  Need(out, at, v.size());
  std::copy(v.begin(), v.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
}
void PutText(std::span<std::uint8_t> out, std::size_t at, std::string_view v) {
  Need(out, at, v.size());
  for (std::size_t i = 0; i < v.size(); ++i) out[at + i] = static_cast<std::uint8_t>(v[i]);
}

// ---- text encodings ------------------------------------------------------------

bool Utf8ToUtf16(std::string_view text, std::vector<std::uint16_t>& out) {
  out.clear();
  bool valid = true;
  std::size_t i = 0;
  while (i < text.size()) {
    auto c = static_cast<std::uint8_t>(text[i]);
    std::uint32_t cp = 0;
    int extra = 0;
    if (c < 0x80) { cp = c; }
    else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; extra = 1; }
    else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; extra = 2; }
    else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; extra = 3; }
    else { out.push_back(0xFFFD); valid = false; ++i; continue; }
    if (i + static_cast<std::size_t>(extra) >= text.size()) {
      out.push_back(0xFFFD);
      valid = false;
      break;
    }
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
      auto cc = static_cast<std::uint8_t>(text[i + static_cast<std::size_t>(k)]);
      if ((cc & 0xC0) != 0x80) { ok = false; break; }
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (!ok) { out.push_back(0xFFFD); valid = false; ++i; continue; }
    i += static_cast<std::size_t>(extra) + 1;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<std::uint16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<std::uint16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<std::uint16_t>(cp));
    }
  }
  return valid;
}

std::string LowBytes(const std::vector<std::uint16_t>& units) {
  std::string s;
  s.reserve(units.size());
  for (std::uint16_t u : units) s.push_back(static_cast<char>(u & 0xFF));
  return s;
}

std::string Latin1ToUtf8(std::string_view text) {
  std::string out;
  for (char ch : text) {
    auto c = static_cast<std::uint8_t>(ch);
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

// ---- document kinds ------------------------------------------------------------

namespace {
struct KindRow {
  DocumentKind kind;
  std::string_view name;
  int rawNumber;
};
constexpr KindRow kKinds[] = {
    {DocumentKind::Word, "word", 0},       {DocumentKind::Excel, "excel", 1},
    {DocumentKind::PowerPoint, "powerpoint", 2}, {DocumentKind::Zip, "zip", 3},
    {DocumentKind::Excel5, "excel5", 1},
};
}  // namespace

bool ParseDocumentKind(std::string_view text, DocumentKind& kind) {
  for (const auto& row : kKinds)
    if (row.name == text) {
      kind = row.kind;
      return true;
    }
  return false;
}

std::string_view DocumentKindName(DocumentKind kind) {
  for (const auto& row : kKinds)
    if (row.kind == kind) return row.name;
  return "?";
}

int RawKindNumber(DocumentKind kind) {
  for (const auto& row : kKinds)
    if (row.kind == kind) return row.rawNumber;
  return -1;
}

// ---- prose and names -------------------------------------------------------------

namespace {

constexpr std::string_view kSubjects[] = {
    "The committee", "Our finance team", "The regional office", "Each department", "The project group",
    "The new supplier", "Management", "The help desk", "Our auditors", "The sales force",
    "The warehouse", "Human resources", "The board", "The customer", "Facilities"};
constexpr std::string_view kVerbs[] = {
    "has reviewed", "will prepare", "approved", "needs to confirm", "has updated", "is revising",
    "requested", "circulated", "signed off", "postponed", "has budgeted for", "will present"};
constexpr std::string_view kObjects[] = {
    "the quarterly figures", "the revised price list", "the draft contract", "the travel policy",
    "the stock count", "the server migration plan", "the training schedule", "the annual report",
    "the purchase orders", "the meeting minutes", "the maintenance agreement", "the staff rota",
    "the backup procedure", "the marketing brochure", "the network upgrade", "the holiday calendar"};
constexpr std::string_view kTails[] = {
    "before the end of the month.", "as agreed at the last meeting.", "for the Leeds office.",
    "in time for the audit.", "and sent copies to all managers.", "pending a final decision.",
    "so please check the attached figures.", "with a few corrections.", "for next year.",
    "after talking to the supplier.", "following the customer's complaint.", "by Friday."};

constexpr std::string_view kFolderWords[] = {
    "Accounts", "Admin", "Archive", "Budget", "Clients", "Contracts", "Correspondence", "Design",
    "Drafts", "Finance", "Forms", "Human Resources", "Invoices", "Legal", "Marketing", "Meetings",
    "Minutes", "Payroll", "Personal", "Policies", "Projects", "Proposals", "Purchasing", "Reports",
    "Sales", "Scans", "Shared", "Suppliers", "Support", "Templates", "Training", "Travel", "Quotes",
    "Orders", "Newsletters", "Warehouse", "IT", "Backups", "Press", "Research"};
constexpr std::string_view kPeople[] = {
    "jsmith", "mbrown", "akhan", "lgarcia", "pnovak", "hschmidt", "rjones", "tnguyen", "cwilson",
    "dlee", "emartin", "fcosta", "gmoreau", "ibianchi", "kwhite", "sdubois"};
constexpr std::string_view kStems[] = {
    "Annual Report", "Budget", "Meeting Minutes", "Invoice", "Quote", "Letter to Supplier",
    "Price List", "Staff Rota", "Inventory", "Expenses", "Timesheet", "Project Plan", "Status Report",
    "Contract", "Notes", "Agenda", "Sales Figures", "Customer List", "Phone List", "Order",
    "Delivery Note", "Memo", "Policy", "Handbook", "Forecast", "Checklist", "Summary", "Proposal"};
constexpr std::string_view kExtensions[] = {".doc", ".doc", ".xls", ".xls", ".ppt", ".txt", ".txt",
                                            ".csv", ".log", ".zip", ".htm", ".ini", ".pdf", ".bmp"};
constexpr std::string_view kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

template <class T, std::size_t N> const T& PickFrom(Rng& rng, const T (&items)[N]) {
  return items[rng.Below(N)];
}

void Append(Bytes& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }

std::string Sentence(Rng& rng) {
  std::string s(PickFrom(rng, kSubjects));
  s += ' ';
  s += PickFrom(rng, kVerbs);
  s += ' ';
  s += PickFrom(rng, kObjects);
  s += ' ';
  s += PickFrom(rng, kTails);
  return s;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string Extension(std::string_view name) {
  auto dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string() : Lower(name.substr(dot));
}

}  // namespace

Bytes MakeProse(std::uint64_t size, Rng& rng) {
  Bytes out;
  while (out.size() < size) {
    std::string para;
    auto count = rng.Between(2, 6);
    for (std::uint64_t i = 0; i < count; ++i) {
      if (i) para += ' ';
      para += Sentence(rng);
    }
    para += "\r\n\r\n";
    Append(out, para);
  }
  out.resize(size);
  return out;
}

std::string MakeFolderName(Rng& rng, int depth) {
  auto pick = rng.Below(10);
  if (depth > 0 && pick == 0) return std::to_string(1998 + rng.Below(7));
  if (depth > 0 && pick == 1) return std::string(PickFrom(rng, kPeople));
  if (pick == 2) return std::string(PickFrom(rng, kFolderWords)) + " " + std::to_string(1998 + rng.Below(7));
  return std::string(PickFrom(rng, kFolderWords));
}

std::string MakeFileName(Rng& rng) {
  std::string stem(PickFrom(rng, kStems));
  switch (rng.Below(5)) {
    case 0: stem += " " + std::to_string(1998 + rng.Below(7)); break;
    case 1: stem += " " + std::string(PickFrom(rng, kMonths)) + " " + std::to_string(1998 + rng.Below(7)); break;
    case 2: stem += " " + std::to_string(1000 + rng.Below(9000)); break;
    case 3: stem += " v" + std::to_string(1 + rng.Below(5)); break;
    default: break;
  }
  std::string ext(PickFrom(rng, kExtensions));
  if (rng.Chance(12)) {  // an old 8.3 name in capitals
    std::string shortStem;
    for (char c : stem)
      if (c != ' ' && shortStem.size() < 8) shortStem.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c);
    std::string shortExt = ext;
    for (char& c : shortExt) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
    return shortStem + shortExt;
  }
  return stem + ext;
}

Bytes MakeContentForName(std::string_view name, std::uint64_t size, std::uint64_t seed) {
  Rng rng(seed);
  std::string ext = Extension(name);
  if (ext == ".doc") return MakeDocument(DocumentKind::Word, size, seed, name);
  if (ext == ".xls") return MakeDocument(DocumentKind::Excel, size, seed, name);
  if (ext == ".ppt") return MakeDocument(DocumentKind::PowerPoint, size, seed, name);
  if (ext == ".zip") return MakeDocument(DocumentKind::Zip, size, seed, name);
  Bytes out;
  if (ext == ".txt") return MakeProse(size, rng);
  if (ext == ".csv") {
    Append(out, "Date,Item,Quantity,Unit Price,Total\r\n");
    while (out.size() < size) {
      auto qty = rng.Between(1, 40);
      auto price = rng.Between(99, 49999);
      char line[128];
      std::snprintf(line, sizeof line, "%02u/%02u/%04u,%s,%u,%u.%02u,%u.%02u\r\n",
                    static_cast<unsigned>(rng.Between(1, 28)), static_cast<unsigned>(rng.Between(1, 12)),
                    static_cast<unsigned>(rng.Between(1998, 2004)), std::string(PickFrom(rng, kStems)).c_str(),
                    static_cast<unsigned>(qty), static_cast<unsigned>(price / 100), static_cast<unsigned>(price % 100),
                    static_cast<unsigned>(qty * price / 100), static_cast<unsigned>(qty * price % 100));
      Append(out, line);
    }
  } else if (ext == ".log") {
    while (out.size() < size) {
      char line[160];
      std::snprintf(line, sizeof line, "%04u-%02u-%02u %02u:%02u:%02u  %s: %s\r\n",
                    static_cast<unsigned>(rng.Between(1998, 2004)), static_cast<unsigned>(rng.Between(1, 12)),
                    static_cast<unsigned>(rng.Between(1, 28)), static_cast<unsigned>(rng.Below(24)),
                    static_cast<unsigned>(rng.Below(60)), static_cast<unsigned>(rng.Below(60)),
                    rng.Chance(80) ? "INFO" : "WARN", Sentence(rng).c_str());
      Append(out, line);
    }
  } else if (ext == ".ini") {
    Append(out, "[Settings]\r\nServer=FS1\r\nShare=SYS\r\nRetries=3\r\n\r\n[Users]\r\n");
    while (out.size() < size) {
      Append(out, std::string(PickFrom(rng, kPeople)) + "=" + std::to_string(rng.Below(100000)) + "\r\n");
    }
  } else if (ext == ".htm" || ext == ".html") {
    Append(out, "<html><head><title>Intranet</title></head><body>\r\n");
    while (out.size() + 16 < size) Append(out, "<p>" + Sentence(rng) + "</p>\r\n");
    Append(out, "</body></html>\r\n");
  } else {
    out.resize(size);
    rng.Fill(out);
    return out;
  }
  out.resize(size, ' ');
  return out;
}

// ---- documents -------------------------------------------------------------------

namespace {

constexpr std::uint8_t kCompoundSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFEu;
constexpr std::uint32_t kFreeSector = 0xFFFFFFFFu;
constexpr std::uint32_t kFatSector = 0xFFFFFFFDu;

void PutUtf16(std::span<std::uint8_t> out, std::size_t at, std::string_view ascii) {
  for (std::size_t i = 0; i < ascii.size(); ++i) Put16(out, at + 2 * i, static_cast<std::uint8_t>(ascii[i]));
}

// One 128-byte directory entry of a compound document.
void PutDirEntry(std::span<std::uint8_t> sector, int slot, std::string_view name, std::uint8_t type,
                 std::uint32_t start, std::uint32_t size, std::uint32_t child) {
  std::size_t e = static_cast<std::size_t>(slot) * 128;
  PutUtf16(sector, e, name);
  Put16(sector, e + 64, static_cast<std::uint16_t>((name.size() + 1) * 2));
  Put8(sector, e + 66, type);  // 1 storage, 2 stream, 5 root
  Put8(sector, e + 67, 1);     // black
  Put32(sector, e + 68, kFreeSector);
  Put32(sector, e + 72, slot == 0 ? kFreeSector : static_cast<std::uint32_t>(slot + 1));
  Put32(sector, e + 76, child);
  Put32(sector, e + 116, start);
  Put32(sector, e + 120, size);
}

// A text payload that never starts a sector with a document header.
Bytes Payload(std::size_t size, Rng& rng, std::string_view title) {
  Bytes text;
  Append(text, title);
  Append(text, "\r\n\r\n");
  Bytes prose = MakeProse(size > text.size() ? size - text.size() : 0, rng);
  text.insert(text.end(), prose.begin(), prose.end());
  text.resize(size, ' ');
  return text;
}

Bytes MakeCompound(DocumentKind kind, std::uint64_t size, Rng& rng, std::string_view title) {
  // Layout, in 512-byte sectors of the file (a sector's id in the compound
  // document is its file sector - 1): 0 header, 1 first FAT sector, then
  //   Word, PowerPoint: 2 directory, 3.. main stream, further FAT sectors,
  //                     last = trailer stream (CompObj or Current User);
  //   Excel:            2.. main stream, further FAT sectors, last = directory.
  // PowerPoint's directory thus lies at byte 1024, naming its main stream at
  // 1152. The trailer or the final directory carries the marker.
  constexpr std::uint64_t kMaxFatSectors = 109;  // all listed in the header
  std::uint64_t sectors = std::max<std::uint64_t>((size + 511) / 512, 6);
  std::uint64_t fatCount = std::min<std::uint64_t>(kMaxFatSectors, (sectors + 127) / 128);
  if (sectors < 5 + fatCount) sectors = 5 + fatCount;
  Bytes doc(sectors * 512, 0);
  std::span<std::uint8_t> all(doc);
  auto sector = [&](std::uint64_t i) { return all.subspan(i * 512, 512); };
  auto id = [](std::uint64_t fileSector) { return static_cast<std::uint32_t>(fileSector - 1); };
  const std::uint64_t last = sectors - 1;
  const bool dirFirst = kind != DocumentKind::Excel;
  const std::uint64_t dirSector = dirFirst ? 2 : last;
  const std::uint64_t streamFirst = dirFirst ? 3 : 2;
  const std::uint64_t streamEnd = last - (fatCount - 1);  // exclusive
  const std::uint64_t streamSectors = streamEnd - streamFirst;
  std::vector<std::uint64_t> fatSectors{1};
  for (std::uint64_t i = streamEnd; i < last; ++i) fatSectors.push_back(i);

  // Header.
  auto h = sector(0);
  PutBytes(h, 0, kCompoundSignature);
  Put16(h, 24, 0x003E);
  Put16(h, 26, 0x0003);
  Put16(h, 28, 0xFFFE);
  Put16(h, 30, 9);
  Put16(h, 32, 6);
  Put32(h, 44, static_cast<std::uint32_t>(fatCount));
  Put32(h, 48, id(dirSector));
  Put32(h, 56, 0x1000);
  Put32(h, 60, kEndOfChain);
  Put32(h, 68, kEndOfChain);
  for (std::size_t i = 0; i < 109; ++i)
    Put32(h, 76 + 4 * i, i < fatSectors.size() ? id(fatSectors[i]) : kFreeSector);

  // FAT.
  for (auto f : fatSectors)
    for (std::size_t i = 0; i < 128; ++i) Put32(sector(f), 4 * i, kFreeSector);
  auto setFat = [&](std::uint64_t entry, std::uint32_t v) {
    std::uint64_t which = entry / 128;
    if (which < fatSectors.size()) Put32(sector(fatSectors[which]), 4 * (entry % 128), v);
  };
  for (auto f : fatSectors) setFat(id(f), kFatSector);
  setFat(id(dirSector), kEndOfChain);
  for (std::uint64_t s = streamFirst; s < streamEnd; ++s) setFat(id(s), s + 1 < streamEnd ? id(s + 1) : kEndOfChain);
  if (dirFirst) setFat(id(last), kEndOfChain);

  // Main stream.
  Bytes body = Payload(static_cast<std::size_t>(streamSectors * 512), rng, title);
  std::string_view mainName;
  std::string_view trailerName;
  if (kind == DocumentKind::Word) {
    mainName = "WordDocument";
    trailerName = "\x01" "CompObj";
    const std::uint8_t fib[] = {0xEC, 0xA5, 0xC1, 0x00};  // Word file information block
    std::copy(std::begin(fib), std::end(fib), body.begin());
  } else if (kind == DocumentKind::Excel) {
    mainName = "Workbook";
    trailerName = "\x01" "CompObj";
    const std::uint8_t bof[] = {0x09, 0x08, 0x10, 0x00, 0x00, 0x06, 0x05, 0x00};  // BIFF8 BOF
    std::copy(std::begin(bof), std::end(bof), body.begin());
  } else {
    mainName = "PowerPoint Document";
    trailerName = "Current User";
    const std::uint8_t atom[] = {0x0F, 0x00, 0xE8, 0x03};  // document container
    std::copy(std::begin(atom), std::end(atom), body.begin());
  }
  PutBytes(all, streamFirst * 512, body);

  // Directory.
  auto dir = sector(dirSector);
  PutDirEntry(dir, 0, "Root Entry", 5, kEndOfChain, 0, 1);
  PutDirEntry(dir, 1, mainName, 2, id(streamFirst), static_cast<std::uint32_t>(streamSectors * 512), kFreeSector);
  PutDirEntry(dir, 2, trailerName, 2, dirFirst ? id(last) : kEndOfChain, dirFirst ? 512 : 0, kFreeSector);
  Put32(dir, 2 * 128 + 72, kFreeSector);

  // Trailer: the sector that carries the marker ending the document.
  if (kind == DocumentKind::Word) {
    auto t = sector(last);
    Put32(t, 0, 0xFFFE0001u);
    Put32(t, 4, 0x00000A03u);
    Put32(t, 8, 0xFFFFFFFFu);
    Put32(t, 28, 24);
    PutText(t, 32, "Microsoft Word Document");
    Put32(t, 56, 10);
    PutText(t, 60, "MSWordDoc");
    Put32(t, 70, 16);
    PutText(t, 74, "Word.Document.8");
  } else if (kind == DocumentKind::PowerPoint) {
    auto t = sector(last);
    Put32(t, 0, 0x14);
    Put32(t, 4, 0xE391C05Fu);
    PutText(t, 24, "Presenter");
    PutUtf16(t, 64, "PowerPoint Document");
  }
  return doc;
}

Bytes MakeExcel5(std::uint64_t size, Rng& rng, std::string_view title) {
  std::uint64_t sectors = std::max<std::uint64_t>((size + 511) / 512, 3);
  Bytes doc(sectors * 512, 0);
  std::span<std::uint8_t> all(doc);
  PutText(all, 0, "Microsoft Excel 5.0 Worksheet");
  Bytes body = Payload(static_cast<std::size_t>((sectors - 2) * 512), rng, title);
  PutBytes(all, 512, body);
  std::size_t t = static_cast<std::size_t>(sectors - 1) * 512;
  const std::string marker = std::string("Microsoft Excel Workshet") + std::string("\0\x06", 2);
  PutText(all, t + 16, marker);
  PutText(all, t + 48, "Biff5");
  PutText(all, t + 64, "Excel.Sheet.5");
  return doc;
}

void PutZip16(Bytes& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void PutZip32(Bytes& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

Bytes MakeZip(std::uint64_t size, Rng& rng, std::string_view title) {
  // A stored (uncompressed) archive: "version needed" 10 makes every local
  // header start 50 4B 03 04 0A. Members grow by a byte whenever a local
  // header would start exactly on a sector boundary (it would start a new
  // document), and the last member grows so that the end-of-directory
  // record lies wholly in the last sector.
  struct Member {
    std::string name;
    Bytes data;
    std::uint32_t offset = 0;
  };
  std::vector<Member> members;
  std::size_t count = size > 8192 ? 4 : 2;
  std::size_t each = size > 300 * count ? static_cast<std::size_t>(size / count) - 120 : 64;
  for (std::size_t i = 0; i < count; ++i) {
    Member m;
    m.name = i == 0 ? "readme.txt" : (std::string(kStems[rng.Below(std::size(kStems))]) + " " + std::to_string(i) + ".txt");
    for (char& c : m.name)
      if (c == ' ') c = '_';
    m.data = Payload(each, rng, title);
    members.push_back(std::move(m));
  }
  std::size_t total = 0;
  for (;;) {
    std::size_t at = 0;
    bool moved = false;
    for (std::size_t i = 0; i < members.size() && !moved; ++i) {
      if (i > 0 && at % 512 == 0) {
        members[i - 1].data.push_back('\n');
        moved = true;
      }
      members[i].offset = static_cast<std::uint32_t>(at);
      at += 30 + members[i].name.size() + members[i].data.size();
    }
    if (moved) continue;
    std::size_t central = 0;
    for (const auto& m : members) central += 46 + m.name.size();
    total = at + central + 22;
    if ((total - 22) / 512 != (total - 1) / 512) {
      members.back().data.insert(members.back().data.end(), 22, '\n');
      continue;
    }
    break;
  }
  Bytes out;
  out.reserve(total);
  const std::uint16_t dosTime = 0x4C20, dosDate = 0x30AF;  // 2004-05-15 09:33
  for (const auto& m : members) {
    PutZip32(out, 0x04034B50);
    PutZip16(out, 10);
    PutZip16(out, 0);
    PutZip16(out, 0);
    PutZip16(out, dosTime);
    PutZip16(out, dosDate);
    PutZip32(out, Crc32(m.data));
    PutZip32(out, static_cast<std::uint32_t>(m.data.size()));
    PutZip32(out, static_cast<std::uint32_t>(m.data.size()));
    PutZip16(out, static_cast<std::uint16_t>(m.name.size()));
    PutZip16(out, 0);
    Append(out, m.name);
    out.insert(out.end(), m.data.begin(), m.data.end());
  }
  auto centralStart = static_cast<std::uint32_t>(out.size());
  for (const auto& m : members) {
    PutZip32(out, 0x02014B50);
    PutZip16(out, 20);
    PutZip16(out, 10);
    PutZip16(out, 0);
    PutZip16(out, 0);
    PutZip16(out, dosTime);
    PutZip16(out, dosDate);
    PutZip32(out, Crc32(m.data));
    PutZip32(out, static_cast<std::uint32_t>(m.data.size()));
    PutZip32(out, static_cast<std::uint32_t>(m.data.size()));
    PutZip16(out, static_cast<std::uint16_t>(m.name.size()));
    PutZip16(out, 0);
    PutZip16(out, 0);
    PutZip16(out, 0);
    PutZip16(out, 0);
    PutZip32(out, 0);
    PutZip32(out, m.offset);
    Append(out, m.name);
  }
  auto centralSize = static_cast<std::uint32_t>(out.size() - centralStart);
  PutZip32(out, 0x06054B50);
  PutZip16(out, 0);
  PutZip16(out, 0);
  PutZip16(out, static_cast<std::uint16_t>(members.size()));
  PutZip16(out, static_cast<std::uint16_t>(members.size()));
  PutZip32(out, centralSize);
  PutZip32(out, centralStart);
  PutZip16(out, 0);
  return out;
}

}  // namespace

Bytes MakeDocument(DocumentKind kind, std::uint64_t size, std::uint64_t seed, std::string_view title) {
  Rng rng(seed);
  switch (kind) {
    case DocumentKind::Zip: return MakeZip(size, rng, title);
    case DocumentKind::Excel5: return MakeExcel5(size, rng, title);
    default: return MakeCompound(kind, size, rng, title);
  }
}

}  // namespace ov::mkimage
