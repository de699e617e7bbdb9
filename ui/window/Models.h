#pragma once
// Item models over the recovery tree's own nodes: the folder tree (the
// index's internal id is the tree item handle) and the file list of one
// folder (the positions of its nodes in the core's lists, rows handed to the
// view in batches). Texts are made when the view asks for them; nothing of
// a volume is copied into widget items.

#include <QAbstractItemModel>
#include <QIcon>

#include <cstdint>
#include <vector>

#include "nss/ListOrder.h"
#include "nss/RecoveryTree.h"

namespace ov::window {

// The small pictures of the trees and the list, by the image numbers the
// core's tables use.
struct ImageLists {
  std::vector<QIcon> tree;  // 1 item, 2 root, 3 folder, 7 open folder
  std::vector<QIcon> list;  // 1 folder, 2 .. 20 the file types, 10 pools and volumes
  QIcon Tree(int i) const;
  QIcon List(int i) const;
};

class FolderTreeModel : public QAbstractItemModel {
  Q_OBJECT
public:
  FolderTreeModel(RecoveryTree& tree, const ImageLists& images, QObject* parent = nullptr);

  // The tree was built: the model starts again from its items.
  void Reset();
  // The tree is about to be released or rebuilt: the model shows nothing.
  void Detach();
  QModelIndex IndexOf(ItemHandle item) const;
  static ItemHandle HandleOf(const QModelIndex& index) {
    return index.isValid() ? static_cast<ItemHandle>(index.internalId()) : kNoItem;
  }
  // Bytes the model holds for the tree beyond the core's own.
  std::size_t HeldBytes() const { return rowOf_.capacity() * sizeof(std::uint32_t); }

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& = {}) const override { return 1; }
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
  // Check marks changed below and above an item.
  void checksChanged();

private:
  RecoveryTree& tree_;
  const ImageLists& images_;
  bool built_ = false;
  std::vector<std::uint32_t> rowOf_;  // each item's row under its parent
};

class FileListModel : public QAbstractTableModel {
  Q_OBJECT
public:
  static constexpr int kBatch = 2048;

  FileListModel(const RecoveryTree& tree, const ImageLists& images, QObject* parent = nullptr);

  // Lists the folders, then the files, whose parent is `key`.
  void Show(std::uint64_t key);
  void Clear();
  // A click on a column's header: the rows sort by it (ascending,
  // descending, then back to the volume's order), folders first. The order
  // stays for the next folder shown.
  void SortBy(int column);
  const ListSort& sort() const { return sort_; }
  // The row showing `node` (a file's key, or a folder's tree item), or -1.
  int RowOf(bool folder, std::uint64_t node) const;

  // The node of a row: a folder (its tree item) or a file (its key).
  bool IsFolder(int row) const { return row < folderRows_; }
  const TreeNode& Node(int row) const;
  int totalRows() const { return static_cast<int>(rows_.size()); }
  std::size_t HeldBytes() const { return rows_.capacity() * sizeof(std::uint32_t); }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;

private:
  const RecoveryTree& tree_;
  const ImageLists& images_;
  std::vector<std::uint32_t> rows_;  // positions in the folder list, then in the file list
  int folderRows_ = 0;
  int fetched_ = 0;
  ListSort sort_;
};

// The six columns of the results step and their widths.
inline constexpr const char* kFileColumns[] = {"Name", "Type", "Size", "Date", "Time", "ID"};
inline constexpr int kFileColumnWidths[] = {150, 100, 70, 100, 70, 70};

}  // namespace ov::window
