#include "records/BodyFile.h"

#include <algorithm>
#include <vector>

#include "save/Extraction.h"

namespace ov {

namespace {

// The saved path of a folder item: "" for the root, else "/A/B".
std::string ItemSavedPath(const RecoveryTree& tree, ItemHandle item) {
  std::vector<ItemHandle> chain;
  for (ItemHandle i = item; i != kRootItem && i != kNoItem; i = tree.Item(i).parent) chain.push_back(i);
  std::string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) path += "/" + SafeFileName(tree.ItemText(*it));
  return path;
}

}  // namespace

std::string BodyFileLine(std::string_view path, const TreeNode& node, bool folder) {
  std::string name(path);
  std::replace(name.begin(), name.end(), '|', '_');
  std::string line = "0|" + name + "|" + std::to_string(node.objectId) + "|";
  line += folder ? "d/dr-xr-xr-x" : "r/rr--r--r--";
  line += "|0|0|" + std::to_string(folder ? 0 : node.size);
  line += "|0|" + std::to_string(node.time) + "|0|0\n";
  return line;
}

std::uint64_t WriteBodyFile(const RecoveryTree& tree, ItemHandle item, const TreeNode* file, bool recursive,
                            std::ostream& out) {
  if (file) {
    out << BodyFileLine(ItemSavedPath(tree, item) + "/" + SafeFileName(file->name()), *file, false);
    return 1;
  }
  std::uint64_t lines = 0;
  std::vector<ItemHandle> stack{item};
  while (!stack.empty()) {
    const ItemHandle at = stack.back();
    stack.pop_back();
    const std::string folderPath = ItemSavedPath(tree, at);
    for (auto p : tree.FoldersUnder(tree.ItemKey(at))) {
      const TreeNode& f = tree.folders()[p];
      out << BodyFileLine(folderPath + "/" + SafeFileName(f.name()), f, true);
      ++lines;
    }
    for (auto p : tree.FilesUnder(tree.ItemKey(at))) {
      const TreeNode& f = tree.files()[p];
      out << BodyFileLine(folderPath + "/" + SafeFileName(f.name()), f, false);
      ++lines;
    }
    if (!recursive) break;
    const auto& children = tree.Item(at).children;
    for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back(*it);
  }
  return lines;
}

}  // namespace ov
