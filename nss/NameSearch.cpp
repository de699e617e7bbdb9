#include "nss/NameSearch.h"

#include <algorithm>
#include <cctype>

namespace ov {

namespace {

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// Whether `text` (lower case) matches `p` from its start: '*' any run, '?'
// any one character, every other character itself (case already folded in
// `p`, folded here in the text).
bool MatchHere(std::string_view p, std::string_view text) {
  std::size_t pi = 0, ti = 0;
  std::size_t starP = std::string_view::npos, starT = 0;
  while (ti < text.size()) {
    if (pi < p.size() && (p[pi] == '?' || p[pi] == Lower(text[ti]))) {
      ++pi;
      ++ti;
    } else if (pi < p.size() && p[pi] == '*') {
      starP = pi++;
      starT = ti;
    } else if (starP != std::string_view::npos) {
      pi = starP + 1;
      ti = ++starT;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size();
}

}  // namespace

NamePattern::NamePattern(std::string_view text) {
  pattern_.reserve(text.size());
  for (char c : text) pattern_.push_back(Lower(c));
  // The pattern may lie anywhere in the name: stars at its ends add nothing.
  const auto first = pattern_.find_first_not_of('*');
  if (first == std::string::npos) {
    pattern_.clear();
    wild_ = !text.empty();  // only stars: every name
    return;
  }
  pattern_ = pattern_.substr(first, pattern_.find_last_not_of('*') - first + 1);
  wild_ = pattern_.find_first_of("*?") != std::string::npos;
  anywhere_ = "*" + pattern_ + "*";
}

bool NamePattern::Matches(std::string_view name) const {
  if (pattern_.empty()) return wild_;
  if (!wild_) {
    // A plain text: a search without regard to case.
    const auto hit = std::search(name.begin(), name.end(), pattern_.begin(), pattern_.end(),
                                 [](char a, char b) { return Lower(a) == b; });
    return hit != name.end();
  }
  // Anywhere in the name: `*pattern*`.
  return MatchHere(anywhere_, name);
}

NameSearchResult SearchNames(const RecoveryTree& tree, const NamePattern& pattern, const std::atomic<bool>& stop,
                             const std::function<void(std::vector<NameMatch>&&)>& found, std::size_t batch) {
  NameSearchResult result;
  if (pattern.empty()) return result;
  batch = std::max<std::size_t>(batch, 1);
  std::vector<NameMatch> pending;
  pending.reserve(batch);
  // The first matches go out at once, the rest in full batches.
  std::size_t limit = std::min<std::size_t>(batch, 16);
  auto hand = [&] {
    if (pending.empty()) return;
    result.matches += pending.size();
    found(std::move(pending));
    pending = {};
    pending.reserve(batch);
    limit = batch;
  };
  auto walk = [&](const NodeList& nodes, bool folders) {
    const std::size_t n = nodes.size();
    for (std::size_t i = 0; i < n; ++i) {
      if ((i & 1023) == 0 && stop.load(std::memory_order_relaxed)) {
        result.stopped = true;
        return false;
      }
      const TreeNode& node = nodes[i];
      // Folders left out of the tree (a duplicate, an orphan) are not shown.
      if (folders && node.treeItem == kNoItem) continue;
      if (!pattern.Matches(node.name())) continue;
      pending.push_back({folders, static_cast<std::uint32_t>(i)});
      if (pending.size() >= limit) hand();
    }
    return true;
  };
  if (walk(tree.folders(), true)) walk(tree.files(), false);
  hand();
  return result;
}

FolderItems::FolderItems(const RecoveryTree& tree) {
  items_.reserve(tree.folders().size());
  for (const TreeNode& f : tree.folders()) {
    if (f.treeItem != kNoItem) items_.emplace(f.objectId, f.treeItem);
  }
}

ItemHandle FolderItems::Holding(const RecoveryTree& tree, const NameMatch& match) const {
  const NodeList& nodes = match.folder ? tree.folders() : tree.files();
  if (match.position >= nodes.size()) return kNoItem;
  const std::uint64_t parent = nodes[match.position].parentId;
  if (parent == 0) return kRootItem;
  const auto it = items_.find(parent);
  return it == items_.end() ? kNoItem : it->second;
}

}  // namespace ov
