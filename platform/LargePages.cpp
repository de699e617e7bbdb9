#include "platform/LargePages.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace ov {

namespace {

std::atomic<std::size_t> largeBytes{0};

// `bytes` rounded up to whole pages of `page` bytes.
std::size_t WholePages(std::size_t bytes, std::size_t page) { return (bytes + page - 1) / page * page; }
std::size_t MappedBytes(std::size_t bytes) { return WholePages(bytes, kLargePageBytes); }
std::size_t SmallMappedBytes(std::size_t bytes) { return WholePages(bytes, kSmallPageBytes); }
bool IsMidSize(std::size_t bytes) { return bytes >= kMappedRequestBytes && bytes < kLargeRequestBytes; }

}  // namespace

void* AllocateLarge(std::size_t bytes) {
  if (IsMidSize(bytes)) {
    const std::size_t size = SmallMappedBytes(bytes);
    void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (block == MAP_FAILED) throw std::bad_alloc();
    largeBytes += size;
    return block;
  }
  if (bytes < kLargeRequestBytes) {
    void* p = std::malloc(bytes == 0 ? 1 : bytes);
    if (p == nullptr) throw std::bad_alloc();
    return p;
  }
  if (bytes > SIZE_MAX - 2 * kLargePageBytes) throw std::bad_alloc();
  const std::size_t size = MappedBytes(bytes);
  // Map one large page more than needed, then give back the ends that lie
  // outside the aligned stretch.
  const std::size_t span = size + kLargePageBytes;
  void* raw = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) throw std::bad_alloc();
  const auto start = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = (start + kLargePageBytes - 1) & ~std::uintptr_t{kLargePageBytes - 1};
  if (aligned > start) munmap(raw, aligned - start);
  const std::uintptr_t end = start + span;
  if (end > aligned + size) munmap(reinterpret_cast<void*>(aligned + size), end - (aligned + size));
  void* block = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
  madvise(block, size, MADV_HUGEPAGE);  // a hint; without large pages the block works all the same
#endif
  largeBytes += size;
  return block;
}

void* AllocateZeroed(std::size_t bytes) {
  if (bytes >= kMappedRequestBytes) return AllocateLarge(bytes);
  void* p = std::calloc(bytes == 0 ? 1 : bytes, 1);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

void FreeLarge(void* block, std::size_t bytes) noexcept {
  if (block == nullptr) return;
  if (IsMidSize(bytes)) {
    const std::size_t size = SmallMappedBytes(bytes);
    munmap(block, size);
    largeBytes -= size;
    return;
  }
  if (bytes < kLargeRequestBytes) {
    std::free(block);
    return;
  }
  const std::size_t size = MappedBytes(bytes);
  munmap(block, size);
  largeBytes -= size;
}

std::size_t LargeBytesMapped() noexcept { return largeBytes.load(); }

}  // namespace ov
