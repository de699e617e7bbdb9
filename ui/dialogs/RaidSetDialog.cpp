#include "ui/dialogs/RaidSetDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <climits>

#include "disk/RaidSetFile.h"

namespace ov {

namespace {

const QString kMissing = QStringLiteral("missing");

}  // namespace

RaidSetDialog::RaidSetDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Open RAID Set"));
  list_ = new QListWidget(this);
  list_->setDragDropMode(QAbstractItemView::InternalMove);  // the order can be changed by hand
  add_ = new QPushButton(QStringLiteral("Add Members..."), this);
  addMissing_ = new QPushButton(QStringLiteral("Add Missing"), this);
  remove_ = new QPushButton(QStringLiteral("Remove"), this);
  detect_ = new QPushButton(QStringLiteral("Detect"), this);
  stop_ = new QPushButton(QStringLiteral("Stop"), this);
  progress_ = new QProgressBar(this);
  progress_->setRange(0, 100);
  level_ = new QComboBox(this);
  for (auto l : {RaidLevel::Raid0, RaidLevel::Raid1, RaidLevel::Raid5, RaidLevel::Raid10, RaidLevel::Span})
    level_->addItem(QString::fromStdString(std::string(LevelName(l))));
  chunk_ = new QComboBox(this);
  for (std::uint32_t c = kMinChunkSectors; c <= kMaxChunkSectors; c *= 2) chunk_->addItem(QStringLiteral("%1 KiB").arg(c / 2), c);
  layout_ = new QComboBox(this);
  for (auto l : {ParityLayout::LeftSymmetric, ParityLayout::LeftAsymmetric, ParityLayout::RightSymmetric,
                 ParityLayout::RightAsymmetric})
    layout_->addItem(QString::fromStdString(std::string(LayoutName(l))));
  offset_ = new QSpinBox(this);
  offset_->setRange(0, INT_MAX);
  offset_->setSuffix(QStringLiteral(" sectors"));
  setFile_ = new QLineEdit(this);
  status_ = new QLabel(this);
  status_->setWordWrap(true);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  ok_ = buttons->button(QDialogButtonBox::Ok);

  auto* memberButtons = new QVBoxLayout;
  for (auto* b : {add_, addMissing_, remove_, detect_, stop_}) memberButtons->addWidget(b);
  memberButtons->addStretch();
  auto* top = new QHBoxLayout;
  top->addWidget(list_, 1);
  top->addLayout(memberButtons);
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Level:"), level_);
  form->addRow(QStringLiteral("Chunk size:"), chunk_);
  form->addRow(QStringLiteral("Parity layout:"), layout_);
  form->addRow(QStringLiteral("Data offset:"), offset_);
  form->addRow(QStringLiteral("Set file:"), setFile_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("The members, in any order (\"missing\" for a member that is gone):"), this));
  layout->addLayout(top);
  layout->addWidget(progress_);
  layout->addLayout(form);
  layout->addWidget(status_);
  layout->addWidget(buttons);

  poll_ = new QTimer(this);
  poll_->setInterval(50);
  connect(poll_, &QTimer::timeout, this, &RaidSetDialog::Poll);
  connect(add_, &QPushButton::clicked, this, &RaidSetDialog::AddFiles);
  connect(addMissing_, &QPushButton::clicked, this, [this] {
    list_->addItem(kMissing);
    UpdateButtons();
  });
  connect(remove_, &QPushButton::clicked, this, [this] {
    delete list_->currentItem();
    UpdateButtons();
  });
  connect(detect_, &QPushButton::clicked, this, &RaidSetDialog::StartDetection);
  connect(stop_, &QPushButton::clicked, this, [this] { stopFlag_ = true; });
  connect(buttons, &QDialogButtonBox::accepted, this, &RaidSetDialog::Accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(level_, &QComboBox::currentTextChanged, this, &RaidSetDialog::UpdateButtons);
  level_->setCurrentText(QStringLiteral("5"));
  UpdateButtons();
}

RaidSetDialog::~RaidSetDialog() {
  stopFlag_ = true;
  JoinWorker();
}

QString RaidSetDialog::Ask(QWidget* parent) {
  RaidSetDialog dialog(parent);
  if (dialog.exec() != QDialog::Accepted) return {};
  return dialog.SetFile();
}

void RaidSetDialog::SetMembers(const QStringList& members) {
  list_->clear();
  list_->addItems(members);
  if (setFile_->text().isEmpty()) {
    for (const auto& m : members)
      if (m != kMissing) {
        setFile_->setText(QFileInfo(m).absoluteDir().filePath(QStringLiteral("raid-set.raid")));
        break;
      }
  }
  UpdateButtons();
}

QStringList RaidSetDialog::Members() const {
  QStringList out;
  for (int i = 0; i < list_->count(); ++i) out << list_->item(i)->text();
  return out;
}

QString RaidSetDialog::SetFile() const { return setFile_->text(); }

void RaidSetDialog::AddFiles() {
  const QStringList files = QFileDialog::getOpenFileNames(this, QStringLiteral("Add Members"));
  if (!files.isEmpty()) SetMembers(Members() + files);
}

void RaidSetDialog::StartDetection() {
  if (detecting() || list_->count() < 2) return;
  JoinWorker();
  detected_ = Members();
  std::vector<std::optional<std::filesystem::path>> members;
  for (const auto& m : detected_)
    members.push_back(m == kMissing ? std::nullopt : std::optional(std::filesystem::path(m.toStdString())));
  stopFlag_ = false;
  done_ = false;
  percent_ = 0;
  status_->setText(QStringLiteral("Detecting the set..."));
  // The worker reports through atomics only; the timer shows them.
  worker_ = std::thread([this, members] {
    auto result = DetectRaidFiles(members, {}, [this](int p) { percent_ = p; }, stopFlag_);
    std::lock_guard<std::mutex> lock(mutex_);
    result_ = std::move(result);
    done_ = true;
  });
  poll_->start();
  UpdateButtons();
}

void RaidSetDialog::Poll() {
  progress_->setValue(percent_.load());
  if (done_.load()) Finish();
}

void RaidSetDialog::Finish() {
  poll_->stop();
  JoinWorker();
  RaidDetectResult result;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    result = result_;
  }
  if (!result.ok) {
    status_->setText(QString::fromStdString(result.error));
    UpdateButtons();
    return;
  }
  const auto& a = result.answer;
  QStringList ordered;
  for (int m : a.order) ordered << (m < 0 ? kMissing : detected_[m]);
  SetMembers(ordered);
  level_->setCurrentText(QString::fromStdString(std::string(LevelName(a.geometry.level))));
  chunk_->setCurrentIndex(chunk_->findData(a.geometry.chunkSectors));
  layout_->setCurrentText(QString::fromStdString(std::string(LayoutName(a.geometry.layout))));
  offset_->setValue(static_cast<int>(std::min<std::uint64_t>(a.geometry.offsetSectors, INT_MAX)));
  progress_->setValue(100);
  status_->setText(QStringLiteral("Found: %1 structures where this layout puts them, %2 missed (%3). "
                                  "The members are listed in set order.")
                       .arg(a.found)
                       .arg(a.missed)
                       .arg(QString::fromStdString(result.levelEvidence)));
  UpdateButtons();
}

void RaidSetDialog::Accept() {
  RaidSet set;
  set.geometry.level = ParseLevel(level_->currentText().toStdString()).value_or(RaidLevel::Raid5);
  set.geometry.chunkSectors = chunk_->currentData().toUInt();
  set.geometry.layout = ParseLayout(layout_->currentText().toStdString()).value_or(ParityLayout::LeftSymmetric);
  set.geometry.offsetSectors = static_cast<std::uint64_t>(offset_->value());
  for (const auto& m : Members())
    set.members.push_back(m == kMissing ? std::nullopt : std::optional(std::filesystem::absolute(m.toStdString())));
  set.geometry.members = static_cast<std::uint32_t>(set.members.size());
  // The set must open before it is written.
  const OpenedImage opened = OpenRaidSet(set, SetFile().toStdString());
  std::string error = opened.error;
  if (opened && !WriteRaidSetFile(SetFile().toStdString(), set, error)) error = "cannot write " + SetFile().toStdString();
  if (!opened || !error.empty()) {
    status_->setText(QString::fromStdString(error));
    return;
  }
  accept();
}

void RaidSetDialog::UpdateButtons() {
  const bool running = detecting();
  detect_->setEnabled(!running && list_->count() >= 2);
  stop_->setEnabled(running);
  add_->setEnabled(!running);
  addMissing_->setEnabled(!running);
  remove_->setEnabled(!running);
  ok_->setEnabled(!running && list_->count() >= 1 && !setFile_->text().isEmpty());
  const QString level = level_->currentText();
  chunk_->setEnabled(level != QStringLiteral("1") && level != QStringLiteral("span"));
  layout_->setEnabled(level == QStringLiteral("5"));
}

void RaidSetDialog::JoinWorker() {
  if (worker_.joinable()) worker_.join();
}

}  // namespace ov
