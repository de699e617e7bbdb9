#include "ui/window/FindWindow.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace ov::window {

namespace {

QString Latin1(std::string_view s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

void FindModel::Clear() {
  beginResetModel();
  matches_.clear();
  ticked_.clear();
  folders_.reset();
  endResetModel();
  if (tickedCount_ != 0) emit tickedChanged(tickedCount_ = 0);
}

void FindModel::Add(std::vector<NameMatch>&& matches) {
  if (matches.empty()) return;
  if (!folders_) folders_ = std::make_unique<FolderItems>(tree_);
  const int first = static_cast<int>(matches_.size());
  beginInsertRows({}, first, first + static_cast<int>(matches.size()) - 1);
  matches_.insert(matches_.end(), matches.begin(), matches.end());
  ticked_.resize(matches_.size());
  endInsertRows();
}

ItemHandle FindModel::FolderOf(int row) const {
  return folders_ ? folders_->Holding(tree_, Match(row)) : kNoItem;
}

int FindModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(matches_.size());
}

std::vector<SaveRow> FindModel::TickedRows() const {
  std::vector<SaveRow> rows;
  rows.reserve(tickedCount_);
  for (int r = 0; r < rowCount(); ++r) {
    if (!ticked_[static_cast<std::size_t>(r)]) continue;
    const NameMatch& m = Match(r);
    const TreeNode& node = (m.folder ? tree_.folders() : tree_.files())[m.position];
    const std::uint64_t key = m.folder ? node.treeItem : (std::uint64_t{node.indexHigh} << 32 | node.index);
    rows.push_back({true, m.folder, key, node.size, FolderOf(r)});
  }
  return rows;
}

Qt::ItemFlags FindModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = QAbstractTableModel::flags(index);
  if (index.isValid() && index.column() == 0) f |= Qt::ItemIsUserCheckable;
  return f;
}

bool FindModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || index.column() != 0 || role != Qt::CheckStateRole || index.row() >= rowCount()) return false;
  const bool tick = value.value<Qt::CheckState>() == Qt::Checked;
  auto at = ticked_.begin() + index.row();
  if (*at == tick) return true;
  *at = tick;
  tickedCount_ = tick ? tickedCount_ + 1 : tickedCount_ - 1;
  emit dataChanged(index, index, {Qt::CheckStateRole});
  emit tickedChanged(tickedCount_);
  return true;
}

QVariant FindModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  if (role == Qt::CheckStateRole && index.column() == 0) {
    return ticked_[static_cast<std::size_t>(index.row())] ? Qt::Checked : Qt::Unchecked;
  }
  if (role != Qt::DisplayRole) return {};
  const NameMatch& m = Match(index.row());
  if (index.column() == 0) return Latin1((m.folder ? tree_.folders() : tree_.files())[m.position].name());
  const ItemHandle folder = FolderOf(index.row());
  return folder == kNoItem ? QString() : QStringLiteral("\\") + Latin1(tree_.ItemPath(folder));
}

QVariant FindModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  return section == 0 ? QStringLiteral("Name") : QStringLiteral("In Folder");
}

FindWindow::FindWindow(const RecoveryTree& tree, std::function<void(const NameMatch&, ItemHandle)> open,
                       QWidget* parent)
    : QDialog(parent), tree_(tree), open_(std::move(open)), model_(tree) {
  setWindowTitle(QStringLiteral("Find"));
  setObjectName(QStringLiteral("find"));
  box_ = new QLineEdit(this);
  box_->setObjectName(QStringLiteral("findText"));
  box_->setAccessibleName(QStringLiteral("Find names"));
  box_->setPlaceholderText(QStringLiteral("Part of a name; * and ? allowed"));
  auto* label = new QLabel(QStringLiteral("F&ind:"), this);
  label->setBuddy(box_);
  list_ = new QTreeView(this);
  list_->setObjectName(QStringLiteral("matches"));
  list_->setAccessibleName(QStringLiteral("Names found"));
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->setModel(&model_);
  list_->setColumnWidth(0, 220);
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("findStatus"));
  save_ = new QPushButton(QStringLiteral("&Save Ticked..."), this);
  save_->setObjectName(QStringLiteral("saveTicked"));
  save_->setEnabled(false);
  save_->setAutoDefault(false);
  auto* top = new QHBoxLayout;
  top->addWidget(label);
  top->addWidget(box_, 1);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(status_, 1);
  bottom->addWidget(save_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(list_, 1);
  layout->addLayout(bottom);
  resize(520, 360);
  connect(box_, &QLineEdit::returnPressed, this, [this] { Search(box_->text()); });
  connect(list_, &QTreeView::activated, this, &FindWindow::Open);
  connect(&model_, &FindModel::tickedChanged, save_, [this](std::size_t n) { save_->setEnabled(n > 0); });
  connect(save_, &QPushButton::clicked, this, [this] {
    if (saveTicked && model_.tickedCount() > 0) saveTicked(model_.TickedRows());
  });
}

FindWindow::~FindWindow() { Stop(); }

void FindWindow::Stop() {
  stop_ = true;
  if (worker_.joinable()) worker_.join();
  ++search_;
  done_ = true;
  model_.Clear();
}

void FindWindow::Search(const QString& text) {
  Stop();
  if (box_->text() != text) box_->setText(text);
  const NamePattern pattern(text.toLatin1().toStdString());
  if (pattern.empty()) {
    status_->clear();
    return;
  }
  stop_ = false;
  done_ = false;
  status_->setText(QStringLiteral("Searching..."));
  const unsigned search = search_;
  worker_ = std::thread([this, pattern, search] {
    const NameSearchResult r = SearchNames(tree_, pattern, stop_, [this, search](std::vector<NameMatch>&& batch) {
      QMetaObject::invokeMethod(
          this, [this, search, batch = std::move(batch)]() mutable {
            if (search == search_) model_.Add(std::move(batch));
          },
          Qt::QueuedConnection);
    });
    QMetaObject::invokeMethod(
        this, [this, search, r] {
          if (search == search_) Ended(r.matches, r.stopped);
        },
        Qt::QueuedConnection);
  });
}

void FindWindow::Ended(std::size_t matches, bool stopped) {
  if (worker_.joinable()) worker_.join();
  done_ = true;
  status_->setText(stopped ? QStringLiteral("Stopped: %1 found").arg(matches) : QStringLiteral("%1 found").arg(matches));
}

void FindWindow::Open(const QModelIndex& index) {
  if (!index.isValid() || !open_) return;
  const ItemHandle folder = model_.FolderOf(index.row());
  if (folder != kNoItem) open_(model_.Match(index.row()), folder);
}

void FindWindow::closeEvent(QCloseEvent* e) {
  Stop();
  QDialog::closeEvent(e);
}

}  // namespace ov::window
