#include "ui/window/Models.h"

#include <algorithm>

#include "nss/FolderListing.h"

namespace ov::window {

namespace {

QString Latin1(std::string_view s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

QIcon ImageLists::Tree(int i) const { return i >= 0 && i < static_cast<int>(tree.size()) ? tree[i] : QIcon(); }
QIcon ImageLists::List(int i) const { return i >= 0 && i < static_cast<int>(list.size()) ? list[i] : QIcon(); }

FolderTreeModel::FolderTreeModel(RecoveryTree& tree, const ImageLists& images, QObject* parent)
    : QAbstractItemModel(parent), tree_(tree), images_(images) {}

void FolderTreeModel::Reset() {
  beginResetModel();
  built_ = tree_.ItemCount() > 0;
  rowOf_.assign(tree_.ItemCount(), 0);
  for (ItemHandle h = 0; h < tree_.ItemCount(); ++h) {
    const auto& children = tree_.Item(h).children;
    for (std::uint32_t r = 0; r < children.size(); ++r) rowOf_[children[r]] = r;
  }
  rowOf_.shrink_to_fit();
  endResetModel();
}

void FolderTreeModel::Detach() {
  beginResetModel();
  built_ = false;
  rowOf_.clear();
  rowOf_.shrink_to_fit();
  endResetModel();
}

QModelIndex FolderTreeModel::IndexOf(ItemHandle item) const {
  if (!built_ || item >= rowOf_.size()) return {};
  return createIndex(item == kRootItem ? 0 : static_cast<int>(rowOf_[item]), 0, static_cast<quintptr>(item));
}

QModelIndex FolderTreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (!built_ || column != 0 || row < 0) return {};
  if (!parent.isValid()) return row == 0 ? createIndex(0, 0, static_cast<quintptr>(kRootItem)) : QModelIndex();
  const auto& children = tree_.Item(HandleOf(parent)).children;
  if (row >= static_cast<int>(children.size())) return {};
  return createIndex(row, 0, static_cast<quintptr>(children[row]));
}

QModelIndex FolderTreeModel::parent(const QModelIndex& child) const {
  const ItemHandle h = HandleOf(child);
  if (!built_ || h == kNoItem || h == kRootItem) return {};
  return IndexOf(tree_.Item(h).parent);
}

int FolderTreeModel::rowCount(const QModelIndex& parent) const {
  if (!built_) return 0;
  if (!parent.isValid()) return 1;
  if (parent.column() != 0) return 0;
  return static_cast<int>(tree_.Item(HandleOf(parent)).children.size());
}

QVariant FolderTreeModel::data(const QModelIndex& index, int role) const {
  const ItemHandle h = HandleOf(index);
  if (!built_ || h == kNoItem) return {};
  switch (role) {
    case Qt::DisplayRole: return Latin1(tree_.ItemText(h));
    case Qt::DecorationRole: {
      if (h == kRootItem) return images_.Tree(2);
      QIcon icon = images_.Tree(3);
      const QIcon open = images_.Tree(7);
      if (!open.isNull()) icon.addPixmap(open.pixmap(16, 16), QIcon::Selected);
      return icon;
    }
    case Qt::CheckStateRole:
      switch (tree_.Item(h).state) {
        case CheckState::Checked: return Qt::Checked;
        case CheckState::PartlyChecked: return Qt::PartiallyChecked;
        case CheckState::Unchecked: return Qt::Unchecked;
      }
      return {};
    default: return {};
  }
}

bool FolderTreeModel::setData(const QModelIndex& index, const QVariant&, int role) {
  const ItemHandle h = HandleOf(index);
  if (!built_ || h == kNoItem || role != Qt::CheckStateRole) return false;
  // A click on the box: checked and partly checked become unchecked,
  // unchecked becomes checked, with every folder and node below.
  tree_.ClickCheck(h);
  emit dataChanged(index, index, {Qt::CheckStateRole});
  emit checksChanged();
  return true;
}

Qt::ItemFlags FolderTreeModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
}

FileListModel::FileListModel(const RecoveryTree& tree, const ImageLists& images, QObject* parent)
    : QAbstractTableModel(parent), tree_(tree), images_(images) {}

void FileListModel::Show(std::uint64_t key) {
  beginResetModel();
  rows_.clear();
  const NodeRange folders = tree_.FoldersUnder(key);
  const NodeRange files = tree_.FilesUnder(key);
  rows_.reserve(folders.size() + files.size());
  for (auto p : folders) rows_.push_back(p);
  folderRows_ = static_cast<int>(rows_.size());
  for (auto p : files) rows_.push_back(p);
  if (sort_.order != ListSortOrder::Volume) SortListRows(tree_, rows_, static_cast<std::size_t>(folderRows_), sort_);
  fetched_ = std::min<int>(kBatch, static_cast<int>(rows_.size()));
  endResetModel();
}

void FileListModel::SortBy(int column) {
  if (column < 0 || column >= 6) return;
  sort_.Click(column);
  beginResetModel();
  SortListRows(tree_, rows_, static_cast<std::size_t>(folderRows_), sort_);
  fetched_ = std::min<int>(kBatch, static_cast<int>(rows_.size()));
  endResetModel();
}

int FileListModel::RowOf(bool folder, std::uint64_t node) const {
  const int from = folder ? 0 : folderRows_;
  const int to = folder ? folderRows_ : static_cast<int>(rows_.size());
  for (int row = from; row < to; ++row) {
    const TreeNode& n = Node(row);
    if ((folder ? std::uint64_t{n.treeItem} : std::uint64_t{n.index}) == node) return row;
  }
  return -1;
}

void FileListModel::Clear() {
  beginResetModel();
  rows_.clear();
  rows_.shrink_to_fit();
  folderRows_ = 0;
  fetched_ = 0;
  endResetModel();
}

const TreeNode& FileListModel::Node(int row) const {
  return IsFolder(row) ? tree_.folders()[rows_[row]] : tree_.files()[rows_[row]];
}

int FileListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : fetched_; }
int FileListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 6; }

bool FileListModel::canFetchMore(const QModelIndex& parent) const {
  return !parent.isValid() && fetched_ < static_cast<int>(rows_.size());
}

void FileListModel::fetchMore(const QModelIndex& parent) {
  if (parent.isValid()) return;
  const int more = std::min<int>(kBatch, static_cast<int>(rows_.size()) - fetched_);
  if (more <= 0) return;
  beginInsertRows({}, fetched_, fetched_ + more - 1);
  fetched_ += more;
  endInsertRows();
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= fetched_) return {};
  const int row = index.row();
  const TreeNode& n = Node(row);
  const bool folder = IsFolder(row);
  if (role == Qt::DecorationRole && index.column() == 0) {
    return images_.List(folder ? 1 : FileTypeOf(n.name()).image);
  }
  if (role != Qt::DisplayRole) return {};
  switch (index.column()) {
    case 0: return Latin1(n.name());
    case 1: return folder ? QStringLiteral("Folder") : Latin1(FileTypeOf(n.name()).text);
    case 2: return QString::number(static_cast<std::uint32_t>(n.size));
    case 3: return QString::fromStdString(ListDate(n.time));
    case 4: return QString::fromStdString(ListTime(n.time));
    case 5: return QString::number(folder ? n.treeItem : n.index);
    default: return {};
  }
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= 6) return {};
  return QString::fromLatin1(kFileColumns[section]);
}

}  // namespace ov::window
