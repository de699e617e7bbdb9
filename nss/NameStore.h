#pragma once
// The names of a tree's nodes, each kept once, back to back, in blocks that
// never move: a node holds a view of its name instead of a string of its
// own, which saves a heap block per long name and a third of a node's size.

#include <cstddef>
#include <string_view>
#include <vector>

namespace ov {

class NameStore {
public:
  NameStore() = default;
  NameStore(const NameStore&) = delete;
  NameStore& operator=(const NameStore&) = delete;
  NameStore(NameStore&& other) noexcept;
  NameStore& operator=(NameStore&& other) noexcept;
  ~NameStore();

  // A copy of `name` that stays valid until Clear or the store's end.
  std::string_view Keep(std::string_view name);
  void Clear();
  // Bytes of the blocks held.
  std::size_t BytesHeld() const;

  // The first block's size; each next one is twice the last, up to
  // kLastSmallBlock; after that every block is a large page.
  static constexpr std::size_t kFirstBlock = 4096;
  static constexpr std::size_t kLastSmallBlock = 64 * 1024;

private:
  struct Block {
    char* data;
    std::size_t size;
  };
  std::vector<Block> blocks_;
  std::size_t used_ = 0;  // of the last block
};

}  // namespace ov
