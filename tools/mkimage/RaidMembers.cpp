#include "mkimage/RaidMembers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <vector>

#include <nlohmann/json.hpp>

#include "disk/RaidLayout.h"

namespace ov::mkimage {

namespace {

constexpr std::uint64_t kSector = 512;

struct Failure {
  std::string what;
};

class Writer {
public:
  Writer(const RaidSection& raid, const std::filesystem::path& image, std::uint64_t seed)
      : raid_(raid), image_(image), seed_(seed) {}
  ~Writer() {
    for (int fd : fds_)
      if (fd >= 0) ::close(fd);
    if (in_ >= 0) ::close(in_);
  }

  void Run() {
    in_ = ::open(image_.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (in_ < 0 || ::fstat(in_, &st) != 0) throw Failure{"cannot read " + image_.string()};
    diskSectors_ = static_cast<std::uint64_t>(st.st_size) / kSector;
    level_ = *ParseLevel(raid_.level);
    n_ = static_cast<std::uint32_t>(raid_.outputs.size());
    c_ = raid_.chunkBytes / kSector;
    layout_ = *ParseLayout(raid_.layout);
    const std::uint64_t chunks = (diskSectors_ + c_ - 1) / c_;
    std::vector<std::uint64_t> data(n_, 0);
    switch (level_) {
      case RaidLevel::Raid0: data.assign(n_, (chunks + n_ - 1) / n_ * c_); break;
      case RaidLevel::Raid5: data.assign(n_, (chunks + n_ - 2) / (n_ - 1) * c_); break;
      case RaidLevel::Raid10: data.assign(n_, (2 * chunks + n_ - 1) / n_ * c_); break;
      case RaidLevel::Raid1: data.assign(n_, diskSectors_); break;
      case RaidLevel::Span: {
        std::uint64_t used = 0;
        for (std::size_t m = 0; m + 1 < n_; ++m) used += data[m] = raid_.spanSectors.empty() ? diskSectors_ / n_ : raid_.spanSectors[m];
        if (used >= diskSectors_) throw Failure{"raid.spanSectors: the members before the last hold the whole disk"};
        data[n_ - 1] = diskSectors_ - used;
        break;
      }
    }
    for (std::uint32_t m = 0; m < n_; ++m) Open(m, raid_.offsetSectors + data[m]);
    WriteMetadata();
    if (level_ == RaidLevel::Span) {
      std::uint64_t at = 0;
      for (std::uint32_t m = 0; m < n_; ++m) {
        Copy(at, data[m], m, raid_.offsetSectors);
        at += data[m];
      }
    } else if (level_ == RaidLevel::Raid1) {
      for (std::uint32_t m = 0; m < n_; ++m) Copy(0, diskSectors_, m, raid_.offsetSectors);
    } else {
      Stripe(chunks);
    }
    WriteLists();
    if (!raid_.setFile.empty()) WriteSetFile();
  }

  void Discard() {
    std::error_code ec;
    for (const auto& p : written_) std::filesystem::remove(p, ec);
  }

private:
  std::filesystem::path Output(std::uint32_t m) const { return image_.parent_path() / raid_.outputs[m]; }

  void Open(std::uint32_t m, std::uint64_t sectors) {
    const auto path = Output(m);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw Failure{"cannot write " + path.string() + ": " + std::strerror(errno)};
    fds_.push_back(fd);
    written_.push_back(path);
    if (::ftruncate(fd, static_cast<off_t>(sectors * kSector)) != 0)
      throw Failure{"cannot size " + path.string() + ": " + std::strerror(errno)};
  }

  // Reads disk sectors, zeros past the disk's end.
  void ReadDisk(std::uint64_t first, std::uint64_t count, std::byte* out) {
    std::memset(out, 0, count * kSector);
    if (first >= diskSectors_) return;
    const std::uint64_t have = std::min(count, diskSectors_ - first) * kSector;
    std::uint64_t done = 0;
    while (done < have) {
      const ssize_t r = ::pread(in_, out + done, have - done, static_cast<off_t>(first * kSector + done));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) throw Failure{"cannot read " + image_.string()};
      done += static_cast<std::uint64_t>(r);
    }
  }

  // Writes unless the bytes are all zero (the file is sparse).
  void Put(std::uint32_t m, std::uint64_t sector, const std::byte* bytes, std::uint64_t count) {
    const std::uint64_t size = count * kSector;
    if (std::all_of(bytes, bytes + size, [](std::byte b) { return b == std::byte{0}; })) return;
    std::uint64_t done = 0;
    while (done < size) {
      const ssize_t w = ::pwrite(fds_[m], bytes + done, size - done, static_cast<off_t>(sector * kSector + done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) throw Failure{"cannot write " + Output(m).string() + ": " + std::strerror(errno)};
      done += static_cast<std::uint64_t>(w);
    }
  }

  void Copy(std::uint64_t from, std::uint64_t count, std::uint32_t m, std::uint64_t to) {
    std::vector<std::byte> buf(2048 * kSector);
    for (std::uint64_t done = 0; done < count;) {
      const std::uint64_t step = std::min<std::uint64_t>(2048, count - done);
      ReadDisk(from + done, step, buf.data());
      Put(m, to + done, buf.data(), step);
      done += step;
    }
  }

  void WriteMetadata() {
    std::vector<std::byte> buf(raid_.offsetSectors * kSector);
    for (std::uint32_t m = 0; m < n_; ++m) {
      std::uint64_t x = seed_ * 0x9E3779B97F4A7C15ULL + m + 1;
      for (auto& b : buf) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        b = static_cast<std::byte>(x >> 24);
      }
      if (!buf.empty()) Put(m, 0, buf.data(), raid_.offsetSectors);
    }
  }

  void Stripe(std::uint64_t chunks) {
    const std::size_t chunkBytes = c_ * kSector;
    std::vector<std::byte> chunk(chunkBytes), parity(chunkBytes);
    const std::uint64_t off = raid_.offsetSectors;
    if (level_ == RaidLevel::Raid0) {
      for (std::uint64_t k = 0; k < chunks; ++k) {
        ReadDisk(k * c_, c_, chunk.data());
        Put(static_cast<std::uint32_t>(k % n_), off + k / n_ * c_, chunk.data(), c_);
      }
    } else if (level_ == RaidLevel::Raid10) {
      for (std::uint64_t k = 0; k < chunks; ++k) {
        ReadDisk(k * c_, c_, chunk.data());
        const MirrorPlace p = Raid10Place(k, n_);
        for (int copy = 0; copy < 2; ++copy) Put(p.member[copy], off + p.row[copy] * c_, chunk.data(), c_);
      }
    } else {
      const std::uint64_t rows = (chunks + n_ - 2) / (n_ - 1);
      for (std::uint64_t row = 0; row < rows; ++row) {
        std::fill(parity.begin(), parity.end(), std::byte{0});
        for (std::uint32_t i = 0; i + 1 < n_; ++i) {
          ReadDisk((row * (n_ - 1) + i) * c_, c_, chunk.data());
          for (std::size_t b = 0; b < chunkBytes; ++b) parity[b] ^= chunk[b];
          Put(DataMember(layout_, row, i, n_), off + row * c_, chunk.data(), c_);
        }
        Put(ParityMember(layout_, row, n_), off + row * c_, parity.data(), c_);
      }
    }
  }

  void WriteLists() {
    std::map<std::size_t, std::vector<SectorRange>> lists;
    for (const auto& u : raid_.unreadable) lists[u.member].push_back(u.range);
    for (std::uint32_t m = 0; m < n_; ++m) {
      const auto path = std::filesystem::path(Output(m).string() + ".bad");
      std::error_code ec;
      if (!lists.count(m)) {
        std::filesystem::remove(path, ec);
        continue;
      }
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      for (const auto& r : lists[m]) out << r.first << "-" << r.last << "\n";
      written_.push_back(path);
      if (!out) throw Failure{"cannot write " + path.string()};
    }
  }

  // The set file of disk/RaidSetFile.h, members named relative to it.
  void WriteSetFile() {
    const auto path = image_.parent_path() / raid_.setFile;
    nlohmann::json j;
    j["format"] = "ovnss-raid-set";
    j["version"] = 1;
    j["level"] = raid_.level;
    const bool striped = IsStriped(level_);
    j["chunkBytes"] = striped ? nlohmann::json(raid_.chunkBytes) : nlohmann::json();
    j["layout"] = level_ == RaidLevel::Raid5 ? nlohmann::json(raid_.layout) : nlohmann::json();
    j["offsetSectors"] = raid_.offsetSectors;
    for (std::uint32_t m = 0; m < n_; ++m)
      j["members"].push_back(Output(m).lexically_relative(path.parent_path()).string());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << j.dump(2) << "\n";
    written_.push_back(path);
    if (!out) throw Failure{"cannot write " + path.string()};
  }

  const RaidSection& raid_;
  std::filesystem::path image_;
  std::uint64_t seed_;
  int in_ = -1;
  std::vector<int> fds_;
  std::vector<std::filesystem::path> written_;
  std::uint64_t diskSectors_ = 0;
  RaidLevel level_ = RaidLevel::Raid5;
  ParityLayout layout_ = ParityLayout::LeftSymmetric;
  std::uint32_t n_ = 0;
  std::uint64_t c_ = 0;
};

}  // namespace

std::string WriteRaidMembers(const RaidSection& raid, const std::filesystem::path& image, std::uint64_t seed) {
  Writer writer(raid, image, seed);
  try {
    writer.Run();
  } catch (const Failure& f) {
    writer.Discard();
    return f.what;
  }
  return {};
}

}  // namespace ov::mkimage
