#include "ui/window/Wizard.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>

#include "platform/Text.h"
#include "ui/window/Dialogs.h"
#include "widgets/PercentProgressBar.h"

namespace ov::window {

namespace {

QString Latin1(std::string_view s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }

constexpr int kDetailsColumnWidth = 500;

}  // namespace

Wizard::Wizard(Session& session, Elements& elements, const ImageLists& images, LaterCommands& later, QWidget* window)
    : QObject(window),
      session_(session),
      elements_(elements),
      images_(images),
      later_(later),
      window_(window),
      folderModel_(session.tree, images),
      fileModel_(session.tree, images) {
  confirm = [this](const QString& q) { return ConfirmDialog::Ask(q, window_); };
  details_.setHorizontalHeaderLabels({Latin1(kDetailsColumn)});
  elements_.clearList = [this](int id) {
    if (id != kDetailsList) return;
    details_.removeRows(0, details_.rowCount());
    fileModel_.Clear();
  };
  elements_.setColumns = [this](Change c) {
    QTreeView* list = detailsList();
    if (!list) return;
    list->setWordWrap(false);
    list->setUniformRowHeights(true);
    if (c == Change::FileColumns) {
      list->setModel(&fileModel_);
      for (int i = 0; i < 6; ++i) list->setColumnWidth(i, kFileColumnWidths[i]);
      list->setAccessibleName(QStringLiteral("Files"));
    } else if (c == Change::DetailsColumns) {
      list->setModel(&details_);
      list->setColumnWidth(0, kDetailsColumnWidth);
      list->setAccessibleName(QStringLiteral("Details"));
    }
    // The header shows the order only where the rows can be sorted.
    list->header()->setSortIndicatorShown(c == Change::FileColumns && fileModel_.sort().order != ListSortOrder::Volume);
  };
}

QTreeView* Wizard::folderTree() const { return elements_.as<QTreeView>(kFolderTree); }
QTreeView* Wizard::detailsList() const { return elements_.as<QTreeView>(kDetailsList); }

void Wizard::SetStep(int step) {
  step_ = step;
  if (QAction* open = elements_.command(kCmdOpenImage)) open->setEnabled(step == 0 && !worker_.running());
  if (QAction* open = elements_.command(kCmdOpenRaidSet)) open->setEnabled(step == 0 && !worker_.running());
  emit stepChanged(step);
}

void Wizard::Message(const QString& text) {
  QMessageBox::critical(window_, Latin1(kProductTitle), text);
}

void Wizard::SetDetails(const std::vector<std::string>& rows, int image, bool wrap) {
  details_.removeRows(0, details_.rowCount());
  for (const auto& row : rows) {
    auto* item = new QStandardItem(Latin1(row));
    if (image) item->setIcon(images_.List(image));
    item->setEditable(false);
    details_.appendRow(item);
  }
  QTreeView* list = detailsList();
  if (!list || list->model() != &details_) return;
  if (!wrap && !list->wordWrap()) return;  // as the list always was
  // The rows' own width is measured unwrapped.
  list->setWordWrap(false);
  int widest = 0;
  for (int r = 0; r < details_.rowCount(); ++r) {
    widest = std::max(widest, list->sizeHintForIndex(details_.index(r, 0)).width());
  }
  if (list->rootIsDecorated()) widest += list->indentation();
  const bool wrapNow = wrap && widest > list->viewport()->width();
  // Wrapped rows differ in height; the file list's rows never do.
  list->setUniformRowHeights(!wrapNow);
  list->setWordWrap(wrapNow);
  list->setColumnWidth(0, wrapNow ? list->viewport()->width() : kDetailsColumnWidth);
  list->doItemsLayout();
}

void Wizard::FillItemTree(int id, const ItemList& list) {
  QTreeWidget* t = tree(id);
  if (!t) return;
  // The tree of an earlier pass goes: a new one is built from the list.
  t->clear();
  auto* root = new QTreeWidgetItem(t, {Latin1(list.root)});
  root->setIcon(0, images_.Tree(2));
  for (const auto& name : list.items) {
    auto* item = new QTreeWidgetItem(root, {Latin1(name)});
    item->setIcon(0, images_.Tree(1));
  }
  root->setExpanded(true);
}

void Wizard::ChooseMode(RecoveryMode mode) {
  if (step_ != 0 || worker_.running()) return;
  const int chosen = mode == RecoveryMode::Quick ? kQuickButton : mode == RecoveryMode::Advance ? kAdvanceButton : kRawButton;
  if (QWidget* w = elements_.widget(chosen); !w || !w->isEnabled()) return;
  mode_ = mode;
  for (int id : {kQuickButton, kAdvanceButton, kRawButton}) {
    elements_.Apply({id == chosen ? Change::Check : Change::Uncheck, id}, mode_);
  }
  elements_.Apply({Change::Enable, kNextButton}, mode_);
  elements_.ShowStepPicture(3, mode_);
}

void Wizard::Next() {
  if (worker_.running()) return;
  switch (step_) {
    case 0:
      if (mode_ == RecoveryMode::None || !SelectPickedDisks()) return;
      if (session_.SelectedDiskSectors() == 0) {
        // Nothing to read: no search, and no bad sector to ask about.
        Message(pickedDisks_.join(QStringLiteral(", ")) + QStringLiteral(" is empty: it holds no whole sector"));
        return;
      }
      if (mode_ == RecoveryMode::Raw) {
        session_.LogStepBlock("Raw");
        ShowView(8);
        SetStep(1);
        emit rawFormShown();
      } else if (mode_ == RecoveryMode::Quick) {
        ShowView(0);
        FillItemTree(kPoolTree, {"Disk " + std::to_string(session_.diskNumber()), {}});
        SearchListener quiet;
        std::atomic<int> noStop{0};
        session_.FindPools(SearchMode::Quick, quiet, noStop);
        ShowFoundPools();
        SetStep(1);
        WarnPoolProblems();
      } else {
        StartPoolSearch();
      }
      return;
    case 1: {
      if (mode_ == RecoveryMode::Raw) return;
      if (QTreeWidget* v = volumeTree()) {
        // A fresh tree each time: going back may have left it disabled.
        v->clear();
        v->hide();
        v->setEnabled(true);
      }
      ShowView(4);
      session_.OpenPickedPool();
      FillItemTree(kVolumeTree, session_.discovery().VolumeTree());
      elements_.Apply({Change::Enable, kBackButton}, mode_);
      SetStep(2);
      return;
    }
    case 2: StartVolumeScan(); return;
    default: return;  // the last step: nothing follows
  }
}

SearchReports* Wizard::NewReports(bool namesPools) {
  std::function<std::string(std::size_t)> name;
  if (namesPools) {
    // Called on the searching thread, which owns the table while it runs.
    name = [this](std::size_t i) { return session_.discovery().pools().pools()[i].name; };
  }
  auto* reports = new SearchReports(std::move(name), this);
  auto* status = elements_.as<QLabel>(kStatusLine);
  connect(reports, &SearchReports::status, status, &QLabel::setText);
  connect(reports, &SearchReports::poolsFound, elements_.as<QLabel>(kStatusText), &QLabel::setText);
  connect(reports, &SearchReports::itemsAdded, this, [this](const QStringList& names) {
    QTreeWidget* t = poolTree();
    if (!t || !t->topLevelItem(0)) return;
    for (const QString& n : names) new QTreeWidgetItem(t->topLevelItem(0), {n});
    t->topLevelItem(0)->setExpanded(true);
  });
  return reports;
}

void Wizard::StartPoolSearch() {
  ShowView(0);
  FillItemTree(kPoolTree, {"Disk " + std::to_string(session_.diskNumber()), {}});
  if (QTreeWidget* p = poolTree()) p->setEnabled(false);
  SearchReports* reports = NewReports(true);
  auto* bar = elements_.as<PercentProgressBar>(kSearchProgress);
  connect(reports, &SearchReports::progress, bar, [bar](int percent) { bar->setPosition(percent); });
  stop_ = 0;
  worker_.Start(
      [this, reports] {
        try {
          session_.FindPools(SearchMode::Advance, *reports, stop_);
        } catch (const Failure&) {
          // No disk: the search finds nothing.
        }
        reports->Flush();
      },
      [this, reports] {
        reports->deleteLater();
        CloseStopQuestion();
        PoolSearchDone();
      });
  SetStep(step_);
}

void Wizard::PoolSearchDone() {
  ShowFoundPools();
  SetStep(step_ + 1);
  WarnPoolProblems();
}

void Wizard::ShowMoreButton() {
  elements_.Apply({Change::Show, kMoreButton}, mode_);
  elements_.Apply({Change::Enable, kMoreButton}, mode_);
}

void Wizard::SayWhenNoPools() {
  if (session_.discovery().pools().pools().empty()) {
    if (auto* status = elements_.as<QLabel>(kStatusLine)) status->setText(Latin1(kNoPoolsFound));
  }
}

void Wizard::CloseStopQuestion() {
  // The question was about the search that has just ended: it goes with it.
  for (QWidget* w : QApplication::topLevelWidgets()) {
    auto* question = qobject_cast<ConfirmDialog*>(w);
    if (question && question->isVisible() && question->text()->text() == Latin1(kStopQuestion)) question->reject();
  }
}

void Wizard::StopSearching() {
  if (!worker_.running()) return;
  if (confirm(Latin1(kStopQuestion)) && worker_.running()) stop_ = 1;
}

void Wizard::SearchMorePartitions() {
  if (worker_.running() || step_ != 1) return;
  ShowView(9);
  // The entries of an earlier search go; the pools stay.
  FillItemTree(kPoolTree, {"Disk " + std::to_string(session_.diskNumber()),
                           [&] {
                             ItemList l = PoolItems();
                             l.items.resize(session_.discovery().pools().pools().size());
                             return l.items;
                           }()});
  SearchReports* reports = NewReports(false);
  auto* bar = elements_.as<PercentProgressBar>(kMoreProgress);
  connect(reports, &SearchReports::progress, bar, [bar](int percent) { bar->setPosition(percent); });
  worker_.Start(
      [this, reports] {
        session_.SearchMorePartitions(*reports);
        reports->Flush();
      },
      [this, reports] {
        reports->deleteLater();
        FillItemTree(kPoolTree, PoolItems());
        ShowView(10);
      });
}

void Wizard::StartVolumeScan() {
  if (!session_.discovery().SelectedVolume()) return;
  if (QTreeWidget* v = volumeTree()) v->setEnabled(false);
  // Nothing follows the last step, so "&Next" is not offered there.
  elements_.Apply({Change::Disable, kNextButton}, mode_);
  // The scan replaces the tree: nothing may look at it until it is built.
  emit treeReleasing();
  fileModel_.Clear();
  folderModel_.Detach();
  if (QTreeView* f = folderTree()) f->hide();
  elements_.ShowStepPicture(101, mode_);
  worker_.Start([this] { session_.ScanPickedVolume(); }, [this] { VolumeScanDone(); });
  ShowView(5);
  // The scan reports no progress of its own: the bar says what is going on.
  if (auto* bar = elements_.as<PercentProgressBar>(kSearchProgress)) {
    bar->setPosition(0);
    bar->setText(QStringLiteral("Reading folders and files"));
    bar->show();
  }
}

void Wizard::VolumeScanDone() {
  if (auto* bar = elements_.as<PercentProgressBar>(kSearchProgress)) bar->setText(QString());
  folderModel_.Reset();
  ShowView(6);
  if (QTreeView* f = folderTree()) {
    f->setEnabled(true);
    f->expand(folderModel_.IndexOf(kRootItem));
  }
  SetStep(3);
  ShowFolder(kRootItem, false);
}

void Wizard::Back() {
  if (worker_.running() || rawScanning_ || step_ == 0) return;
  elements_.Apply({Change::Disable, kNextButton}, mode_);
  switch (step_) {
    case 1:
      SetStep(0);
      ShowView(1);
      if (mode_ == RecoveryMode::Raw) ShowView(88);
      break;
    case 2:
      SetStep(1);
      if (QTreeWidget* v = volumeTree()) {
        v->hide();
        v->setEnabled(false);
      }
      if (QTreeWidget* p = poolTree()) {
        p->show();
        p->setEnabled(true);
      }
      ShowView(7);
      ShowMoreButton();
      break;
    case 3:
      emit treeReleasing();
      fileModel_.Clear();
      folderModel_.Detach();
      session_.tree.ReleaseTree();
      SetStep(2);
      if (QTreeWidget* v = volumeTree()) {
        v->show();
        v->setEnabled(true);
      }
      if (QTreeView* f = folderTree()) {
        f->hide();
        f->setEnabled(false);
      }
      ShowView(7);
      elements_.ShowStepPicture(6, mode_);
      if (mode_ == RecoveryMode::Advance) elements_.ShowStepPicture(102, mode_);
      if (auto* path = elements_.as<QLabel>(kPathText)) path->clear();
      break;
  }
}

bool Wizard::Exit() {
  if (!confirm(Latin1(kExitQuestion))) return false;
  // A running worker may still read the tree; the program ends without
  // waiting for it, and the lists go with the process.
  emit treeReleasing();
  if (!worker_.running()) {
    fileModel_.Clear();
    folderModel_.Detach();
    session_.tree.ReleaseTree();
  }
  emit exitConfirmed();
  return true;
}

void Wizard::SaveButton() { later_.SaveTickedItems(ov::SaveCommand::Button); }

void Wizard::SaveCommand() { later_.SaveTickedItems(ov::SaveCommand::Menu); }

void Wizard::ClickVolume(QTreeWidgetItem* item) {
  if (!item || step_ != 2 || !item->parent() || worker_.running()) return;
  const auto index = static_cast<std::size_t>(item->parent()->indexOfChild(item));
  auto rows = session_.discovery().PickVolume(index);
  if (!rows) return;
  SetDetails(*rows, 10);
  elements_.Apply({Change::Enable, kNextButton}, mode_);
}

}  // namespace ov::window
