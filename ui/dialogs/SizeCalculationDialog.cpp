#include "ui/dialogs/SizeCalculationDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "save/SaveRun.h"

namespace ov {

namespace {
constexpr int kRefreshMs = 100;
}

SizeCalculationDialog::SizeCalculationDialog(const std::atomic<std::uint32_t>& files, std::atomic<bool>& stop,
                                             Prompter& prompter, QWidget* parent)
    : QDialog(parent), files_(files), stop_(stop), prompter_(prompter) {
  setWindowTitle(QStringLiteral("Calculating File Size"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  total_ = new QLabel;
  total_->setObjectName(QStringLiteral("total"));
  auto* stopButton = new QPushButton(QStringLiteral("Stop "));
  stopButton->setObjectName(QStringLiteral("stop"));
  connect(stopButton, &QPushButton::clicked, this, &SizeCalculationDialog::Stop);
  auto* count = new QHBoxLayout;
  count->addWidget(new QLabel(QStringLiteral("Total Files :")));
  count->addWidget(total_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("Calculating File Size. Please Wait...")));
  layout->addLayout(count);
  layout->addWidget(stopButton, 0, Qt::AlignHCenter);
  timer_ = new QTimer(this);
  connect(timer_, &QTimer::timeout, this, &SizeCalculationDialog::Refresh);
  timer_->start(kRefreshMs);
  Refresh();
}

QString SizeCalculationDialog::totalText() const { return total_->text(); }

void SizeCalculationDialog::Refresh() { total_->setText(QString::number(files_.load())); }

void SizeCalculationDialog::Stop() {
  if (ended_) {
    accept();
    return;
  }
  if (prompter_.AskYesNo(std::string(kMsgTerminateCount), std::string(kProductTitle))) stop_ = true;
}

void SizeCalculationDialog::CountEnded() {
  ended_ = true;
  timer_->stop();
  Refresh();
  accept();
}

}  // namespace ov
