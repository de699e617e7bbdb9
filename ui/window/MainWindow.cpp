#include "ui/window/MainWindow.h"
#include "ui/dialogs/RaidSetDialog.h"

#include <QCloseEvent>
#include <QHash>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QGuiApplication>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QTime>
#include <QToolButton>

#include "ui/dialogs/RawFormPanel.h"
#include "ui/window/Dialogs.h"
#include "ui/window/FindWindow.h"
#include "ui/window/FitCanvas.h"
#include "ui/window/ImageDialog.h"
#include "widgets/CXPGroupBox.h"
#include "widgets/PercentProgressBar.h"
#include "ui/window/Menus.h"
#include "ui/window/ModeButton.h"

namespace ov::window {

namespace {

QString Latin1(std::string_view s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }
QString File(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

}  // namespace

std::optional<std::filesystem::path> InstalledPath(Registry& registry) {
  const std::string path = registry.ReadText(RegistryRoot::ClassesRoot, kProductKey, "FilePath");
  if (path.empty()) return std::nullopt;
  return std::filesystem::path(path);
}

QIcon LoadIcon(const std::filesystem::path& installPath, int number) {
  return QIcon(File(installPath / ("Icon" + std::to_string(number) + ".png")));
}

ImageLists LoadImageLists(const std::filesystem::path& installPath) {
  // Strips of 16-pixel images, as the bitmaps of the tree and list are.
  auto split = [&](const char* name) {
    std::vector<QIcon> icons;
    const QPixmap strip(File(installPath / name));
    for (int x = 0; x + 16 <= strip.width(); x += 16) icons.emplace_back(strip.copy(x, 0, 16, strip.height()));
    return icons;
  };
  return {split("Bitmap148.png"), split("Bitmap129.png")};
}

MainWindow::MainWindow(Session& session, std::filesystem::path installPath, QWidget* parent)
    : QMainWindow(parent), session_(session), installPath_(std::move(installPath)) {
  setWindowTitle(Latin1(kProductTitle));
  setWindowIcon(LoadIcon(installPath_, 128));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  elements_.installPath = installPath_;
  images_ = LoadImageLists(installPath_);

  auto* central = new FitCanvas(kDrawnSize, this);
  setCentralWidget(central);
  BuildMenuBar(menuBar(), elements_);
  BuildElements(central);

  // The status bar: an empty pane and the clock.
  statusBar()->setSizeGripEnabled(false);
  pane_ = new QLabel(this);
  pane_->setAccessibleName(QStringLiteral("Status"));
  statusBar()->addWidget(pane_, 1);
  clock_ = new QLabel(this);
  clock_->setObjectName(QStringLiteral("clock"));
  clock_->setMinimumWidth(60);
  clock_->setAlignment(Qt::AlignCenter);
  statusBar()->addPermanentWidget(clock_);
  connect(&clockTimer_, &QTimer::timeout, this, &MainWindow::Tick);
  clockTimer_.start(1000);
  if (!clockTimer_.isActive()) QMessageBox::information(this, Latin1(kProductTitle), Latin1(kNoTimers));
  Tick();

  // One prompter answers every question of the run, over this window.
  if (auto* prompter = dynamic_cast<ov::WindowPrompter*>(&session_.prompter)) prompter->SetWindow(this);
  wizard_ = new Wizard(session_, elements_, images_, later_, this);
  later_.Attach(session_, *wizard_, this, rawForm());
  elements_.as<QTreeView>(kFolderTree)->setModel(&wizard_->folderModel());
  elements_.setColumns(Change::DetailsColumns);
  const auto logPath = session_.log ? session_.log->path() : ActivityLogFolder(installPath_) / std::string(kActivityLogName);
  reports_ = std::make_unique<print::ReportMenu>(installPath_, logPath, desktop_, session_.prompter, session_.folders);
  ConnectCommands();
  ConnectHelp();
  wizard_->ListDisks();
  elements_.ShowStepPicture(1, RecoveryMode::None);
  elements_.Apply({Change::Disable, kMoreButton}, RecoveryMode::None);
  setAcceptDrops(true);
  FitScreen();
}

MainWindow::~MainWindow() {
  // The views go before the wizard's models, and both before the pictures
  // they draw with.
  closing_ = true;
  delete takeCentralWidget();
  delete wizard_;
}

RawFormPanel* MainWindow::rawForm() const { return elements_.as<RawFormPanel>(kKindGroup); }

void MainWindow::Tick() {
  const QTime now = QTime::currentTime();
  clock_->setText(QString::fromStdString(ClockText(now.hour(), now.minute())));
}

// The help: menu tips beside the menus' items, the mode buttons' balloons,
// the help language (32860 .. 32863) and the balloon switch (32851). The
// mode buttons select their mode themselves when hovered; the help adds the
// balloon. The message library is looked for next to the program, then in
// the installation folder.
void MainWindow::ConnectHelp() {
  help_ = new HelpController(
      {session_.registry, installPath_, {session_.installPath, installPath_}, session_.reader.osFamily()}, this);
  QHash<const QAction*, int> ids;
  for (const MenuDef& menu : MenuBar102()) {
    for (const MenuItem& item : menu.items) {
      if (QAction* action = item.id > 0 ? elements_.command(item.id) : nullptr) ids.insert(action, item.id);
    }
  }
  help_->SetItemInfo([ids](const QAction* action) { return ids.value(action); },
                     [](const QAction* action) { return action->property("prompt").toString(); });
  help_->Start();
  help_->AttachMenuBar(menuBar());
  help_->SetLanguageActions({elements_.command(kCmdDutch), elements_.command(kCmdEnglish),
                             elements_.command(kCmdFrench), elements_.command(kCmdGerman)});
  help_->SetBalloonHelpAction(elements_.command(kCmdBalloonHelp));
  help_->SetModeButtons({elements_.as<QAbstractButton>(kQuickButton), elements_.as<QAbstractButton>(kAdvanceButton),
                         elements_.as<QAbstractButton>(kRawButton)},
                        {});
}

void MainWindow::ConnectCommands() {
  Wizard* w = wizard_;
  auto button = [&](int id, auto slot) {
    if (auto* b = elements_.as<QAbstractButton>(id)) connect(b, &QAbstractButton::clicked, w, slot);
  };
  auto command = [&](int id, auto slot) {
    if (QAction* a = elements_.command(id)) connect(a, &QAction::triggered, this, slot);
  };
  button(kNextButton, &Wizard::Next);
  button(kBackButton, &Wizard::Back);
  button(kStopButton, &Wizard::StopSearching);
  button(kMoreButton, &Wizard::SearchMorePartitions);
  button(kSaveButton, &Wizard::SaveButton);
  button(kExitButton, &Wizard::Exit);
  for (int i = 0; i < 3; ++i) {
    auto* b = qobject_cast<ModeButton*>(elements_.widget(kQuickButton + i));
    const auto mode = static_cast<RecoveryMode>(i + 1);
    connect(b, &QAbstractButton::clicked, w, [w, mode] { w->ChooseMode(mode); });
    connect(b, &ModeButton::hovered, w, [w, mode] { w->ChooseMode(mode); });
  }
  connect(w->diskTree(), &QTreeWidget::itemClicked, w, &Wizard::ClickDisk);
  connect(w->poolTree(), &QTreeWidget::itemClicked, w, &Wizard::ClickPool);
  connect(w->volumeTree(), &QTreeWidget::itemClicked, w, &Wizard::ClickVolume);
  connect(w->folderTree(), &QTreeView::clicked, w,
          [w](const QModelIndex& i) { w->ShowFolder(FolderTreeModel::HandleOf(i), false); });
  connect(&w->folderModel(), &FolderTreeModel::checksChanged, w->folderTree()->viewport(),
          qOverload<>(&QWidget::update));
  QTreeView* list = w->detailsList();
  list->header()->setSectionsClickable(true);
  connect(list->header(), &QHeaderView::sectionClicked, w, [w, list](int column) {
    if (list->model() != &w->fileModel()) return;
    w->fileModel().SortBy(column);
    const ListSort& sort = w->fileModel().sort();
    list->header()->setSortIndicatorShown(sort.order != ListSortOrder::Volume);
    list->header()->setSortIndicator(sort.column,
                                     sort.order == ListSortOrder::Descending ? Qt::DescendingOrder : Qt::AscendingOrder);
  });
  connect(list, &QTreeView::doubleClicked, w, [w](const QModelIndex& i) { w->ActivateRow(i.row(), false); });
  connect(list, &QWidget::customContextMenuRequested, w,
          [w, list](const QPoint& p) { w->ShowListMenu(list->viewport()->mapToGlobal(p)); });
  for (QWidget* watched : {static_cast<QWidget*>(w->folderTree()), static_cast<QWidget*>(list),
                           static_cast<QWidget*>(w->diskTree()), static_cast<QWidget*>(w->poolTree()),
                           static_cast<QWidget*>(w->volumeTree())}) {
    watched->installEventFilter(this);
  }
  // Find: the box starts a search in the whole volume; its window lists
  // the matches and opens them in the list.
  connect(w, &Wizard::stepChanged, find_, [this](int step) { find_->setVisible(step == 3); });
  connect(w, &Wizard::treeReleasing, this, [this] {
    if (!finder_) return;
    finder_->Stop();
    finder_->hide();
  });
  connect(find_, &QLineEdit::returnPressed, this, [this, w] {
    if (w->step() != 3) return;
    if (!finder_) {
      finder_ = new FindWindow(
          session_.tree, [w](const NameMatch& m, ItemHandle holder) { w->ShowMatch(m.folder, m.position, holder); },
          this);
      finder_->saveTicked = [this](const std::vector<SaveRow>& rows) { later_.SaveFoundRows(rows); };
    }
    finder_->show();
    finder_->raise();
    finder_->Search(find_->text());
  });
  connect(w, &Wizard::exitConfirmed, this, [this] {
    closing_ = true;
    close();
  });

  // Menu bar 102.
  command(kCmdSave, [w] { w->SaveCommand(); });
  command(kCmdExit, [w] { w->Exit(); });
  command(kCmdAbout, &MainWindow::ShowAbout);
  command(kCmdSystemAbout, &MainWindow::ShowAbout);
  command(kCmdOpenImage, &MainWindow::OpenImage);
  mounts_ = new MountController(session_, desktop_, elements_.command(kCmdMountVolume), pane_, this);
  connect(w, &Wizard::stepChanged, mounts_, &MountController::StepChanged);
  connect(w, &Wizard::exitConfirmed, mounts_, &MountController::Unmount);
  command(kCmdMountVolume, [this] { mounts_->Mount(); });
  command(kCmdOpenRaidSet, [this, w] {
    if (w->step() != 0) return;
    if (const QString set = RaidSetDialog::Ask(this); !set.isEmpty()) w->AttachImage(set);
  });
  for (int id : {kCmdOnline, kCmdEmail, kCmdTelephonic}) command(id, [this, id] { Support(id); });
  // The commands whose work lives in the other parts of the window.
  LaterCommands* l = &later_;
  command(kCmdSaveSettings, [l] { l->SaveSettings(); });
  command(kCmdSaveLog, [l] { l->SaveLog(); });
  command(kCmdLoadLog, [l] { l->LoadLog(); });
  print::ReportMenu* r = reports_.get();
  command(kCmdViewReport, [r] { r->ViewReport(); });
  command(kCmdEmailReport, [r] { r->EmailReport(); });
  command(kCmdViewList, [this, r] { r->ViewList(ListState()); });
  command(kCmdPrintList, [this, r] { r->PrintList(ListState(), this); });
  command(kCmdEmailList, [this, r] { r->EmailList(ListState()); });
  command(kCmdContents, [r] { r->HelpContents(); });
  if (auto* help = elements_.as<QAbstractButton>(kHelpButton))
    connect(help, &QAbstractButton::clicked, this, [r] { r->HelpContents(); });
  auto* f1 = new QShortcut(QKeySequence::HelpContents, this);
  connect(f1, &QShortcut::activated, this, [r] { r->HelpByName(); });
  auto* escape = new QShortcut(Qt::Key_Escape, this);
  connect(escape, &QShortcut::activated, w, &Wizard::Exit);
}

void MainWindow::ShowAbout() {
  AboutDialog about(windowIcon(), this);
  about.exec();
}

void MainWindow::Support(int command) {
  if (command == kCmdOnline) {
    reports_->Online();
  } else if (command == kCmdEmail) {
    reports_->Email();
  } else {
    reports_->Telephonic();
  }
}

TreeState MainWindow::ListState() const { return {&session_.tree, wizard_->step()}; }

void MainWindow::OpenImage() {
  const QStringList paths = AskImageFiles(this, imageFolder_);
  if (!paths.isEmpty()) wizard_->AttachImages(paths);
}

void MainWindow::closeEvent(QCloseEvent* e) {
  // The close box asks first, as Exit does.
  if (closing_ || wizard_->Exit()) {
    e->accept();
  } else {
    e->ignore();
  }
}

namespace {

// The files dropped (the disks of one server may come together), or none
// when anything dropped is not a local file.
QStringList DroppedFiles(const QMimeData* data) {
  QStringList files;
  for (const QUrl& url : data->urls()) {
    if (!url.isLocalFile()) return {};
    files << url.toLocalFile();
  }
  return files;
}

}  // namespace

void MainWindow::dragEnterEvent(QDragEnterEvent* e) {
  if (wizard_->step() == 0 && !DroppedFiles(e->mimeData()).isEmpty()) e->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* e) {
  const QStringList files = DroppedFiles(e->mimeData());
  if (!files.isEmpty()) {
    e->acceptProposedAction();
    wizard_->AttachImages(files);
  }
}

void MainWindow::keyPressEvent(QKeyEvent* e) {
  // Enter that no control took presses the default button, "&Next".
  auto* next = elements_.as<QAbstractButton>(kNextButton);
  if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && next && next->isVisible() && next->isEnabled()) {
    next->click();
    return;
  }
  QMainWindow::keyPressEvent(e);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() != QEvent::KeyPress) return QMainWindow::eventFilter(watched, e);
  auto* key = static_cast<QKeyEvent*>(e);
  QTreeView* folders = wizard_->folderTree();
  QTreeView* list = wizard_->detailsList();
  const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
  if (wizard_->step() == 3 && key->key() == Qt::Key_Tab && (watched == folders || watched == list)) {
    (watched == folders ? static_cast<QWidget*>(list) : folders)->setFocus();
    return true;
  }
  if (enter && watched == folders) {
    wizard_->ShowFolder(FolderTreeModel::HandleOf(folders->currentIndex()), false);
    return true;
  }
  if (enter && watched == list) {
    wizard_->ActivateRow(list->currentIndex().row(), true);
    return true;
  }
  if (enter || key->key() == Qt::Key_Space) {
    // Enter and the arrows pick items of the small trees as a click does.
    auto* t = qobject_cast<QTreeWidget*>(watched);
    if (t && t->currentItem()) emit t->itemClicked(t->currentItem(), 0);
  }
  return QMainWindow::eventFilter(watched, e);
}

}  // namespace ov::window
