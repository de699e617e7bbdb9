#pragma once
// Hashes of saved files, taken from the bytes as the save writes them (no
// second read of the destination), and the manifests that show a copy
// intact.
//
// A manifest is written into the save's destination folder, one per kind,
// under the names coreutils and Debian use: MD5SUMS, SHA1SUMS, SHA256SUMS.
// Each line is the hex digest, two blanks and the file's path relative to
// the destination ("Letters/bank.doc"), the format `sha256sum -c` checks
// from inside that folder. A path holding a backslash is written as those
// tools write it: the line starts with "\" and the backslash is doubled.
// Should the save itself have written a file of the manifest's name there,
// the manifest takes the name with ".ovnss" added, so nothing saved is
// overwritten. Only whole files go in: a file stopped part-way or failed is
// left out.
//
// The digests come from nettle, Debian's small cryptographic library.

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "save/Extraction.h"

namespace ov {

enum class HashKind { Md5 = 0, Sha1 = 1, Sha256 = 2 };
inline constexpr std::size_t kHashKinds = 3;

// "md5", "sha1", "sha256".
std::string_view HashKindName(HashKind kind);
std::optional<HashKind> ParseHashKind(std::string_view name);
// "MD5SUMS", "SHA1SUMS", "SHA256SUMS".
std::string_view ManifestName(HashKind kind);

// The digests of one stream of bytes for the chosen kinds.
class MultiHash {
public:
  explicit MultiHash(std::vector<HashKind> kinds);
  ~MultiHash();
  MultiHash(const MultiHash&) = delete;
  MultiHash& operator=(const MultiHash&) = delete;

  void Update(std::span<const std::byte> bytes);
  // The lower-case hex digests, by kind (empty for a kind not chosen); the
  // hash starts afresh afterwards.
  std::array<std::string, kHashKinds> Finish();
  const std::vector<HashKind>& kinds() const { return kinds_; }

private:
  struct Contexts;
  std::vector<HashKind> kinds_;
  std::unique_ptr<Contexts> contexts_;
};

// One manifest line for `digest` of the file at `relativePath` ("A/b.txt").
std::string ManifestLine(std::string_view digest, std::string_view relativePath);

// A file the save wrote whole.
struct SavedFile {
  TreeNode node;                       // the record it came from (its name pointer stays valid with the tree)
  std::filesystem::path target;        // where it was written
  std::string relativePath;            // from the destination, "/"-separated
  std::array<std::string, kHashKinds> digests;
};

// Follows a save: notes each file written whole, with its digests.
class SavedFileLog : public SaveObserver {
public:
  SavedFileLog(std::filesystem::path destination, std::vector<HashKind> kinds);

  void FileStarted(const TreeNode& node, const std::filesystem::path& target) override;
  void FileBytes(std::span<const std::byte> bytes) override;
  void FileEnded(SaveOutcome outcome) override;

  const std::vector<SavedFile>& files() const { return files_; }
  const std::vector<HashKind>& kinds() const { return hash_.kinds(); }

  // Writes one manifest per kind into the destination; answers their names,
  // or nothing with the reason in `error`.
  std::optional<std::vector<std::string>> WriteManifests(std::string* error) const;

private:
  std::filesystem::path destination_;
  MultiHash hash_;
  std::optional<SavedFile> current_;
  std::vector<SavedFile> files_;
  std::unordered_map<std::string, std::size_t> byPath_;  // relative path -> position in files_
};

}  // namespace ov
