#include "nss/NameStore.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/LargePages.h"

namespace ov {

NameStore::NameStore(NameStore&& other) noexcept
    : blocks_(std::exchange(other.blocks_, {})), used_(std::exchange(other.used_, 0)) {}

NameStore& NameStore::operator=(NameStore&& other) noexcept {
  if (this != &other) {
    Clear();
    blocks_ = std::exchange(other.blocks_, {});
    used_ = std::exchange(other.used_, 0);
  }
  return *this;
}

NameStore::~NameStore() { Clear(); }

std::string_view NameStore::Keep(std::string_view name) {
  if (name.empty()) return {};
  if (blocks_.empty() || blocks_.back().size - used_ < name.size()) {
    std::size_t next = blocks_.empty() ? kFirstBlock : blocks_.back().size * 2;
    if (next > kLastSmallBlock) next = kLargePageBytes;
    const std::size_t size = std::max(next, name.size());
    blocks_.reserve(blocks_.size() + 1);
    blocks_.push_back({static_cast<char*>(AllocateLarge(size)), size});
    used_ = 0;
  }
  char* at = blocks_.back().data + used_;
  std::memcpy(at, name.data(), name.size());
  used_ += name.size();
  return {at, name.size()};
}

void NameStore::Clear() {
  for (const Block& b : blocks_) FreeLarge(b.data, b.size);
  blocks_.clear();
  blocks_.shrink_to_fit();
  used_ = 0;
}

std::size_t NameStore::BytesHeld() const {
  std::size_t total = 0;
  for (const Block& b : blocks_) total += b.size;
  return total;
}

}  // namespace ov
