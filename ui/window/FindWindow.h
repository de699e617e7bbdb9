#pragma once
// "Find": the names of the whole volume that hold a text ('*' and '?'
// allowed), listed with their folders as the search finds them. The search
// runs on a worker thread in the core; its batches reach the list on the
// window's thread. A double-click (or Enter) on a match opens its folder in
// the main window with its row selected. Matches can be ticked; "Save
// Ticked..." saves the ticked ones, each at its own folder path, through the
// window's save. The search stops when a new one starts, when the window
// closes, and before the tree is released.

#include <QAbstractTableModel>
#include <QDialog>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "nss/NameSearch.h"
#include "save/SaveRun.h"

class QLabel;
class QPushButton;
class QLineEdit;
class QTreeView;

namespace ov::window {

// The matches, over the tree's own nodes: name and folder, made when shown,
// and a tick in front of the name.
class FindModel : public QAbstractTableModel {
  Q_OBJECT
public:
  explicit FindModel(const RecoveryTree& tree, QObject* parent = nullptr) : QAbstractTableModel(parent), tree_(tree) {}
  void Clear();
  void Add(std::vector<NameMatch>&& matches);
  const NameMatch& Match(int row) const { return matches_[static_cast<std::size_t>(row)]; }
  ItemHandle FolderOf(int row) const;
  std::size_t tickedCount() const { return tickedCount_; }
  // The ticked matches as a save takes them.
  std::vector<SaveRow> TickedRows() const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 2; }
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
  const RecoveryTree& tree_;
  std::unique_ptr<FolderItems> folders_;
  std::vector<NameMatch> matches_;
  std::vector<bool> ticked_;
  std::size_t tickedCount_ = 0;

signals:
  void tickedChanged(std::size_t count);
};

class FindWindow : public QDialog {
  Q_OBJECT
public:
  // `open` shows a match's folder with its row selected.
  FindWindow(const RecoveryTree& tree, std::function<void(const NameMatch&, ItemHandle folder)> open,
             QWidget* parent = nullptr);
  ~FindWindow() override;

  // Starts a search for `text` (the last one stops first).
  void Search(const QString& text);
  // Stops the running search and waits for it; the list empties.
  void Stop();
  bool searching() const { return worker_.joinable() && !done_; }
  FindModel& model() { return model_; }
  QTreeView* list() const { return list_; }
  QLineEdit* box() const { return box_; }
  QPushButton* saveButton() const { return save_; }
  // "Save Ticked..." hands the ticked matches here.
  std::function<void(const std::vector<SaveRow>&)> saveTicked;

protected:
  void closeEvent(QCloseEvent* e) override;

private:
  void Open(const QModelIndex& index);
  void Ended(std::size_t matches, bool stopped);

  const RecoveryTree& tree_;
  std::function<void(const NameMatch&, ItemHandle)> open_;
  FindModel model_;
  QLineEdit* box_ = nullptr;
  QTreeView* list_ = nullptr;
  QLabel* status_ = nullptr;
  QPushButton* save_ = nullptr;
  std::atomic<bool> stop_{false};
  bool done_ = true;
  std::thread worker_;
  // Batches of a stopped search that arrive late are told apart by this.
  unsigned search_ = 0;
};

}  // namespace ov::window
