#include "ui/window/Wizard.h"

// The directory tree step: the folder tree and the file list, their
// clicks and pop-up, and the tree a recovery information file brings.

#include <QAbstractButton>
#include <QLabel>
#include <QMenu>

namespace ov::window {

namespace {

QString Latin1(std::string_view s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

void Wizard::SetRawScanning(bool scanning) {
  rawScanning_ = scanning;
  elements_.Apply({scanning ? Change::Disable : Change::Enable, kBackButton}, mode_);
}

void Wizard::ReleaseTreeViews() {
  emit treeReleasing();
  fileModel_.Clear();
  folderModel_.Detach();
}

void Wizard::ShowLoadedTree() {
  // The pools and volumes of the file are not browsed: the tree is the
  // last step, and there is no way back from it.
  for (QTreeWidget* t : {poolTree(), volumeTree()}) {
    if (!t) continue;
    t->hide();
    t->setEnabled(false);
  }
  elements_.Apply({Change::Hide, kMoreButton}, mode_);
  SetStep(2);
  folderModel_.Reset();
  elements_.setColumns(Change::FileColumns);
  ShowView(6);
  elements_.Apply({Change::Hide, kBackButton}, mode_);
  elements_.Apply({Change::Disable, kNextButton}, mode_);
  if (QTreeView* f = folderTree()) {
    f->show();
    f->setEnabled(true);
    f->expand(folderModel_.IndexOf(kRootItem));
  }
  SetStep(3);
  ShowFolder(kRootItem, false);
}

void Wizard::RestoreTreeViews() {
  if (step_ != 3) return;
  folderModel_.Reset();
  if (QTreeView* f = folderTree()) f->expand(folderModel_.IndexOf(kRootItem));
  const ItemHandle current = session_.tree.IsItem(session_.tree.currentFolderItem) ? session_.tree.currentFolderItem
                                                                                  : kRootItem;
  ShowFolder(current, false);
}

void Wizard::ShowFolder(ItemHandle item, bool fromList) {
  RecoveryTree& tree = session_.tree;
  if (step_ != 3 || !tree.IsItem(item)) return;
  if (auto* path = elements_.as<QLabel>(kPathText)) path->setText(QStringLiteral("\\") + Latin1(tree.ItemPath(item)));
  tree.currentFolderItem = item;
  fileModel_.Show(tree.ItemKey(item));
  if (!fromList) return;
  if (QTreeView* f = folderTree()) {
    const QModelIndex index = folderModel_.IndexOf(item);
    for (QModelIndex up = index; up.isValid(); up = up.parent()) f->expand(up);
    f->setCurrentIndex(index);
    f->scrollTo(index);
    f->setFocus();
  }
}

void Wizard::ActivateRow(int row, bool byKey) {
  if (step_ != 3 || row < 0 || row >= fileModel_.rowCount()) return;
  const TreeNode& node = fileModel_.Node(row);
  if (fileModel_.IsFolder(row)) {
    if (node.treeItem != kNoItem) ShowFolder(node.treeItem, true);
  } else if (!byKey) {
    session_.OpenFile(node.index);
  }
}

void Wizard::ShowListMenu(const QPoint& globalPos) {
  QTreeView* list = detailsList();
  if (step_ != 3 || !list || !list->selectionModel() || !list->selectionModel()->hasSelection()) return;
  QMenu menu(window_);
  menu.setObjectName(QStringLiteral("153"));
  QAction* save = menu.addAction(QStringLiteral("Save"));
  save->setObjectName(QString::number(kCmdPopupSave));
  menu.setDefaultAction(save);
  if (menu.exec(globalPos) != save) return;
  // Every row of the list, the selected ones marked: the settings' selection
  // mode picks among them.
  std::vector<SaveRow> rows;
  rows.reserve(static_cast<std::size_t>(fileModel_.totalRows()));
  QItemSelectionModel* selection = list->selectionModel();
  for (int row = 0; row < fileModel_.totalRows(); ++row) {
    const TreeNode& node = fileModel_.Node(row);
    const bool folder = fileModel_.IsFolder(row);
    rows.push_back({selection->isRowSelected(row, {}), folder, folder ? std::uint64_t{node.treeItem} : node.index,
                    folder ? 0 : node.size});
  }
  later_.SaveSelectedRows(rows);
}

}  // namespace ov::window

namespace ov::window {

void Wizard::ShowMatch(bool folder, std::uint32_t position, ItemHandle holder) {
  RecoveryTree& tree = session_.tree;
  const NodeList& nodes = folder ? tree.folders() : tree.files();
  if (step_ != 3 || position >= nodes.size() || !tree.IsItem(holder)) return;
  ShowFolder(holder, true);
  const TreeNode& node = nodes[position];
  const int row = fileModel_.RowOf(folder, folder ? std::uint64_t{node.treeItem} : std::uint64_t{node.index});
  QTreeView* list = detailsList();
  if (row < 0 || !list) return;
  // The list hands its rows to the view in batches: the row is fetched first.
  while (fileModel_.rowCount() <= row && fileModel_.canFetchMore({})) fileModel_.fetchMore({});
  const QModelIndex index = fileModel_.index(row, 0);
  list->setCurrentIndex(index);
  list->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  list->scrollTo(index);
  list->setFocus();
}

}  // namespace ov::window
