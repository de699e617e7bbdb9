#include "save/Hashes.h"

#include <nettle/md5.h>
#include <nettle/sha1.h>
#include <nettle/sha2.h>

#include <algorithm>

#include "save/OutputFile.h"

namespace ov {

namespace {

constexpr std::array<std::string_view, kHashKinds> kNames = {"md5", "sha1", "sha256"};
constexpr std::array<std::string_view, kHashKinds> kManifests = {"MD5SUMS", "SHA1SUMS", "SHA256SUMS"};

std::string Hex(const std::uint8_t* bytes, std::size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    hex.push_back(kDigits[bytes[i] >> 4]);
    hex.push_back(kDigits[bytes[i] & 15]);
  }
  return hex;
}

}  // namespace

std::string_view HashKindName(HashKind kind) { return kNames[static_cast<std::size_t>(kind)]; }
std::string_view ManifestName(HashKind kind) { return kManifests[static_cast<std::size_t>(kind)]; }

std::optional<HashKind> ParseHashKind(std::string_view name) {
  for (std::size_t k = 0; k < kHashKinds; ++k) {
    if (kNames[k] == name) return static_cast<HashKind>(k);
  }
  return std::nullopt;
}

struct MultiHash::Contexts {
  md5_ctx md5;
  sha1_ctx sha1;
  sha256_ctx sha256;
  std::array<bool, kHashKinds> on{};
  void Start() {
    if (on[0]) md5_init(&md5);
    if (on[1]) sha1_init(&sha1);
    if (on[2]) sha256_init(&sha256);
  }
};

MultiHash::MultiHash(std::vector<HashKind> kinds) : contexts_(std::make_unique<Contexts>()) {
  // Each kind once, in a fixed order.
  std::sort(kinds.begin(), kinds.end());
  kinds.erase(std::unique(kinds.begin(), kinds.end()), kinds.end());
  kinds_ = std::move(kinds);
  for (HashKind k : kinds_) contexts_->on[static_cast<std::size_t>(k)] = true;
  contexts_->Start();
}

MultiHash::~MultiHash() = default;

void MultiHash::Update(std::span<const std::byte> bytes) {
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  Contexts& c = *contexts_;
  if (c.on[0]) md5_update(&c.md5, bytes.size(), data);
  if (c.on[1]) sha1_update(&c.sha1, bytes.size(), data);
  if (c.on[2]) sha256_update(&c.sha256, bytes.size(), data);
}

std::array<std::string, kHashKinds> MultiHash::Finish() {
  Contexts& c = *contexts_;
  std::array<std::string, kHashKinds> out;
  std::uint8_t digest[SHA256_DIGEST_SIZE];
  if (c.on[0]) {
    md5_digest(&c.md5, MD5_DIGEST_SIZE, digest);
    out[0] = Hex(digest, MD5_DIGEST_SIZE);
  }
  if (c.on[1]) {
    sha1_digest(&c.sha1, SHA1_DIGEST_SIZE, digest);
    out[1] = Hex(digest, SHA1_DIGEST_SIZE);
  }
  if (c.on[2]) {
    sha256_digest(&c.sha256, SHA256_DIGEST_SIZE, digest);
    out[2] = Hex(digest, SHA256_DIGEST_SIZE);
  }
  c.Start();  // nettle's digest functions reset md5 and sha, but say so here too
  return out;
}

std::string ManifestLine(std::string_view digest, std::string_view relativePath) {
  const bool escape = relativePath.find_first_of("\\\n\r") != std::string_view::npos;
  std::string line;
  if (escape) line.push_back('\\');
  line.append(digest);
  line.append("  ");
  for (char ch : relativePath) {
    if (!escape) {
      line.push_back(ch);
    } else if (ch == '\\') {
      line.append("\\\\");
    } else if (ch == '\n') {
      line.append("\\n");
    } else if (ch == '\r') {
      line.append("\\r");
    } else {
      line.push_back(ch);
    }
  }
  line.push_back('\n');
  return line;
}

SavedFileLog::SavedFileLog(std::filesystem::path destination, std::vector<HashKind> kinds)
    : destination_(std::move(destination)), hash_(std::move(kinds)) {}

void SavedFileLog::FileStarted(const TreeNode& node, const std::filesystem::path& target) {
  SavedFile f;
  f.node = node;
  f.target = target;
  f.relativePath = target.lexically_relative(destination_).generic_string();
  current_ = std::move(f);
  hash_.Finish();  // a fresh start, whatever came before
}

void SavedFileLog::FileBytes(std::span<const std::byte> bytes) {
  if (current_ && !hash_.kinds().empty()) hash_.Update(bytes);
}

void SavedFileLog::FileEnded(SaveOutcome outcome) {
  if (!current_) return;
  if (outcome == SaveOutcome::Written) {
    current_->digests = hash_.Finish();
    // A later file of the same path replaced the earlier one.
    const auto [at, fresh] = byPath_.emplace(current_->relativePath, files_.size());
    if (fresh) {
      files_.push_back(std::move(*current_));
    } else {
      files_[at->second] = std::move(*current_);
    }
  }
  current_.reset();
}

std::optional<std::vector<std::string>> SavedFileLog::WriteManifests(std::string* error) const {
  std::vector<std::string> names;
  if (hash_.kinds().empty()) return names;
  auto folder = OutputFolder::Open(destination_, error);
  if (!folder) return std::nullopt;
  for (HashKind kind : hash_.kinds()) {
    std::string name(ManifestName(kind));
    if (byPath_.count(name)) name += ".ovnss";
    std::string text;
    for (const auto& f : files_) text += ManifestLine(f.digests[static_cast<std::size_t>(kind)], f.relativePath);
    std::string why;
    auto file = folder->Create(name, &why);
    if (!file || !file->Write(std::as_bytes(std::span(text.data(), text.size()))) || !file->Close()) {
      if (error) *error = name + ": " + (file ? file->error() : why);
      return std::nullopt;
    }
    names.push_back(name);
  }
  return names;
}

}  // namespace ov
