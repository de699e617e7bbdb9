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
  std::string_view Keep(std::string_view name) {
    if (!name.empty() && name.data() == free_ && name.size() <= room_) {
      // Written in place through Room.
      free_ += name.size();
      room_ -= name.size();
      return name;
    }
    return KeepCopy(name);
  }
  // Room for a name of up to `bytes` bytes, where the store's next name
  // goes: a name written there and then kept (Keep of a view that starts
  // there) is taken in place, without a copy. Valid until the next Room or
  // Keep.
  char* Room(std::size_t bytes) {
    if (bytes > room_) Reserve(bytes);
    return free_;
  }
  void Clear();
  // Bytes of the blocks held.
  std::size_t BytesHeld() const;

  // The first block's size; each next one is twice the last, up to
  // kLastSmallBlock; after that every block is a large page.
  static constexpr std::size_t kFirstBlock = 4096;
  static constexpr std::size_t kLastSmallBlock = 64 * 1024;

private:
  // Makes the last block hold at least `bytes` more.
  void Reserve(std::size_t bytes);
  std::string_view KeepCopy(std::string_view name);

  struct Block {
    char* data;
    std::size_t size;
  };
  std::vector<Block> blocks_;
  char* free_ = nullptr;   // the first unused byte of the last block
  std::size_t room_ = 0;   // unused bytes of the last block
};

}  // namespace ov
