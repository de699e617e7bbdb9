#pragma once
// A byte buffer that starts on a page boundary.
//
// The kernel (and memcpy) copy into a destination much faster when it lies
// on a cache line: on some processors a buffer 16 bytes past a page start,
// as the allocator hands out large blocks, takes several times as long to
// fill from the page cache. Buffers that whole stretches of a disk are read
// into are therefore allocated on a page.

#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

namespace ov {

class AlignedBuffer {
public:
  static constexpr std::size_t kAlignment = 4096;

  AlignedBuffer() = default;
  // `size` zeroed bytes.
  explicit AlignedBuffer(std::size_t size) { resize(size); }

  // Grows to at least `size` bytes (the old contents are not kept) and zeroes
  // what is new; never shrinks.
  void resize(std::size_t size) {
    if (size <= size_) return;
    data_.reset(new (std::align_val_t{kAlignment}) std::byte[size]);
    std::memset(data_.get(), 0, size);
    size_ = size;
  }
  std::byte* data() { return data_.get(); }
  const std::byte* data() const { return data_.get(); }
  std::size_t size() const { return size_; }

private:
  struct Free {
    void operator()(std::byte* p) const { ::operator delete[](p, std::align_val_t{kAlignment}); }
  };
  std::unique_ptr<std::byte[], Free> data_;
  std::size_t size_ = 0;
};

}  // namespace ov
