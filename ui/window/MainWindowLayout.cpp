#include "ui/window/MainWindow.h"

// The main window's elements in their drawn places, and the window's size
// on the screen it opens on.

#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>

#include <iterator>

#include "ui/dialogs/RawFormPanel.h"
#include "ui/window/FitCanvas.h"
#include "ui/window/WrapDelegate.h"
#include "ui/window/ModeButton.h"
#include "widgets/CXPGroupBox.h"
#include "widgets/PercentProgressBar.h"

namespace ov::window {

namespace {

// Room kept for a window manager's frame before the window is first shown.
constexpr QSize kFrameGuess{8, 32};

}  // namespace

void MainWindow::FitScreen() {
  // The menu bar, the status bar and the frame around the client area.
  auto* canvas = static_cast<FitCanvas*>(centralWidget());
  const QSize drawn = canvas->drawnSize();
  canvas->resize(drawn);
  adjustSize();
  const QSize bars = sizeHint() - drawn;
  const QScreen* where = screen() ? screen() : QGuiApplication::primaryScreen();
  const QSize frame = frameGeometry().size() - geometry().size();
  const QSize room = where ? where->availableGeometry().size() - bars - frame.expandedTo(kFrameGuess) : drawn;
  const QSize client = FitCanvas::SizeFor(drawn, room);
  if (client == drawn) {
    // It fits: the window keeps its size, as drawn.
    setFixedSize(sizeHint());
    return;
  }
  // Too little room: the window fits the screen and may be resized there.
  setMinimumSize(FitCanvas::kSmallest + bars);
  setMaximumSize(drawn + bars);
  resize(client + bars);
  if (where) move(where->availableGeometry().topLeft());
}

void MainWindow::BuildElements(FitCanvas* c) {
  auto place = [&](int id, QWidget* w, int x, int y, int width, int height, unsigned grow = kFixed) {
    c->Place(w, QRect(x, y, width, height), grow);
    elements_.Add(id, w);
    return w;
  };
  auto small = [&](int id, int icon, const char* tip, int x) {
    auto* b = new QToolButton(c);
    b->setIcon(LoadIcon(installPath_, icon));
    b->setIconSize({20, 20});
    b->setToolTip(QString::fromLatin1(tip));
    b->setAccessibleName(QString::fromLatin1(tip));
    b->setAutoRaise(true);
    place(id, b, x, 4, 30, 30);
  };
  small(kSaveButton, 143, "Save Data", 8);
  small(kHelpButton, 141, "Help", 40);
  small(kExitButton, 146, "Exit from Orlindavestrum for NSS", 72);

  auto* picture = new PictureLabel(c);
  picture->setAccessibleName(QStringLiteral("Step picture"));
  picture->setAlignment(Qt::AlignCenter);
  place(kPicture, picture, 8, 38, 744, 104, kWide);

  // Step 0: the disk and the mode.
  place(kSelectDiskGroup, new CXPGroupBox(QStringLiteral("Select Disk"), c), 8, 148, 236, 172, kTall);
  place(kModesGroup, new CXPGroupBox(QStringLiteral("Recovery Modes"), c), 8, 326, 236, 122, kDown);
  auto tree = [&](int id, bool hidden) {
    auto* t = new QTreeWidget(c);
    t->setHeaderHidden(true);
    t->setFocusPolicy(Qt::StrongFocus);
    t->setRootIsDecorated(true);
    if (id == kDiskTree) place(id, t, 16, 168, 220, 144, kTall);
    else place(id, t, 8, 148, 236, 300, kTall);
    t->setVisible(!hidden);
    return t;
  };
  QTreeWidget* disks = tree(kDiskTree, false);
  disks->setAccessibleName(QStringLiteral("Disks"));
  // A pool may lie on several disks of a server: Ctrl and Shift pick more.
  disks->setSelectionMode(QAbstractItemView::ExtendedSelection);
  tree(kPoolTree, true)->setAccessibleName(QStringLiteral("Pools"));
  tree(kVolumeTree, true)->setAccessibleName(QStringLiteral("Volumes"));
  auto* folders = new QTreeView(c);
  folders->setHeaderHidden(true);
  folders->setUniformRowHeights(true);
  folders->setAccessibleName(QStringLiteral("Folders"));
  place(kFolderTree, folders, 8, 148, 236, 300, kTall)->hide();

  const char* modes[] = {"Quick ", "Advanced ", "Raw Recovery"};
  for (int i = 0; i < 3; ++i) {
    auto* b = new ModeButton(QString::fromLatin1(modes[i]), c);
    b->setAutoExclusive(false);
    b->setEnabled(false);
    place(kQuickButton + i, b, 24, 352 + i * 30, 200, 24, kDown);
  }

  // The list on the right, with the folder's path above it.
  place(kPathText, new QLabel(c), 250, 148, 502, 18, kWide);
  auto* list = new QTreeView(c);
  list->setRootIsDecorated(false);
  list->setUniformRowHeights(true);
  list->setItemsExpandable(false);
  list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list->setAccessibleName(QStringLiteral("Details"));
  list->setContextMenuPolicy(Qt::CustomContextMenu);
  list->header()->setStretchLastSection(false);
  list->setItemDelegate(new WrapDelegate(list));
  // Wide enough for the 500-pixel "Details" column inside its frame.
  place(kDetailsList, list, 250, 168, 502, 280, kWide | kTall);

  // The Raw form, hidden until its step: one panel in the place of its
  // elements, bound to its own controller.
  auto* raw = new RawFormPanel(session_.prompter, [this] { return later_.AskRawDestination(); }, c);
  // It reaches down to the buttons: the status row is not used there.
  place(kKindGroup, raw, 8, 148, 744, 330, kWide | kTall)->hide();

  // The status row and the buttons.
  place(kStatusLine, new QLabel(c), 8, 456, 300, 22, kDown);
  auto* search = new PercentProgressBar(c);
  search->setAccessibleName(QStringLiteral("Search progress"));
  place(kSearchProgress, search, 316, 456, 240, 22, kDown | kWide)->hide();
  auto* more = new PercentProgressBar(c);
  more->setAccessibleName(QStringLiteral("Partition search progress"));
  place(kMoreProgress, more, 316, 456, 240, 22, kDown | kWide)->hide();
  auto* status = new QLabel(c);
  status->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  place(kStatusText, status, 564, 456, 188, 22, kDown | kRight);
  place(kMoreButton, new QPushButton(QStringLiteral("Search More Partitions"), c), 8, 486, 180, 30, kDown)->hide();
  place(kStopButton, new QPushButton(QStringLiteral("S&top Searching"), c), 196, 486, 140, 30, kDown)->hide();
  auto* back = new QPushButton(LoadIcon(installPath_, 133), QStringLiteral("&Back"), c);
  place(kBackButton, back, 548, 486, 100, 30, kDown | kRight);
  back->hide();
  back->setEnabled(false);
  auto* next = new QPushButton(LoadIcon(installPath_, 132), QStringLiteral("&Next"), c);
  next->setLayoutDirection(Qt::RightToLeft);  // the arrow after the text
  next->setEnabled(false);
  next->setDefault(true);
  place(kNextButton, next, 652, 486, 100, 30, kDown | kRight);
  // The find box under the folder tree, at the directory tree step.
  find_ = new QLineEdit(c);
  find_->setObjectName(QStringLiteral("findBox"));
  find_->setAccessibleName(QStringLiteral("Find names"));
  find_->setPlaceholderText(QStringLiteral("Find names (* and ? allowed)"));
  find_->setClearButtonEnabled(true);
  c->Place(find_, QRect(8, 456, 236, 22), kDown);
  find_->hide();

  // Tab goes along the window as a person reads it: the small buttons, the
  // trees on the left, the list, then the buttons at the bottom.
  QWidget* order[] = {elements_.widget(kSaveButton), elements_.widget(kHelpButton), elements_.widget(kExitButton),
                      elements_.widget(kDiskTree),   elements_.widget(kQuickButton), elements_.widget(kAdvanceButton),
                      elements_.widget(kRawButton),  elements_.widget(kPoolTree),   elements_.widget(kVolumeTree),
                      folders,                       find_,                        list,
                      elements_.widget(kMoreButton), elements_.widget(kStopButton), back,
                      next};
  for (std::size_t i = 1; i < std::size(order); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
  // The raw form's panel reaches over the status row, which it does not
  // use: it lies above it, so its own controls there take the pointer.
  raw->raise();
}

}  // namespace ov::window
