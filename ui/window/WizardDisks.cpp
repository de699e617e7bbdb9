#include "ui/window/Wizard.h"

// The disk step (one disk, or several picked together with Ctrl or Shift
// for a pool that lies on more than one) and the pools found on them.

#include <QApplication>
#include <QMessageBox>

#include "ui/dialogs/MessageBoxes.h"
#include "ui/window/RescueMapOffer.h"
#include "ui/window/RunDisks.h"

namespace ov::window {

namespace {

QString Latin1(std::string_view s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

void Wizard::ListDisks() {
  QTreeWidget* t = diskTree();
  if (!t) return;
  t->clear();
  auto* root = new QTreeWidgetItem(t, {Latin1(kDiskTreeRoot)});
  root->setIcon(0, images_.Tree(2));
  for (const auto& d : session_.inventory().disks()) {
    auto* item = new QTreeWidgetItem(root, {Latin1(d.valueName)});
    item->setIcon(0, images_.Tree(1));
  }
  root->setExpanded(true);
}

bool Wizard::AttachImage(const QString& path) { return AttachImages({path}); }

bool Wizard::AttachImages(const QStringList& paths) {
  if (step_ != 0 || worker_.running() || paths.isEmpty()) return false;
  std::vector<std::string> names;
  bool attached = true;
  for (const QString& path : paths) {
    const std::filesystem::path image(path.toStdString());
    try {
      OfferRescueMap(session_, image, confirm);
      session_.Inventory(image);
    } catch (const Failure& f) {
      session_.rescueMap.clear();
      Message(QString::fromStdString(f.what()));
      attached = false;
      break;
    }
    session_.rescueMap.clear();
    if (auto name = session_.DiskNameOf(image)) names.push_back(*name);
  }
  ListDisks();
  details_.removeRows(0, details_.rowCount());
  // The attached images are the disks chosen now; the mode is chosen again
  // for them, so "&Next" cannot go on with the disks picked before.
  mode_ = RecoveryMode::None;
  pickedDisks_.clear();
  for (int id : {kQuickButton, kAdvanceButton, kRawButton}) {
    elements_.Apply({Change::Uncheck, id}, mode_);
    elements_.Apply({Change::Disable, id}, mode_);
  }
  elements_.Apply({Change::Disable, kNextButton}, mode_);
  QTreeWidget* t = diskTree();
  QTreeWidgetItem* root = t ? t->topLevelItem(0) : nullptr;
  QTreeWidgetItem* last = nullptr;
  for (int i = 0; root && i < root->childCount(); ++i) {
    const std::string text = root->child(i)->text(0).toStdString();
    if (std::find(names.begin(), names.end(), text) == names.end()) continue;
    if (!last) t->setCurrentItem(root->child(i));
    last = root->child(i);
    last->setSelected(true);
  }
  if (last) ClickDisk(last);
  return attached && last;
}

void Wizard::ClickDisk(QTreeWidgetItem* item) {
  if (!item || step_ != 0) return;
  QTreeWidget* t = diskTree();
  QStringList selected;
  for (QTreeWidgetItem* s : t ? t->selectedItems() : QList<QTreeWidgetItem*>{}) {
    if (s->parent()) selected.append(s->text(0));
  }
  // Ctrl or Shift picks several disks of one server; a plain click (or a
  // click on a disk that is not among those selected) picks one, as always.
  const bool toggled = QApplication::keyboardModifiers() & Qt::ControlModifier;
  QStringList picked;
  if (item->isSelected() && selected.size() > 1) picked = selected;
  else if (toggled && !item->isSelected()) picked = selected;
  else picked = {item->text(0)};
  if (picked.isEmpty()) {
    // The last disk of several was taken away again: nothing is picked.
    pickedDisks_.clear();
    details_.removeRows(0, details_.rowCount());
    for (int id : {kQuickButton, kAdvanceButton, kRawButton}) elements_.Apply({Change::Disable, id}, mode_);
    elements_.Apply({Change::Disable, kNextButton}, mode_);
    return;
  }
  std::vector<std::string> rows;
  if (picked.size() == 1) {
    auto one = session_.inventory().PickDisk(picked.front().toLatin1().toStdString());
    if (!one) return;
    rows = std::move(*one);
  } else {
    std::vector<std::string> names;
    for (const QString& p : picked) names.push_back(p.toLatin1().toStdString());
    rows = SelectedDisksRows(session_.inventory(), names);
  }
  pickedDisks_ = picked;
  SetDetails(rows, 0, picked.size() > 1);
  for (int id : {kQuickButton, kAdvanceButton, kRawButton}) elements_.Apply({Change::Enable, id}, mode_);
  if (mode_ != RecoveryMode::None) elements_.Apply({Change::Enable, kNextButton}, mode_);
  elements_.ShowStepPicture(2, mode_);
}

bool Wizard::SelectPickedDisks() {
  if (pickedDisks_.isEmpty()) return false;
  std::vector<std::string> names;
  for (const QString& p : pickedDisks_) names.push_back(p.toLatin1().toStdString());
  try {
    session_.SelectDisks(names);
  } catch (const Failure& f) {
    Message(QString::fromStdString(f.what()));
    return false;
  }
  return true;
}

ItemList Wizard::PoolItems() const {
  return RunPoolTree(session_.discovery(), static_cast<std::uint16_t>(session_.diskNumber()));
}

void Wizard::ShowFoundPools() {
  FillItemTree(kPoolTree, PoolItems());
  ShowView(3);
  SayWhenNoPools();
  ShowMoreButton();
}

void Wizard::WarnPoolProblems() {
  // Said once, when the search has ended; the tree marks the pools.
  if (const std::string text = PoolProblemsText(session_.discovery()); !text.empty()) {
    ShowMessageBox(window_, text, MessageIcon::Warning);
  }
}

void Wizard::ClickPool(QTreeWidgetItem* item) {
  if (!item || step_ != 1 || !item->parent() || worker_.running()) return;
  const auto index = static_cast<std::size_t>(item->parent()->indexOfChild(item));
  auto rows = PickRunPool(session_.discovery(), index);
  if (!rows) return;  // an ext2 entry selects nothing
  SetDetails(*rows, 10, session_.discovery().layout().size() > 1);
  elements_.Apply({Change::Enable, kNextButton}, mode_);
}

}  // namespace ov::window
