#pragma once
// A map from 64-bit object IDs to small values, for the tree's indexes:
// open addressing with linear probing in one flat table, so a lookup costs
// one or two cache lines and an insert no heap block of its own.

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/LargePages.h"

namespace ov {

template <typename Value>
class IdMap {
public:
  std::size_t size() const { return size_; }

  Value* Find(std::uint64_t key) {
    if (size_ == 0) return nullptr;
    for (std::size_t i = Home(key);; i = (i + 1) & mask_) {
      Slot& s = slots_[i];
      if (!s.used) return nullptr;
      if (s.key == key) return &s.value;
    }
  }
  const Value* Find(std::uint64_t key) const { return const_cast<IdMap*>(this)->Find(key); }

  // The value of `key`, with `value` put in first when the key is new; true
  // when it was new. The pointer holds until the next insert.
  std::pair<Value*, bool> Insert(std::uint64_t key, const Value& value) {
    if ((size_ + 1) * 4 > slots_.size() * 3) Grow();
    for (std::size_t i = Home(key);; i = (i + 1) & mask_) {
      Slot& s = slots_[i];
      if (!s.used) {
        s = Slot{key, value, true};
        ++size_;
        return {&s.value, true};
      }
      if (s.key == key) return {&s.value, false};
    }
  }

  void clear() {
    slots_ = {};
    size_ = 0;
    mask_ = 0;
    shift_ = 64;
  }

private:
  struct Slot {
    std::uint64_t key = 0;
    Value value{};
    bool used = false;
  };

  // Fibonacci hashing: the high bits of the key times 2^64 / phi.
  std::size_t Home(std::uint64_t key) const {
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> shift_);
  }

  void Grow() {
    const auto old = std::move(slots_);
    const std::size_t capacity = old.empty() ? 16 : old.size() * 2;
    slots_.assign(capacity, Slot{});
    mask_ = capacity - 1;
    shift_ = 64;
    for (std::size_t c = capacity; c > 1; c >>= 1) --shift_;
    size_ = 0;
    for (const Slot& s : old) {
      if (s.used) Insert(s.key, s.value);
    }
  }

  std::vector<Slot, LargePageAllocator<Slot>> slots_;
  std::size_t size_ = 0;
  std::size_t mask_ = 0;
  unsigned shift_ = 64;
};

}  // namespace ov
