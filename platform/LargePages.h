#pragma once
// Memory for the large, growing stores of a run (the nodes and names of a
// volume's tree, its indexes, a folder's rows). A request of at least
// kLargeRequestBytes is mapped on its own in whole large pages, at a
// large-page boundary, and offered to the kernel for large pages, so filling
// a store of millions of nodes takes a few page faults instead of one per
// 4 KiB; the price is at most one partly used large page per store.
// A request of at least kMappedRequestBytes but less than a large page (an
// index of some thousands of entries, the first block of a list) is mapped
// on its own in pages of 4 KiB, all of them present from the start: the
// stores fill what they ask for, and the kernel supplies the pages in one
// call instead of a page fault for each. Smaller requests come from the
// ordinary heap. A store of a few hundred KiB never takes a whole large
// page, which would hold several times the memory it uses.

#include <atomic>
#include <cstddef>
#include <new>

namespace ov {

inline constexpr std::size_t kLargePageBytes = std::size_t{2} << 20;
inline constexpr std::size_t kLargeRequestBytes = kLargePageBytes;
inline constexpr std::size_t kMappedRequestBytes = std::size_t{64} << 10;
inline constexpr std::size_t kSmallPageBytes = 4096;

// Throws std::bad_alloc when the memory cannot be had.
void* AllocateLarge(std::size_t bytes);
// The same, every byte 0: the mapped requests come so from the kernel, and
// only the heap's have to be cleared.
void* AllocateZeroed(std::size_t bytes);
void FreeLarge(void* block, std::size_t bytes) noexcept;
// Bytes mapped by AllocateLarge and not yet freed, in the whole pages
// mapped (the requests served by the heap are part of its own figures).
std::size_t LargeBytesMapped() noexcept;

template <typename T>
struct LargePageAllocator {
  using value_type = T;
  LargePageAllocator() = default;
  template <typename U>
  LargePageAllocator(const LargePageAllocator<U>&) noexcept {}
  T* allocate(std::size_t n) {
    if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    return static_cast<T*>(AllocateLarge(n * sizeof(T)));
  }
  void deallocate(T* p, std::size_t n) noexcept { FreeLarge(p, n * sizeof(T)); }
  template <typename U>
  bool operator==(const LargePageAllocator<U>&) const noexcept {
    return true;
  }
};

}  // namespace ov
