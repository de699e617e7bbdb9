#include "nss/NameStore.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/LargePages.h"

namespace ov {

NameStore::NameStore(NameStore&& other) noexcept
    : blocks_(std::exchange(other.blocks_, {})),
      free_(std::exchange(other.free_, nullptr)),
      room_(std::exchange(other.room_, 0)) {}

NameStore& NameStore::operator=(NameStore&& other) noexcept {
  if (this != &other) {
    Clear();
    blocks_ = std::exchange(other.blocks_, {});
    free_ = std::exchange(other.free_, nullptr);
    room_ = std::exchange(other.room_, 0);
  }
  return *this;
}

NameStore::~NameStore() { Clear(); }

void NameStore::Reserve(std::size_t bytes) {
  if (bytes <= room_) return;
  std::size_t next = blocks_.empty() ? kFirstBlock : blocks_.back().size * 2;
  if (next > kLastSmallBlock) next = kLargePageBytes;
  const std::size_t size = std::max(next, bytes);
  blocks_.reserve(blocks_.size() + 1);
  blocks_.push_back({static_cast<char*>(AllocateLarge(size)), size});
  free_ = blocks_.back().data;
  room_ = size;
}

std::string_view NameStore::KeepCopy(std::string_view name) {
  if (name.empty()) return {};
  Reserve(name.size());
  char* at = free_;
  std::memcpy(at, name.data(), name.size());
  free_ += name.size();
  room_ -= name.size();
  return {at, name.size()};
}

void NameStore::Clear() {
  for (const Block& b : blocks_) FreeLarge(b.data, b.size);
  blocks_.clear();
  blocks_.shrink_to_fit();
  free_ = nullptr;
  room_ = 0;
}

std::size_t NameStore::BytesHeld() const {
  std::size_t total = 0;
  for (const Block& b : blocks_) total += b.size;
  return total;
}

}  // namespace ov
