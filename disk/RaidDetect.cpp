#include "disk/RaidDetect.h"

#include <algorithm>
#include <climits>
#include <array>
#include <cstring>
#include <deque>
#include <set>
#include <unordered_map>

#include "disk/Bytes.h"
#include "disk/ImageFormats.h"
#include "disk/RaidDevice.h"
#include "disk/RaidSetFile.h"
#include "nss/Pools.h"

namespace ov {

namespace {

constexpr std::size_t kPage = 4096;
constexpr std::uint32_t kPageSectors = kPage / kSectorSize;
constexpr int kUnassigned = -2;
constexpr int kTreeBlockBudget = 192;  // blocks one walk follows at most

// A member read in 4 KiB pages kept for the whole detection: every answer
// tried reads the same few places again. Unreadable places read as zeros.
class Pages {
public:
  explicit Pages(Device* device) : device_(device), sectors_(device ? device->SectorCount() : 0) {}
  std::uint64_t sectors() const { return sectors_; }

  void Read(std::uint64_t first, std::uint32_t count, std::byte* out) {
    while (count > 0) {
      const std::uint64_t page = first / kPageSectors;
      const auto in = static_cast<std::uint32_t>(first % kPageSectors);
      const std::uint32_t n = std::min(count, kPageSectors - in);
      const std::byte* p = Page(page);
      std::memcpy(out, p + std::size_t{in} * kSectorSize, std::size_t{n} * kSectorSize);
      first += n;
      count -= n;
      out += std::size_t{n} * kSectorSize;
    }
  }

private:
  const std::byte* Page(std::uint64_t page) {
    auto it = cache_.find(page);
    if (it != cache_.end()) return it->second.data();
    if (cache_.size() > 65536) cache_.clear();
    auto& bytes = cache_[page];
    bytes.fill(std::byte{0});
    const std::uint64_t first = page * kPageSectors;
    if (device_ && first < sectors_) {
      const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(kPageSectors, sectors_ - first));
      if (!device_->Read(first, n, bytes.data())) {
        for (std::uint32_t s = 0; s < n; ++s) device_->Read(first + s, 1, bytes.data() + std::size_t{s} * kSectorSize);
      }
    }
    return bytes.data();
  }

  Device* device_;
  std::uint64_t sectors_;
  std::unordered_map<std::uint64_t, std::array<std::byte, kPage>> cache_;
};

struct NeedSlot {
  int slot;
};
struct Prune {};
struct Stopped {};

// The set as one answer reads it, with some places of the order still open:
// a read that needs an open place throws NeedSlot.
class SetView {
public:
  SetView(const RaidGeometry& g, std::vector<Pages>& pages, const std::vector<std::vector<int>>& units,
          const std::vector<int>& slotUnit, std::uint64_t memberSectors)
      : g_(g), pages_(pages), units_(units), slotUnit_(slotUnit), memberSectors_(memberSectors) {
    std::vector<std::uint64_t> sizes(g.members, memberSectors);
    sectors_ = g.level == RaidLevel::Span ? ~std::uint64_t{0} : RaidDevice::SetSectors(g, sizes);
  }

  // Reads set sectors; past the set's end the bytes are zeros.
  void Read(std::uint64_t first, std::uint32_t count, std::byte* out) {
    std::memset(out, 0, std::size_t{count} * kSectorSize);
    const std::uint64_t c = g_.chunkSectors, n = g_.members;
    while (count > 0) {
      std::uint32_t l = count;
      switch (g_.level) {
        case RaidLevel::Raid1: MemberRead(-1, g_.offsetSectors + first, l, out); break;
        case RaidLevel::Span: {
          std::uint64_t at = first;
          int slot = 0;
          for (; slot < static_cast<int>(n); ++slot) {
            const std::uint64_t size = SlotSize(slot);
            if (at < size) break;
            at -= size;
          }
          if (slot == static_cast<int>(n)) return;
          l = static_cast<std::uint32_t>(std::min<std::uint64_t>(l, SlotSize(slot) - at));
          MemberRead(slot, g_.offsetSectors + at, l, out);
          break;
        }
        default: {
          if (first >= sectors_) return;
          const std::uint64_t k = first / c, from = first % c;
          l = static_cast<std::uint32_t>(std::min<std::uint64_t>(c - from, l));
          int slot = 0;
          std::uint64_t row = 0;
          if (g_.level == RaidLevel::Raid0) {
            slot = static_cast<int>(k % n);
            row = k / n;
          } else if (g_.level == RaidLevel::Raid5) {
            row = k / (n - 1);
            slot = static_cast<int>(DataMember(g_.layout, row, static_cast<std::uint32_t>(k % (n - 1)), g_.members));
          } else {
            const MirrorPlace p = Raid10Place(k, g_.members);
            slot = static_cast<int>(p.member[0]);
            row = p.row[0];
          }
          MemberRead(slot, g_.offsetSectors + row * c + from, l, out);
        }
      }
      first += l;
      count -= l;
      out += std::size_t{l} * kSectorSize;
    }
  }

private:
  int UnitSlot(int slot) const { return g_.level == RaidLevel::Raid10 ? slot / 2 : slot; }

  std::uint64_t SlotSize(int slot) {
    const int u = slotUnit_[slot];
    if (u == kUnassigned) throw NeedSlot{slot};
    const auto s = pages_[units_[u][0]].sectors();
    return s > g_.offsetSectors ? s - g_.offsetSectors : 0;
  }

  void MemberRead(int slot, std::uint64_t at, std::uint32_t count, std::byte* out) {
    if (slot < 0) {  // RAID 1: any present member
      for (auto& p : pages_)
        if (p.sectors() > 0) return p.Read(at, count, out);
      return;
    }
    const int u = slotUnit_[UnitSlot(slot)];
    if (u == kUnassigned) throw NeedSlot{UnitSlot(slot)};
    const auto& group = units_[u];
    int member = g_.level == RaidLevel::Raid10 ? group[slot % 2] : group[0];
    if (member < 0 && g_.level == RaidLevel::Raid10) member = group[1 - slot % 2];
    if (member >= 0) return pages_[member].Read(at, count, out);
    // A missing RAID 5 member is the XOR of all the others, whatever their order.
    std::vector<std::byte> other(std::size_t{count} * kSectorSize);
    for (auto& p : pages_) {
      if (p.sectors() == 0) continue;
      p.Read(at, count, other.data());
      for (std::size_t i = 0; i < other.size(); ++i) out[i] ^= other[i];
    }
  }

  const RaidGeometry& g_;
  std::vector<Pages>& pages_;
  const std::vector<std::vector<int>>& units_;
  const std::vector<int>& slotUnit_;
  std::uint64_t memberSectors_;
  std::uint64_t sectors_ = 0;
};

// Follows the structures at the set's start and counts what is where it
// should be. Throws Prune as soon as the answer is plainly wrong.
class Walker {
public:
  explicit Walker(SetView& view) : view_(view) {}
  int found = 0, missed = 0;
  bool pools = false;

  void Run() {
    const auto mbr = Sector(0);
    if (!(mbr[510] == std::byte{0x55} && mbr[511] == std::byte{0xAA})) {
      Miss();
      return;
    }
    Hit();
    for (int i = 0; i < 4; ++i) {
      const std::byte* e = mbr.data() + 446 + 16 * i;
      const auto type = static_cast<std::uint8_t>(e[4]);
      const auto start = LoadLe<std::uint32_t>(e + 8);
      const auto size = LoadLe<std::uint32_t>(e + 12);
      if (type == 0 || start == 0) continue;
      if (type == 0x65) {
        Chain(start);
      } else if (type == 0x69) {
        pools = true;
        Pool(std::uint64_t{start} + 32, size, true);
      } else if (type == 0x83) {
        const auto sb = Sector(std::uint64_t{start} + 2);
        if (LoadLe<std::uint16_t>(sb.data() + 56) == 0xEF53) Hit(); else Miss();
      }
    }
  }

private:
  std::array<std::byte, kSectorSize> Sector(std::uint64_t s) {
    std::array<std::byte, kSectorSize> b;
    view_.Read(s, 1, b.data());
    return b;
  }
  void Hit() { ++found; }
  void Miss() {
    ++missed;
    if (missed > 2 + found / 4) throw Prune{};
  }

  void Chain(std::uint64_t e) {
    std::set<std::uint64_t> seen;
    for (int headers = 0; headers < 64 && e != 0 && seen.insert(e).second; ++headers) {
      const auto h = Sector(e);
      if (h[0] != std::byte{1} || std::memcmp(h.data() + 1, kSectionSignature.data(), kSectionSignature.size()) != 0 ||
          LoadLe<std::uint16_t>(h.data() + 16) != kSectionMark) {
        Miss();
        return;
      }
      Hit();
      pools = true;
      std::uint64_t offset = 32;
      for (int k = 1; k <= 4; ++k) {
        const auto m = Sector(e + 32 * k);
        if (m[0] == std::byte{'H'} && m[1] == std::byte{'O'}) {
          Hit();
          const auto v = LoadLe<std::uint16_t>(m.data() + 24);
          offset = v ? v : 32;
          break;
        }
      }
      const auto descriptor = Sector(e + 5);
      const bool marked = descriptor[1] == std::byte{'G'} && descriptor[5] == std::byte{'P'} && descriptor[14] == std::byte{'N'};
      const std::uint32_t segmentSize = LoadLe<std::uint32_t>(Sector(e + 29).data() + 32);
      if (!marked || LoadLe<std::uint32_t>(descriptor.data() + 32) == 0) Pool(e + offset, segmentSize, false);
      e = LoadLe<std::uint32_t>(h.data() + 188);
    }
  }

  void Pool(std::uint64_t start, std::uint64_t length, bool compact) {
    const auto sb = Sector(start + 8);
    if (!compact) {
      if (sb[0] != std::byte{'S'} || sb[1] != std::byte{'P'} || sb[2] != std::byte{'B'}) {
        Miss();
        return;
      }
      Hit();
    }
    Tree(start, length, LoadLe<std::uint64_t>(sb.data() + 188), !compact);
  }

  // Breadth-first over the tree at `root` (and, from a volume directory,
  // over each volume's tree); every block named must be a tree block.
  void Tree(std::uint64_t start, std::uint64_t length, std::uint64_t root, bool directory) {
    std::deque<std::pair<std::uint64_t, bool>> queue{{root, directory}};
    std::set<std::uint64_t> seen;
    std::array<std::byte, kPage> block;
    while (!queue.empty() && budget_ > 0) {
      const auto [b, isDirectory] = queue.front();
      queue.pop_front();
      if (b == 0 || b >= length / 8 || !seen.insert(b).second) continue;
      --budget_;
      view_.Read(start + b * 8, 8, block.data());
      const std::byte* d = block.data();
      if (std::memcmp(d, "BRCH", 4) == 0) {
        Hit();
        for (std::size_t at = 40; at + 4 <= 4095; at += 12) {
          const auto child = LoadLe<std::uint32_t>(d + at);
          if (child == 0) break;
          queue.emplace_back(child, isDirectory);
        }
      } else if (std::memcmp(d, "LEAF", 4) == 0) {
        Hit();
        std::size_t r = d[42] == std::byte{'N'} ? 40 : 56;
        while (r + 2 <= kPage) {
          const auto len = LoadLe<std::int16_t>(d + r);
          if (len < 1 || r + static_cast<std::size_t>(len) > 4095) break;
          const std::size_t end = r + static_cast<std::size_t>(len);
          const auto type = end >= r + 8 ? LoadLe<std::uint32_t>(d + r + 4) : 0;
          if (type == 0x2C && r + 216 <= end) queue.emplace_back(LoadLe<std::uint32_t>(d + r + 212), isDirectory);
          if (type == 0x33 && isDirectory && r + 126 <= end) {
            const auto n = static_cast<std::size_t>(d[r + 124]);
            std::size_t q = r + 126 + 2 * (n > 48 ? 0 : n);
            while (q + 6 <= end) {
              if (d[q] == std::byte{2}) {
                if (q + 144 <= end) queue.emplace_back(LoadLe<std::uint64_t>(d + q + 136), false);
                break;
              }
              q += 2 * static_cast<std::size_t>(d[q + 4]) + 6;
            }
          }
          r = end;
        }
      } else {
        Miss();
      }
    }
  }

  SetView& view_;
  int budget_ = kTreeBlockBudget;
};

std::string Describe(const RaidAnswer& a, const std::vector<std::string>& names) {
  std::string s = "RAID " + std::string(LevelName(a.geometry.level));
  if (IsStriped(a.geometry.level)) s += ", chunk " + std::to_string(a.geometry.chunkSectors / 2) + " KiB";
  if (a.geometry.level == RaidLevel::Raid5) s += ", " + std::string(LayoutName(a.geometry.layout));
  s += ", offset " + std::to_string(a.geometry.offsetSectors) + ", order";
  for (int m : a.order) s += " " + (m < 0 ? std::string("missing") : names[static_cast<std::size_t>(m)]);
  return s;
}

bool SameAnswer(const RaidAnswer& a, const RaidAnswer& b) {
  return a.geometry.level == b.geometry.level && a.geometry.offsetSectors == b.geometry.offsetSectors &&
         (!IsStriped(a.geometry.level) || a.geometry.chunkSectors == b.geometry.chunkSectors) &&
         (a.geometry.level != RaidLevel::Raid5 || a.geometry.layout == b.geometry.layout) && a.order == b.order;
}

class Detector {
public:
  Detector(std::vector<std::unique_ptr<Device>> devices, const std::vector<std::string>& names,
           const RaidDetectOptions& options, const RaidDetectProgress& progress, const std::atomic<bool>& stop)
      : devices_(std::move(devices)), names_(names), options_(options), progress_(progress), stop_(stop) {
    for (auto& d : devices_) pages_.emplace_back(d.get());
  }

  RaidDetectResult Run() {
    const auto n = static_cast<std::uint32_t>(devices_.size());
    if (n < 2) return Fail("a set needs at least two members");
    if (n > 64) return Fail("a set of more than 64 members is not searched");
    std::vector<std::size_t> present;
    for (std::size_t i = 0; i < n; ++i)
      if (devices_[i]) present.push_back(i);
    const std::size_t missing = n - present.size();
    if (missing > 1) return Fail("only one member may be missing, not " + std::to_string(missing));
    memberSectors_ = ~std::uint64_t{0};
    std::uint64_t largest = 0;
    for (auto i : present) {
      memberSectors_ = std::min(memberSectors_, pages_[i].sectors());
      largest = std::max(largest, pages_[i].sectors());
    }
    if (memberSectors_ == 0) return Fail(names_[present.front()] + " is empty");
    const bool unequal = memberSectors_ != largest;
    if (unequal && options_.level && IsStriped(*options_.level)) return Fail(UnequalText());

    FindOffsets(missing > 0);
    if (stop_.load()) return Fail("stopped");
    if (offsets_.empty())
      return Fail("no partition table at the start of any member's data (searched the first " +
                  std::to_string(options_.offsetSearchSectors / 2048) +
                  " MiB of each): these are not members of an NSS disk, or give the data offset");
    const auto levels = Levels(present, missing > 0, unequal);
    if (!result_.error.empty()) return result_;
    if (unequal) {
      bool striped = false;
      for (auto l : levels) striped = striped || IsStriped(l);
      if (striped && levels.size() == 1) return Fail(UnequalText());
    }

    // Every combination to try, for the progress.
    std::vector<std::uint32_t> chunks;
    if (options_.chunkSectors) chunks.push_back(*options_.chunkSectors);
    else
      for (std::uint32_t c = kMinChunkSectors; c <= kMaxChunkSectors; c *= 2) chunks.push_back(c);
    std::vector<ParityLayout> layouts;
    if (options_.layout) layouts.push_back(*options_.layout);
    else layouts = {ParityLayout::LeftSymmetric, ParityLayout::LeftAsymmetric, ParityLayout::RightSymmetric,
                    ParityLayout::RightAsymmetric};
    struct Try {
      RaidGeometry g;
    };
    std::vector<Try> tries;
    for (auto level : levels) {
      if (unequal && IsStriped(level)) continue;
      for (auto offset : offsets_) {
        RaidGeometry g;
        g.level = level;
        g.members = n;
        g.offsetSectors = offset;
        if (!IsStriped(level)) {
          tries.push_back({g});
          continue;
        }
        for (auto c : chunks) {
          g.chunkSectors = c;
          if (level != RaidLevel::Raid5) {
            tries.push_back({g});
            continue;
          }
          for (auto l : layouts) {
            g.layout = l;
            tries.push_back({g});
          }
        }
      }
    }
    if (tries.empty()) return Fail(UnequalText());
    try {
      for (std::size_t t = 0; t < tries.size(); ++t) {
        if (progress_) progress_(static_cast<int>(100 * t / tries.size()));
        SearchGeometry(tries[t].g);
      }
    } catch (const Stopped&) {
      return Fail("stopped");
    }
    if (progress_) progress_(100);
    return Decide();
  }

private:
  RaidDetectResult Fail(std::string text) {
    result_.ok = false;
    result_.error = std::move(text);
    return result_;
  }

  std::string UnequalText() const {
    std::string s = "the members are not of one size, as the members of a striped set are (is one truncated?):";
    for (std::size_t i = 0; i < devices_.size(); ++i)
      if (devices_[i]) s += " " + names_[i] + " " + std::to_string(pages_[i].sectors()) + " sectors;";
    s.pop_back();
    return s;
  }

  // Where a member's data may start: every sector in the searched stretch
  // that holds a partition table (the mark and sane entries), on any member
  // or, with one member missing, in the XOR of the others.
  void FindOffsets(bool xorToo) {
    if (options_.offsetSectors) {
      offsets_.push_back(*options_.offsetSectors);
      return;
    }
    std::set<std::uint64_t> found;
    const std::uint64_t limit = std::min(options_.offsetSearchSectors, memberSectors_);
    constexpr std::uint32_t step = 2048;
    std::vector<std::byte> buf(std::size_t{step} * kSectorSize), other(buf.size()), acc(buf.size());
    for (std::uint64_t at = 0; at < limit; at += step) {
      if (stop_.load()) return;
      const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(step, limit - at));
      std::fill(acc.begin(), acc.end(), std::byte{0});
      for (auto& d : devices_) {
        if (!d) continue;
        if (!d->Read(at, count, buf.data())) std::fill(buf.begin(), buf.end(), std::byte{0});
        for (std::uint32_t s = 0; s < count; ++s)
          if (IsPartitionTable(buf.data() + std::size_t{s} * kSectorSize)) found.insert(at + s);
        if (xorToo)
          for (std::size_t i = 0; i < std::size_t{count} * kSectorSize; ++i) acc[i] ^= buf[i];
      }
      if (xorToo)
        for (std::uint32_t s = 0; s < count; ++s)
          if (IsPartitionTable(acc.data() + std::size_t{s} * kSectorSize)) found.insert(at + s);
      if (found.size() >= 8) break;
    }
    offsets_.assign(found.begin(), found.end());
  }

  static bool IsPartitionTable(const std::byte* s) {
    if (s[510] != std::byte{0x55} || s[511] != std::byte{0xAA}) return false;
    bool any = false;
    for (int i = 0; i < 4; ++i) {
      const std::byte* e = s + 446 + 16 * i;
      if (e[0] != std::byte{0} && e[0] != std::byte{0x80}) return false;
      if (e[4] != std::byte{0}) {
        if (LoadLe<std::uint32_t>(e + 8) == 0) return false;
        any = true;
      }
    }
    return any;
  }

  // The levels the members' contents allow, from samples past the data offset.
  std::vector<RaidLevel> Levels(const std::vector<std::size_t>& present, bool missing, bool unequal) {
    const auto n = devices_.size();
    const std::uint64_t start = offsets_.back();
    constexpr int kSamples = 256;
    constexpr std::uint32_t kSampleSectors = 8;
    std::vector<std::vector<std::byte>> data(n, std::vector<std::byte>(std::size_t{kSampleSectors} * kSectorSize));
    int voting = 0, equal = 0, parity = 0;
    std::vector<std::vector<int>> same(n, std::vector<int>(n, 0));
    const std::uint64_t span = memberSectors_ > start + kSampleSectors ? memberSectors_ - start - kSampleSectors : 0;
    for (int i = 0; i < kSamples && span > 0; ++i) {
      const std::uint64_t at = start + (span * static_cast<std::uint64_t>(i) / kSamples) / 8 * 8;
      bool nonzero = false;
      for (auto m : present) {
        pages_[m].Read(at, kSampleSectors, data[m].data());
        nonzero = nonzero || std::any_of(data[m].begin(), data[m].end(), [](std::byte b) { return b != std::byte{0}; });
      }
      if (!nonzero) continue;
      ++voting;
      bool allEqual = true, xorZero = !missing;
      for (auto a : present)
        for (auto b : present)
          if (a < b && data[a] == data[b]) ++same[a][b], ++same[b][a];
      for (auto m : present) allEqual = allEqual && data[m] == data[present.front()];
      if (xorZero) {
        for (std::size_t b = 0; b < data[0].size() && xorZero; ++b) {
          std::byte x{0};
          for (auto m : present) x ^= data[m][b];
          xorZero = x == std::byte{0};
        }
      }
      equal += allEqual;
      parity += xorZero;
    }
    result_.sampledRows = voting;
    result_.parityRows = parity;
    const auto most = [&](int k) { return voting > 0 && 4 * k >= 3 * voting; };
    // Copies in pairs (RAID 10). Their rows XOR to zero as well, so this
    // comes before the parity.
    bool paired = false;
    if (n % 2 == 0 && n >= 4) {
      std::vector<int> partner(n, -1);
      for (auto a : present)
        for (auto b : present)
          if (a != b && partner[a] < 0 && partner[b] < 0 && most(same[a][b]))
            partner[a] = static_cast<int>(b), partner[b] = static_cast<int>(a);
      std::size_t alone = 0;
      for (auto a : present) alone += partner[a] < 0;
      if (alone == (missing ? 1u : 0u)) {
        partner_ = partner;
        paired = true;
      }
    }
    if (options_.level) {
      result_.levelEvidence = "level given";
      return {*options_.level};
    }
    if (voting == 0) {
      result_.error = "the members hold nothing but zeros past their data offset where sampled";
      return {};
    }
    if (present.size() >= 2 && most(equal)) {
      result_.levelEvidence = "the members are copies in " + std::to_string(equal) + " of " + std::to_string(voting) + " sampled places";
      return {RaidLevel::Raid1};
    }
    if (paired) {
      result_.levelEvidence = "the members are copies in pairs";
      // A sparse RAID 5 row with one chunk of data holds that chunk twice,
      // so where the pairs are few RAID 5 is read through as well.
      if (!missing && most(parity)) return {RaidLevel::Raid10, RaidLevel::Raid5};
      return {RaidLevel::Raid10};
    }
    if (!missing && n >= 3 && most(parity)) {
      result_.levelEvidence = "rows XOR to zero in " + std::to_string(parity) + " of " + std::to_string(voting) + " sampled places";
      return {RaidLevel::Raid5};
    }
    if (missing) {
      result_.levelEvidence = "neither copies nor a checkable parity: RAID 5 with a member missing";
      return {RaidLevel::Raid5};
    }
    result_.levelEvidence = "neither copies nor parity: striped or spanned";
    if (unequal) return {RaidLevel::Span};
    return {RaidLevel::Raid0, RaidLevel::Span};
  }

  // The units the order is made of: members, or for RAID 10 pairs of copies.
  std::vector<std::vector<int>> Units(RaidLevel level) const {
    std::vector<std::vector<int>> units;
    const auto n = devices_.size();
    if (level == RaidLevel::Raid10) {
      std::vector<bool> used(n, false);
      int missingIndex = -1;
      for (std::size_t i = 0; i < n; ++i)
        if (!devices_[i]) missingIndex = static_cast<int>(i);
      for (std::size_t a = 0; a < n; ++a) {
        if (used[a] || !devices_[a]) continue;
        int b = a < partner_.size() ? partner_[a] : -1;
        if (b < 0 && missingIndex >= 0) b = -1;  // paired with the missing one
        used[a] = true;
        if (b >= 0) used[static_cast<std::size_t>(b)] = true;
        units.push_back({static_cast<int>(a), b});
      }
      return units;
    }
    for (std::size_t i = 0; i < n; ++i) units.push_back({devices_[i] ? static_cast<int>(i) : -1});
    return units;
  }

  void SearchGeometry(const RaidGeometry& g) {
    if (g.level == RaidLevel::Raid10 && (g.members % 2 != 0 || partner_.empty())) {
      if (g.members % 2 != 0) return;
      // Level given: pair the members in the order given.
      partner_.assign(g.members, -1);
      for (std::uint32_t i = 0; i + 1 < g.members; i += 2) partner_[i] = static_cast<int>(i + 1), partner_[i + 1] = static_cast<int>(i);
    }
    if ((g.level == RaidLevel::Raid0 || g.level == RaidLevel::Span) &&
        std::any_of(devices_.begin(), devices_.end(), [](const auto& d) { return !d; }))
      return;
    units_ = Units(g.level);
    const std::size_t slots = g.level == RaidLevel::Raid1 ? 0 : units_.size();
    std::vector<int> slotUnit(slots, kUnassigned);
    std::vector<bool> used(units_.size(), false);
    if (options_.orderAsGiven || g.level == RaidLevel::Raid1)
      for (std::size_t s = 0; s < slots; ++s) slotUnit[s] = static_cast<int>(s), used[s] = true;
    Search(g, slotUnit, used);
  }

  void Search(const RaidGeometry& g, std::vector<int>& slotUnit, std::vector<bool>& used) {
    if (stop_.load()) throw Stopped{};
    SetView view(g, pages_, units_, slotUnit, memberSectors_);
    Walker walker(view);
    try {
      walker.Run();
    } catch (const NeedSlot& need) {
      for (std::size_t u = 0; u < units_.size(); ++u) {
        if (used[u]) continue;
        used[u] = true;
        slotUnit[static_cast<std::size_t>(need.slot)] = static_cast<int>(u);
        Search(g, slotUnit, used);
        slotUnit[static_cast<std::size_t>(need.slot)] = kUnassigned;
        used[u] = false;
      }
      return;
    } catch (const Prune&) {
      return;
    }
    // Places the walk never needed take the units left. For RAID 5 the
    // zero sectors choose among them (a unit that is zero where its place
    // would hold parity does not go there); otherwise, or when they cannot
    // choose, more than one way means the contents do not tell the order.
    std::vector<int> open, rest;
    for (std::size_t s = 0; s < slotUnit.size(); ++s)
      if (slotUnit[s] == kUnassigned) open.push_back(static_cast<int>(s));
    for (std::size_t u = 0; u < units_.size(); ++u)
      if (!used[u]) rest.push_back(static_cast<int>(u));
    auto fill = [&](const std::vector<int>& units) {
      std::vector<int> filled = slotUnit;
      for (std::size_t i = 0; i < open.size(); ++i) filled[static_cast<std::size_t>(open[i])] = units[i];
      return filled;
    };
    if (rest.size() <= 1) {
      Record(g, fill(rest), walker);
      return;
    }
    if (g.level == RaidLevel::Raid5 && rest.size() <= 8) {
      FindMixed();
      std::vector<std::vector<int>> cost(open.size(), std::vector<int>(rest.size(), 0));
      for (const auto& x : mixed_) {
        if (x.at < g.offsetSectors) continue;
        const auto p = static_cast<int>(ParityMember(g.layout, (x.at - g.offsetSectors) / g.chunkSectors, g.members));
        const auto at = std::find(open.begin(), open.end(), p);
        if (at == open.end()) continue;
        for (std::size_t j = 0; j < rest.size(); ++j) {
          const int member = units_[static_cast<std::size_t>(rest[j])][0];
          if (member >= 0 && (x.zeroMask >> member) & 1) ++cost[static_cast<std::size_t>(at - open.begin())][j];
        }
      }
      std::vector<std::size_t> perm(rest.size());
      for (std::size_t i = 0; i < perm.size(); ++i) perm[i] = i;
      int best = INT32_MAX;
      std::vector<std::vector<int>> bestUnits;
      do {
        int c = 0;
        for (std::size_t i = 0; i < perm.size(); ++i) c += cost[i][perm[i]];
        if (c > best) continue;
        std::vector<int> units;
        for (auto i : perm) units.push_back(rest[i]);
        if (c < best) bestUnits.clear(), best = c;
        if (bestUnits.size() < 2) bestUnits.push_back(std::move(units));
      } while (std::next_permutation(perm.begin(), perm.end()));
      for (const auto& units : bestUnits) Record(g, fill(units), walker);
      return;
    }
    Record(g, fill(rest), walker);
    std::swap(rest[0], rest[1]);
    Record(g, fill(rest), walker);
  }

  // Member sectors, past the data offset, where some members hold zeros
  // and others do not, with the zero members as bits: a parity sector is
  // never zero while its row holds data, so these tell where parity can
  // and cannot be, also in stretches that hold no structure.
  void FindMixed() {
    if (mixedDone_) return;
    mixedDone_ = true;
    std::uint64_t presentMask = 0;
    for (std::size_t m = 0; m < devices_.size(); ++m)
      if (devices_[m]) presentMask |= std::uint64_t{1} << m;
    constexpr std::uint32_t kRun = 64;
    std::vector<std::byte> buf(std::size_t{kRun} * kSectorSize);
    std::vector<std::uint64_t> zero(kRun);
    auto look = [&](std::uint64_t at) {
      if (at + kRun > memberSectors_) return;
      std::fill(zero.begin(), zero.end(), 0);
      for (std::size_t m = 0; m < devices_.size(); ++m) {
        if (!devices_[m]) continue;
        pages_[m].Read(at, kRun, buf.data());
        for (std::uint32_t s = 0; s < kRun; ++s) {
          const std::byte* p = buf.data() + std::size_t{s} * kSectorSize;
          if (std::all_of(p, p + kSectorSize, [](std::byte b) { return b == std::byte{0}; })) zero[s] |= std::uint64_t{1} << m;
        }
      }
      for (std::uint32_t s = 0; s < kRun && mixed_.size() < 8192; ++s)
        if (zero[s] != 0 && zero[s] != presentMask) mixed_.push_back({at + s, zero[s]});
    };
    const std::uint64_t start = offsets_.front();
    for (std::uint64_t at = start; at < start + 16384; at += kRun) look(at);  // the first 8 MiB
    const std::uint64_t spread = memberSectors_ > start ? memberSectors_ - start : 0;
    for (std::uint64_t i = 0; i < 1024; ++i) look(start + (spread * i / 1024) / kRun * kRun);
  }

  void Record(const RaidGeometry& g, const std::vector<int>& slotUnit, const Walker& w) {
    RaidAnswer a;
    a.geometry = g;
    a.found = w.found;
    a.missed = w.missed;
    a.pools = w.pools;
    if (g.level == RaidLevel::Raid5) {
      FindMixed();
      for (const auto& x : mixed_) {
        if (x.at < g.offsetSectors) continue;
        const std::uint64_t row = (x.at - g.offsetSectors) / g.chunkSectors;
        const int member = units_[static_cast<std::size_t>(slotUnit[ParityMember(g.layout, row, g.members)])][0];
        if (member < 0) continue;
        ++a.parityChecked;
        if ((x.zeroMask >> member) & 1) ++a.parityConflicts;
      }
    }
    if (g.level == RaidLevel::Raid1) {
      for (std::size_t i = 0; i < devices_.size(); ++i) a.order.push_back(devices_[i] ? static_cast<int>(i) : -1);
    } else {
      for (int u : slotUnit)
        for (std::size_t k = 0; k < (g.level == RaidLevel::Raid10 ? 2u : 1u); ++k) a.order.push_back(units_[u][k]);
    }
    answers_.push_back(std::move(a));
  }

  static int Score(const RaidAnswer& a) { return a.found - 2 * a.missed - a.parityConflicts + (a.pools ? 1000 : 0); }

  RaidDetectResult Decide() {
    if (answers_.empty()) return Fail("the members do not make a set: no level, chunk size, layout and order reads a partition table and NSS structures through them (" + result_.levelEvidence + ")");
    std::stable_sort(answers_.begin(), answers_.end(), [](const RaidAnswer& a, const RaidAnswer& b) { return Score(a) > Score(b); });
    const RaidAnswer& best = answers_.front();
    if (!best.pools)
      return Fail("no NSS structures through any layout of these members: they do not make a set of an NSS disk (a partition table, but no NetWare section or pool; " + result_.levelEvidence + ")");
    if (best.Fit() < 0.5) return Fail("the members do not make a set: the best answer finds " + std::to_string(best.found) + " structures and misses " + std::to_string(best.missed));
    if (best.parityConflicts > 8 && best.parityConflicts * 10 > best.parityChecked)
      return Fail("the members do not make a set: the best answer (" + Describe(best, names_) + ") puts parity on zeros in " +
                  std::to_string(best.parityConflicts) + " of " + std::to_string(best.parityChecked) + " places");
    result_.answer = best;
    std::vector<RaidAnswer> ties{best};
    for (std::size_t i = 1; i < answers_.size() && Score(answers_[i]) == Score(best); ++i) {
      bool known = false;
      for (const auto& t : ties) known = known || SameAnswer(t, answers_[i]);
      if (!known) ties.push_back(answers_[i]);
    }
    if (ties.size() > 1) {
      result_.ties = ties;
      std::string text = "two or more answers fit equally well (" + std::to_string(best.found) + " structures found); give what you know (--level, --chunk, --layout, --offset, --order as-given):";
      for (std::size_t i = 0; i < ties.size() && i < 8; ++i) text += "\n  " + Describe(ties[i], names_);
      if (ties.size() > 8) text += "\n  and " + std::to_string(ties.size() - 8) + " more";
      return Fail(text);
    }
    result_.ok = true;
    return result_;
  }

  std::vector<std::unique_ptr<Device>> devices_;
  std::vector<std::string> names_;
  RaidDetectOptions options_;
  const RaidDetectProgress& progress_;
  const std::atomic<bool>& stop_;
  std::vector<Pages> pages_;
  std::uint64_t memberSectors_ = 0;
  std::vector<std::uint64_t> offsets_;
  std::vector<int> partner_;
  std::vector<std::vector<int>> units_;
  struct Mixed {
    std::uint64_t at;
    std::uint64_t zeroMask;
  };
  std::vector<Mixed> mixed_;
  bool mixedDone_ = false;
  std::vector<RaidAnswer> answers_;
  RaidDetectResult result_;
};

}  // namespace

RaidDetectResult DetectRaid(std::vector<std::unique_ptr<Device>> members, const std::vector<std::string>& names,
                            const RaidDetectOptions& options, const RaidDetectProgress& progress,
                            const std::atomic<bool>& stop) {
  Detector detector(std::move(members), names, options, progress, stop);
  return detector.Run();
}

RaidDetectResult DetectRaidFiles(const std::vector<std::optional<std::filesystem::path>>& members,
                                 const RaidDetectOptions& options, const RaidDetectProgress& progress,
                                 const std::atomic<bool>& stop) {
  RaidDetectResult result;
  std::vector<std::unique_ptr<Device>> devices;
  std::vector<std::string> names;
  for (std::size_t i = 0; i < members.size(); ++i) {
    if (!members[i]) {
      devices.emplace_back();
      names.emplace_back("missing");
      continue;
    }
    const auto& path = *members[i];
    for (std::size_t j = 0; j < i; ++j) {
      std::error_code ec;
      if (members[j] && std::filesystem::equivalent(*members[j], path, ec)) {
        result.error = path.string() + " is given twice";
        return result;
      }
    }
    if (IsRaidSetFile(path)) {
      result.error = path.string() + " is a RAID set file, not a member";
      return result;
    }
    OpenedImage opened = OpenImage(path);
    if (!opened) {
      result.error = opened.error;
      return result;
    }
    devices.push_back(std::move(opened.device));
    names.push_back(path.string());
  }
  return DetectRaid(std::move(devices), names, options, progress, stop);
}

}  // namespace ov
