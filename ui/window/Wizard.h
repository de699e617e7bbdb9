#pragma once
// The step machine of the main window: the disk and mode step, the pools (or
// the Raw form), the volumes and the directory tree, with "&Next", "&Back",
// the mode and range choices, the stop and exit confirmations and the
// trees' clicks. The work itself is the session's; long work runs on a
// worker thread and reaches the window through `SearchReports`.

#include <QObject>
#include <QPointer>
#include <QStandardItemModel>
#include <QTreeView>
#include <QTreeWidget>

#include <atomic>
#include <functional>
#include <memory>

#include "session/Session.h"
#include "ui/window/Elements.h"
#include "ui/window/LaterCommands.h"
#include "ui/window/Models.h"
#include "ui/window/Workers.h"

namespace ov::window {

class Wizard : public QObject {
  Q_OBJECT
public:
  Wizard(Session& session, Elements& elements, const ImageLists& images, LaterCommands& later, QWidget* window);

  int step() const { return step_; }
  RecoveryMode mode() const { return mode_; }
  bool workerRunning() const { return worker_.running(); }
  bool rawScanning() const { return rawScanning_; }

  // Asks a Yes/No question with the ConfirmDialog; tests answer it.
  std::function<bool(const QString& question)> confirm;

  FolderTreeModel& folderModel() { return folderModel_; }
  FileListModel& fileModel() { return fileModel_; }
  QStandardItemModel& detailsModel() { return details_; }
  QTreeWidget* diskTree() const { return tree(kDiskTree); }
  QTreeWidget* poolTree() const { return tree(kPoolTree); }
  QTreeWidget* volumeTree() const { return tree(kVolumeTree); }
  QTreeView* folderTree() const;
  QTreeView* detailsList() const;

  // Lists the session's disks in the disk tree.
  void ListDisks();
  // Attaches an image file as the next disk (the disk step only); a
  // ddrescue map beside it is offered first.
  bool AttachImage(const QString& path);
  // Attaches several image files (the disks of one server) and picks them
  // all; stops at the first that cannot be attached.
  bool AttachImages(const QStringList& paths);
  // The disks picked at the disk step (one, or several read as one set).
  const QStringList& pickedDisks() const { return pickedDisks_; }

  // The raw form's scan started or ended: "&Back" waits for it.
  void SetRawScanning(bool scanning);
  // A recovery information file is being loaded: the views let go of the
  // tree; then either the loaded tree is shown at the last step, or the
  // window shows what it had.
  void ReleaseTreeViews();
  void ShowLoadedTree();
  void RestoreTreeViews();

public slots:
  void Next();
  void Back();
  void ChooseMode(RecoveryMode mode);
  void StopSearching();
  void SearchMorePartitions();
  // The exit confirmation; true when the user answered Yes.
  bool Exit();
  void SaveButton();
  void SaveCommand();

  void ClickDisk(QTreeWidgetItem* item);
  void ClickPool(QTreeWidgetItem* item);
  void ClickVolume(QTreeWidgetItem* item);
  // Opens a folder of the tree: its path and its list; from the list the
  // tree follows.
  void ShowFolder(ItemHandle item, bool fromList);
  // Double-click on a list row (Enter only opens folders).
  void ActivateRow(int row, bool byKey);
  void ShowListMenu(const QPoint& globalPos);
  // A name found by "Find": its folder opens with its row selected.
  void ShowMatch(bool folder, std::uint32_t position, ItemHandle holder);

signals:
  void exitConfirmed();
  void stepChanged(int step);
  // View 8 was shown: the raw form opens on the selected disk.
  void rawFormShown();
  // The tree is about to be released or replaced: whatever reads it stops.
  void treeReleasing();

private:
  QTreeWidget* tree(int id) const { return elements_.as<QTreeWidget>(id); }
  void ShowView(int code) { elements_.ShowView(code, mode_); }
  // `wrap`: rows too wide for the list (the segments of a run over several
  // disks, on a small screen) wrap instead of running out of sight.
  void SetDetails(const std::vector<std::string>& rows, int image, bool wrap = false);
  void FillItemTree(int id, const ItemList& list);
  bool SelectPickedDisks();
  ItemList PoolItems() const;
  void ShowFoundPools();
  void WarnPoolProblems();
  void StartPoolSearch();
  void PoolSearchDone();
  void StartVolumeScan();
  void VolumeScanDone();
  void Message(const QString& text);
  void ShowMoreButton();
  // The pools step says so when the disk holds no pool.
  void SayWhenNoPools();
  void CloseStopQuestion();
  void SetStep(int step);
  SearchReports* NewReports(bool namesPools);

  Session& session_;
  Elements& elements_;
  const ImageLists& images_;
  LaterCommands& later_;
  QPointer<QWidget> window_;
  QStandardItemModel details_;
  FolderTreeModel folderModel_;
  FileListModel fileModel_;
  WorkerThread worker_;

  int step_ = 0;
  RecoveryMode mode_ = RecoveryMode::None;
  bool rawScanning_ = false;
  std::atomic<int> stop_{0};
  QStringList pickedDisks_;
};

}  // namespace ov::window
