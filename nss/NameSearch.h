#pragma once
// Finding names in a volume's recovery tree: every folder and file whose
// name holds the text looked for, without regard to case; '*' stands for
// any run of characters and '?' for any one. The search walks the tree's
// lists once and hands over what it found in small batches as it goes, so
// the first matches can be shown long before the walk ends; it can be
// stopped at any time.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "nss/RecoveryTree.h"

namespace ov {

class NamePattern {
public:
  explicit NamePattern(std::string_view text);
  bool empty() const { return pattern_.empty() && !wild_; }
  // True when `name` holds the pattern somewhere.
  bool Matches(std::string_view name) const;

private:
  std::string pattern_;  // lower case, without a '*' at either end
  std::string anywhere_;  // "*" + pattern_ + "*"
  bool wild_ = false;
};

// One name found: a folder (its position in tree.folders()) or a file
// (its position in tree.files()).
struct NameMatch {
  bool folder = false;
  std::uint32_t position = 0;
};

struct NameSearchResult {
  std::size_t matches = 0;
  bool stopped = false;
};

// Searches the folders, then the files, of `tree`. `found` gets the matches
// in batches of up to `batch` (the first batch early); the search ends when
// `stop` is raised. The tree must not change while it runs.
NameSearchResult SearchNames(const RecoveryTree& tree, const NamePattern& pattern, const std::atomic<bool>& stop,
                             const std::function<void(std::vector<NameMatch>&&)>& found, std::size_t batch = 256);

// The folders' tree items by their keys, made once per tree: where a
// match lies.
class FolderItems {
public:
  explicit FolderItems(const RecoveryTree& tree);
  // The item of the folder that holds `match` (the root for what lies
  // directly in it); kNoItem when that folder has no place in the tree.
  ItemHandle Holding(const RecoveryTree& tree, const NameMatch& match) const;

private:
  std::unordered_map<std::uint64_t, ItemHandle> items_;
};

}  // namespace ov
