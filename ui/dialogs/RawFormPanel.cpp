#include "ui/dialogs/RawFormPanel.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/dialogs/MessageBoxes.h"
#include "widgets/PercentProgressBar.h"

namespace ov {

namespace {

constexpr int kRefreshMs = 100;

// Hands the scan's reports to the mailbox, and a confirmed Stop to the
// scan's own flag. The scan lowers its flag when it starts, so a Stop
// confirmed before the worker got that far would be lost; raised again here,
// at the scan's first report and after every one, it is seen before the
// next read.
class StopRelay : public RawScanListener {
public:
  StopRelay(RawScanListener& to, const std::atomic<bool>& requested, std::atomic<bool>& scanStop)
      : to_(to), requested_(requested), scanStop_(scanStop) {}
  void OnStatus(const std::string& text) override {
    to_.OnStatus(text);
    Relay();
  }
  void OnProgressVisible(bool visible) override {
    to_.OnProgressVisible(visible);
    Relay();
  }
  void OnProgress(int percent, const std::string& text) override {
    to_.OnProgress(percent, text);
    Relay();
  }
  void OnResultsCleared() override {
    to_.OnResultsCleared();
    Relay();
  }
  void OnResultRowInserted(std::size_t row, const std::string& text) override {
    to_.OnResultRowInserted(row, text);
    Relay();
  }
  void OnResultRowChanged(std::size_t row, const std::string& text) override {
    to_.OnResultRowChanged(row, text);
    Relay();
  }
  void OnDocument(const RawDocument& document) override {
    to_.OnDocument(document);
    Relay();
  }

private:
  void Relay() {
    if (requested_) scanStop_ = true;
  }
  RawScanListener& to_;
  const std::atomic<bool>& requested_;
  std::atomic<bool>& scanStop_;
};

QString Latin(std::string_view text) { return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())); }

// Rows with room around their check boxes: a margin at the left edge and
// between one row's box and the next.
class SpacedRows : public QStyledItemDelegate {
public:
  using QStyledItemDelegate::QStyledItemDelegate;
  static constexpr int kLeft = 4;
  static constexpr int kGap = 4;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    return QStyledItemDelegate::sizeHint(option, index) + QSize(kLeft, kGap);
  }
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionViewItem inner(option);
    inner.rect.adjust(kLeft, kGap / 2, 0, -(kGap - kGap / 2));
    QStyledItemDelegate::paint(painter, inner, index);
  }
};

QTreeWidget* OneColumnList(const QString& title, int width, const QString& name) {
  auto* list = new QTreeWidget;
  list->setObjectName(name);
  list->setColumnCount(1);
  list->setHeaderLabels({title});
  list->setRootIsDecorated(false);
  list->setColumnWidth(0, width);
  list->setMinimumWidth(width + 4);
  return list;
}

}  // namespace

RawFormPanel::RawFormPanel(Prompter& prompter, std::function<std::filesystem::path()> askDestination, QWidget* parent)
    : QWidget(parent), prompter_(prompter), askDestination_(std::move(askDestination)) {
  auto* kindBox = new QGroupBox(QStringLiteral("Select File Type(s) for Raw Recovery"));
  kinds_ = OneColumnList(QStringLiteral("File Types"), 260, QStringLiteral("kinds"));
  kinds_->setAccessibleName(QStringLiteral("File Types"));
  kinds_->setItemDelegate(new SpacedRows(kinds_));
  BuildKinds();
  (new QVBoxLayout(kindBox))->addWidget(kinds_);

  auto* methodBox = new QGroupBox(QStringLiteral("Select Raw Recovery Method"));
  entire_ = new QRadioButton(QStringLiteral("Entire Disk"));
  range_ = new QRadioButton(QStringLiteral("Sector Range"));
  entire_->setObjectName(QStringLiteral("entireDisk"));
  range_->setObjectName(QStringLiteral("sectorRange"));
  startLabel_ = new QLabel(QStringLiteral("Start Sector"));
  endLabel_ = new QLabel(QStringLiteral("End Sector"));
  start_ = new QLineEdit;
  end_ = new QLineEdit;
  start_->setObjectName(QStringLiteral("startSector"));
  end_->setObjectName(QStringLiteral("endSector"));
  // The fields are named by their own labels, not by the group around them.
  startLabel_->setBuddy(start_);
  endLabel_->setBuddy(end_);
  start_->setAccessibleName(startLabel_->text());
  end_->setAccessibleName(endLabel_->text());
  exact_ = new QCheckBox(QStringLiteral("Exact File Size"));
  exact_->setObjectName(QStringLiteral("exact"));
  exact_->setToolTip(QStringLiteral("Measure each Word, Excel, PowerPoint and Zip document from its own structure"));
  auto* method = new QGridLayout(methodBox);
  method->addWidget(entire_, 0, 0);
  method->addWidget(range_, 0, 1);
  method->addWidget(startLabel_, 1, 0);
  method->addWidget(start_, 1, 1);
  method->addWidget(endLabel_, 2, 0);
  method->addWidget(end_, 2, 1);
  method->addWidget(exact_, 3, 0, 1, 2);

  auto* reportBox = new QGroupBox(QStringLiteral("Report"));
  results_ = OneColumnList(QString(51, QLatin1Char(' ')) + QStringLiteral("Files Recovered"), 440,
                           QStringLiteral("results"));
  results_->headerItem()->setTextAlignment(0, Qt::AlignCenter);
  results_->setAccessibleName(QStringLiteral("Files Recovered"));
  measured_ = new QLabel;
  measured_->setObjectName(QStringLiteral("measured"));
  // The result list is emptied when a scan ends; what it found stays here.
  summary_ = new QLabel;
  summary_->setObjectName(QStringLiteral("summary"));
  auto* report = new QVBoxLayout(reportBox);
  report->addWidget(results_);
  report->addWidget(measured_);
  report->addWidget(summary_);

  button_ = new QPushButton;
  button_->setObjectName(QStringLiteral("start"));
  bar_ = new PercentProgressBar;
  bar_->setObjectName(QStringLiteral("progress"));
  bar_->setAccessibleName(QStringLiteral("Raw recovery progress"));
  bar_->setRange(0, 100);
  status_ = new QLabel;
  status_->setObjectName(QStringLiteral("status"));

  // The four kinds fill their list; the report keeps room for its four
  // rows below its header.
  const auto rowsHeight = [](QTreeWidget* list, int rows) {
    return list->header()->sizeHint().height() + rows * list->sizeHintForRow(0) + 2 * list->frameWidth() + 2;
  };
  kinds_->setFixedHeight(rowsHeight(kinds_, 4));
  static_cast<QVBoxLayout*>(kindBox->layout())->addStretch();
  new QTreeWidgetItem(results_, {QStringLiteral(" ")});
  results_->setMinimumHeight(rowsHeight(results_, 4));
  results_->clear();

  auto* top = new QHBoxLayout;
  top->addWidget(kindBox, 1);
  top->addWidget(methodBox);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(status_, 1);
  bottom->addWidget(button_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(top);
  layout->addWidget(reportBox, 1);
  layout->addWidget(bar_);
  layout->addLayout(bottom);

  connect(kinds_, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item) {
    const int row = kinds_->indexOfTopLevelItem(item);
    if (row >= 0) controller_.form.ticked[static_cast<std::size_t>(row)] = item->checkState(0) == Qt::Checked;
  });
  connect(entire_, &QRadioButton::clicked, this, [this] {
    controller_.ChooseEntireDisk();
    ShowState();
  });
  connect(range_, &QRadioButton::clicked, this, [this] {
    controller_.ChooseSectorRange();
    ShowState();
  });
  connect(start_, &QLineEdit::textEdited, this, [this](const QString& t) { controller_.form.startField = FromQt(t); });
  connect(end_, &QLineEdit::textEdited, this, [this](const QString& t) { controller_.form.endField = FromQt(t); });
  connect(exact_, &QCheckBox::toggled, this, [this](bool on) {
    controller_.exact = on;
    measured_->setVisible(on);
  });
  connect(button_, &QPushButton::clicked, this, &RawFormPanel::Press);
  timer_ = new QTimer(this);
  connect(timer_, &QTimer::timeout, this, &RawFormPanel::Refresh);
  Open();
}

RawFormPanel::~RawFormPanel() {
  // A scan still running when the window goes is stopped and waited for.
  stop_ = true;
  scanStop_ = true;
  if (worker_.joinable()) worker_.join();
}

void RawFormPanel::BuildKinds() {
  for (const auto& kind : kRawKinds) {
    auto* item = new QTreeWidgetItem(kinds_, {Latin(kind.listRow)});
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, Qt::Unchecked);
  }
}

void RawFormPanel::SetDisk(DiskView disk, std::uint64_t diskSectors, unsigned diskNumber) {
  disk_ = std::move(disk);
  controller_.SetDisk(diskSectors, diskNumber);
}

void RawFormPanel::Open() {
  if (controller_.scanning()) return;
  controller_.Open();
  {
    const QSignalBlocker quiet(kinds_);
    for (int i = 0; i < kinds_->topLevelItemCount(); ++i) kinds_->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
  }
  results_->clear();
  bar_->setPosition(0);
  bar_->setText(ToQt(PercentCompletedText(0)));
  bar_->hide();
  measured_->setVisible(exact_->isChecked());
  measured_->clear();
  summary_->clear();
  ShowState();
}

void RawFormPanel::ShowState() {
  const bool idle = controller_.controlsEnabled();
  kinds_->setEnabled(idle);
  entire_->setEnabled(idle);
  range_->setEnabled(idle);
  exact_->setEnabled(idle);
  entire_->setChecked(controller_.form.entireDisk);
  range_->setChecked(!controller_.form.entireDisk);
  for (QWidget* w : {static_cast<QWidget*>(start_), static_cast<QWidget*>(end_), static_cast<QWidget*>(startLabel_),
                     static_cast<QWidget*>(endLabel_)}) {
    w->setEnabled(controller_.fieldsEnabled());
  }
  start_->setText(ToQt(controller_.form.startField));
  end_->setText(ToQt(controller_.form.endField));
  button_->setText(ToQt(controller_.buttonText()));
  button_->setEnabled(controller_.buttonEnabled());
  status_->setText(ToQt(controller_.status()));
}

void RawFormPanel::Press() {
  const bool wasScanning = controller_.scanning();
  const auto request = controller_.Press(askDestination_, prompter_, stop_);
  ShowState();
  if (wasScanning) {
    if (stop_) scanStop_ = true;  // a running scan sees it at its next read
    return;
  }
  if (!request) return;
  if (worker_.joinable()) worker_.join();
  mailbox_.Reset();
  failures_.clear();
  measured_->setText(QStringLiteral("Documents Measured :  0"));
  // What the last scan found is no news while the next one runs.
  summary_->clear();
  stop_ = false;
  scanStop_ = false;
  worker_ = std::thread([this, request = *request] {
    StopRelay relay(mailbox_, stop_, scanStop_);
    RawScanResult result = RawScan(disk_, request, prompter_, relay, scanStop_);
    QMetaObject::invokeMethod(this, [this, result = std::move(result)] { ScanEnded(result); }, Qt::QueuedConnection);
  });
  timer_->start(kRefreshMs);
  emit scanningChanged(true);
}

void RawFormPanel::Refresh() {
  RawScanMailbox::Snapshot s = mailbox_.Take();
  if (s.status) status_->setText(ToQt(*s.status));
  if (s.progressVisible) bar_->setVisible(*s.progressVisible);
  if (s.progress) {
    bar_->setPosition(std::clamp(s.progress->first, 0, 100));
    bar_->setText(ToQt(s.progress->second));
  }
  if (s.results) {
    results_->clear();
    for (const auto& row : *s.results) {
      auto* item = new QTreeWidgetItem(results_, {ToQt(row)});
      item->setTextAlignment(0, Qt::AlignCenter);
    }
  }
  measured_->setText(QStringLiteral("Documents Measured :  %1").arg(s.measured));
  failures_.insert(failures_.end(), s.failures.begin(), s.failures.end());
}

void RawFormPanel::ScanEnded(RawScanResult result) {
  if (worker_.joinable()) worker_.join();
  timer_->stop();
  Refresh();
  result_ = std::move(result);
  controller_.Finished();
  bar_->setPosition(0);
  bar_->setText(ToQt(PercentCompletedText(0)));
  bar_->hide();
  results_->clear();
  QStringList found;
  static constexpr const char* kKindNames[] = {"Word", "Excel", "PowerPoint", "Zip"};
  for (std::size_t k = 0; k < kRawKindCount; ++k) {
    if (controller_.form.ticked[k]) found << QStringLiteral("%1 %2").arg(result_.recovered[k]).arg(kKindNames[k]);
  }
  summary_->setText(QStringLiteral("Last scan%1 :  %2 file(s) recovered")
                        .arg(result_.end == RawScanEnd::Stopped ? QStringLiteral(" (stopped)") : QString())
                        .arg(found.join(QStringLiteral(", "))));
  ShowState();
  emit scanningChanged(false);
  // Documents that could not be written are named once, after the scan.
  if (!failures_.empty()) {
    std::string text = std::to_string(failures_.size()) + " document(s) could not be written:";
    for (const auto& f : failures_) text += "\n" + f.file.string() + ": " + f.error;
    failures_.clear();
    ShowMessageBox(this, text, MessageIcon::Warning);
  }
  emit scanEnded();
}

}  // namespace ov
