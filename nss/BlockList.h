#pragma once
// A list of trivially copyable records that grows to millions without ever
// copying more than its first small block: the records live in blocks of
// one large page each. The first block starts small on the heap and
// doubles, so a small list costs little; once it passes kSmallRecords it
// becomes a whole large page, and every later block is one too.
//
// Like a vector, adding may move the records of the first block; positions
// never change.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/LargePages.h"

namespace ov {

template <typename T>
class BlockList {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
  static_assert((kLargePageBytes / sizeof(T)) * sizeof(T) == kLargePageBytes, "a record must divide a large page");

public:
  static constexpr std::size_t kPerBlock = kLargePageBytes / sizeof(T);
  static constexpr std::size_t kSmallRecords = 2048;

  template <typename List, typename Value>
  class Iterator {
  public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using pointer = Value*;
    using reference = Value&;
    Iterator() = default;
    Iterator(List* list, std::size_t at) : list_(list), at_(at) {}
    reference operator*() const { return (*list_)[at_]; }
    pointer operator->() const { return &(*list_)[at_]; }
    reference operator[](difference_type n) const { return (*list_)[at_ + n]; }
    Iterator& operator++() { return ++at_, *this; }
    Iterator operator++(int) { return {list_, at_++}; }
    Iterator& operator--() { return --at_, *this; }
    Iterator operator--(int) { return {list_, at_--}; }
    Iterator& operator+=(difference_type n) { return at_ += n, *this; }
    Iterator& operator-=(difference_type n) { return at_ -= n, *this; }
    friend Iterator operator+(Iterator i, difference_type n) { return i += n; }
    friend Iterator operator+(difference_type n, Iterator i) { return i += n; }
    friend Iterator operator-(Iterator i, difference_type n) { return i -= n; }
    friend difference_type operator-(const Iterator& a, const Iterator& b) {
      return static_cast<difference_type>(a.at_) - static_cast<difference_type>(b.at_);
    }
    friend bool operator==(const Iterator& a, const Iterator& b) { return a.at_ == b.at_; }
    friend auto operator<=>(const Iterator& a, const Iterator& b) { return a.at_ <=> b.at_; }

  private:
    List* list_ = nullptr;
    std::size_t at_ = 0;
  };
  using iterator = Iterator<BlockList, T>;
  using const_iterator = Iterator<const BlockList, const T>;

  BlockList() = default;
  BlockList(const BlockList&) = delete;
  BlockList& operator=(const BlockList&) = delete;
  BlockList(BlockList&& other) noexcept { Swap(other); }
  BlockList& operator=(BlockList&& other) noexcept {
    BlockList gone(std::move(other));
    Swap(gone);
    return *this;
  }
  ~BlockList() { clear(); }

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T& operator[](std::size_t i) { return blocks_[i / kPerBlock][i % kPerBlock]; }
  const T& operator[](std::size_t i) const { return blocks_[i / kPerBlock][i % kPerBlock]; }
  T& at(std::size_t i) { return i < size_ ? (*this)[i] : OutOfRange(); }
  const T& at(std::size_t i) const { return i < size_ ? (*this)[i] : OutOfRange(); }
  T& back() { return (*this)[size_ - 1]; }
  iterator begin() { return {this, 0}; }
  iterator end() { return {this, size_}; }
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size_}; }

  void push_back(const T& value) {
    if (size_ == capacity_) Grow();
    (*this)[size_] = value;
    ++size_;
  }

  // Keeps the first `count` records, and every block.
  void Truncate(std::size_t count) {
    if (count < size_) size_ = count;
  }

  // Frees every block.
  void clear() {
    for (std::size_t b = 0; b < blocks_.size(); ++b) FreeLarge(blocks_[b], BlockBytes(b));
    blocks_.clear();
    blocks_.shrink_to_fit();
    size_ = capacity_ = 0;
  }

private:
  [[noreturn]] static T& OutOfRange() { throw std::out_of_range("block list position"); }

  std::size_t BlockBytes(std::size_t b) const { return (b == 0 ? std::min(capacity_, kPerBlock) : kPerBlock) * sizeof(T); }

  void Grow() {
    if (capacity_ < kPerBlock) {
      // The first block doubles on the heap, then becomes a large page.
      const std::size_t wanted = capacity_ == 0 ? 64 : capacity_ < kSmallRecords ? capacity_ * 2 : kPerBlock;
      T* block = static_cast<T*>(AllocateLarge(wanted * sizeof(T)));
      if (size_ != 0) std::memcpy(static_cast<void*>(block), blocks_[0], size_ * sizeof(T));
      if (blocks_.empty()) {
        try {
          blocks_.push_back(block);
        } catch (...) {
          FreeLarge(block, wanted * sizeof(T));
          throw;
        }
      } else {
        FreeLarge(blocks_[0], capacity_ * sizeof(T));
        blocks_[0] = block;
      }
      capacity_ = wanted;
      return;
    }
    blocks_.reserve(blocks_.size() + 1);
    blocks_.push_back(static_cast<T*>(AllocateLarge(kLargePageBytes)));
    capacity_ += kPerBlock;
  }

  void Swap(BlockList& other) noexcept {
    std::swap(blocks_, other.blocks_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
  }

  std::vector<T*> blocks_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace ov
