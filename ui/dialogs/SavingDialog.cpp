#include "ui/dialogs/SavingDialog.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/dialogs/MessageBoxes.h"
#include "widgets/PercentProgressBar.h"

namespace ov {

namespace {

constexpr int kRefreshMs = 100;

QLabel* Field(std::array<QLabel*, kSaveFieldCount>& fields, SaveField field, const char* name) {
  auto* label = new QLabel;
  // The path changes while the window stands: it does not widen it.
  if (field == SaveField::FilePath) label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  label->setObjectName(QLatin1String(name));
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  fields[static_cast<std::size_t>(field)] = label;
  return label;
}

}  // namespace

SavingDialog::SavingDialog(SaveProgress& progress, SaveMailbox& mailbox, QWidget* parent)
    : QDialog(parent), progress_(progress), mailbox_(mailbox) {
  setWindowTitle(QStringLiteral("Saving"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setMinimumWidth(460);
  auto* grid = new QGridLayout;
  const struct {
    const char* label;
    SaveField field;
    const char* name;
  } kRows[] = {{"File Name :", SaveField::FileName, "fileName"},
               {"File Path :", SaveField::FilePath, "filePath"},
               {"Total Files Recovered :", SaveField::TotalFiles, "totalFiles"},
               {"Recovered Current File :", SaveField::CurrentFile, "currentFile"}};
  int row = 0;
  for (const auto& r : kRows) {
    grid->addWidget(new QLabel(QLatin1String(r.label)), row, 0);
    grid->addWidget(Field(fields_, r.field, r.name), row++, 1, 1, 3);
  }
  grid->addWidget(new QLabel(QStringLiteral("Total Data Recovered :")), row, 0);
  grid->addWidget(Field(fields_, SaveField::DataWritten, "dataWritten"), row, 1);
  grid->addWidget(new QLabel(QStringLiteral("/")), row, 2);
  grid->addWidget(Field(fields_, SaveField::DataPlanned, "dataPlanned"), row++, 3);
  grid->addWidget(new QLabel(QStringLiteral("Time Remaining :")), row, 0);
  grid->addWidget(Field(fields_, SaveField::TimeRemaining, "timeRemaining"), row++, 1, 1, 3);
  grid->addWidget(new QLabel(QStringLiteral("Time Elapsed :")), row, 0);
  grid->addWidget(Field(fields_, SaveField::TimeElapsed, "timeElapsed"), row++, 1, 1, 3);
  grid->setColumnStretch(3, 1);
  // The progress text is its own field; the bar does not print a number.
  fields_[static_cast<std::size_t>(SaveField::ProgressText)] = nullptr;

  bar_ = new PercentProgressBar;
  bar_->setObjectName(QStringLiteral("progress"));
  bar_->setRange(0, 100);
  bar_->setPosition(0);
  bar_->setText(QStringLiteral("0% Completed"));

  auto* stop = new QPushButton(QStringLiteral("&Stop"));
  auto* skip = new QPushButton(QStringLiteral("S&kip"));
  stop->setObjectName(QStringLiteral("stop"));
  skip->setObjectName(QStringLiteral("skip"));
  stop->setDefault(true);
  skip->setAutoDefault(false);
  connect(stop, &QPushButton::clicked, this, [this] { progress_.abortRun = true; });
  connect(skip, &QPushButton::clicked, this, [this] { progress_.skipFile = true; });
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(stop);
  buttons->addWidget(skip);
  buttons->addStretch();

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(bar_);
  layout->addLayout(buttons);

  timer_ = new QTimer(this);
  connect(timer_, &QTimer::timeout, this, &SavingDialog::Refresh);
}

void SavingDialog::Refresh() {
  const SaveMailbox::Changes changes = mailbox_.Take();
  if (changes.percent) bar_->setPosition(std::clamp(*changes.percent, 0, 100));
  for (std::size_t i = 0; i < kSaveFieldCount; ++i) {
    if (!changes.texts[i]) continue;
    if (static_cast<SaveField>(i) == SaveField::ProgressText) {
      bar_->setText(ToQt(*changes.texts[i]));
    } else if (static_cast<SaveField>(i) == SaveField::FilePath && fields_[i]) {
      // A long path would run past the window's edge: its middle gives way,
      // and the whole path is the field's tip.
      QLabel* path = fields_[i];
      const QString full = ToQt(*changes.texts[i]);
      path->setToolTip(full);
      path->setText(path->fontMetrics().elidedText(full, Qt::ElideMiddle, std::max(path->width(), 40)));
    } else if (fields_[i]) {
      fields_[i]->setText(ToQt(*changes.texts[i]));
    }
  }
}

void SavingDialog::Finish() {
  finished_ = true;
  timer_->stop();
  Refresh();
  accept();
}

QString SavingDialog::fieldText(SaveField field) const {
  if (field == SaveField::ProgressText) return bar_->text();
  const QLabel* label = fields_[static_cast<std::size_t>(field)];
  if (label && field == SaveField::FilePath) return label->toolTip();
  return label ? label->text() : QString();
}

QString SavingDialog::progressText() const { return bar_->text(); }

int SavingDialog::progressValue() const { return bar_->position(); }

void SavingDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (started_) return;
  started_ = true;
  timer_->start(kRefreshMs);
  emit shown();
}

void SavingDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void SavingDialog::closeEvent(QCloseEvent* event) {
  if (!finished_) event->ignore();
}

}  // namespace ov
