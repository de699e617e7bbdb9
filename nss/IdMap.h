#pragma once
// A map from 64-bit object IDs to small values, for the tree's indexes:
// open addressing with linear probing in one flat table, so a lookup costs
// one or two cache lines and an insert no heap block of its own. The table
// comes zeroed from the allocator, and an all-zero slot is an empty one, so
// growing never clears a table by hand.

#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

#include "platform/LargePages.h"

namespace ov {

template <typename Value>
class IdMap {
  static_assert(std::is_trivially_copyable_v<Value> && std::is_trivially_destructible_v<Value>);

public:
  IdMap() = default;
  IdMap(const IdMap&) = delete;
  IdMap& operator=(const IdMap&) = delete;
  IdMap(IdMap&& other) noexcept { Swap(other); }
  IdMap& operator=(IdMap&& other) noexcept {
    IdMap gone(std::move(other));
    Swap(gone);
    return *this;
  }
  ~IdMap() { clear(); }

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
    if ((size_ + 1) * 4 > capacity_ * 3) Rehash(capacity_ == 0 ? 16 : capacity_ * 2);
    for (std::size_t i = Home(key);; i = (i + 1) & mask_) {
      Slot& s = slots_[i];
      if (!s.used) {
        s.key = key;
        s.value = value;
        s.used = true;
        ++size_;
        return {&s.value, true};
      }
      if (s.key == key) return {&s.value, false};
    }
  }

  // Room for `entries` keys in all without growing.
  void Reserve(std::size_t entries) {
    const std::size_t capacity = CapacityFor(entries);
    if (capacity > capacity_) Rehash(capacity);
  }

  // The bytes of a table with room for `entries` keys.
  static std::size_t TableBytes(std::size_t entries) { return CapacityFor(entries) * sizeof(Slot); }
  // Reserve, with the table at `zeroed`: TableBytes(entries) bytes, all 0,
  // aligned for 64-bit numbers, which the map uses until it has to grow but
  // never frees. For a caller that places several tables in one mapping.
  void ReserveAt(std::size_t entries, void* zeroed) {
    const std::size_t capacity = CapacityFor(entries);
    if (capacity > capacity_) Rehash(capacity, static_cast<Slot*>(zeroed));
  }

  void clear() {
    if (ownsSlots_) FreeLarge(slots_, capacity_ * sizeof(Slot));
    slots_ = nullptr;
    ownsSlots_ = true;
    size_ = capacity_ = mask_ = 0;
    shift_ = 64;
  }

private:
  struct Slot {
    std::uint64_t key;
    Value value;
    bool used;
  };

  // Fibonacci hashing: the high bits of the key times 2^64 / phi.
  std::size_t Home(std::uint64_t key) const {
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> shift_);
  }

  static std::size_t CapacityFor(std::size_t entries) {
    if (entries > SIZE_MAX / 8 / sizeof(Slot)) throw std::bad_alloc();
    std::size_t capacity = 16;
    while (capacity * 3 < entries * 4) capacity *= 2;
    return capacity;
  }

  // A table of `capacity` slots (a power of two) with every entry moved in:
  // at `given` when it is not null, else a table of the map's own.
  void Rehash(std::size_t capacity, Slot* given = nullptr) {
    if (capacity > SIZE_MAX / sizeof(Slot)) throw std::bad_alloc();
    Slot* const old = slots_;
    const std::size_t oldCapacity = capacity_;
    const bool ownedOld = ownsSlots_;
    slots_ = given != nullptr ? given : static_cast<Slot*>(AllocateZeroed(capacity * sizeof(Slot)));
    ownsSlots_ = given == nullptr;
    capacity_ = capacity;
    mask_ = capacity - 1;
    shift_ = 64;
    for (std::size_t c = capacity; c > 1; c >>= 1) --shift_;
    size_ = 0;
    for (std::size_t i = 0; i < oldCapacity; ++i) {
      if (old[i].used) Insert(old[i].key, old[i].value);
    }
    if (ownedOld) FreeLarge(old, oldCapacity * sizeof(Slot));
  }

  void Swap(IdMap& other) noexcept {
    std::swap(slots_, other.slots_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
    std::swap(mask_, other.mask_);
    std::swap(shift_, other.shift_);
    std::swap(ownsSlots_, other.ownsSlots_);
  }

  Slot* slots_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  std::size_t mask_ = 0;
  unsigned shift_ = 64;
  bool ownsSlots_ = true;
};

}  // namespace ov
