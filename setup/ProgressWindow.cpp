#include "setup/ProgressWindow.h"

#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

#include "setup/Pictures.h"
#include "setup/SetupTexts.h"
#include "widgets/PercentProgressBar.h"

namespace ov::setup {

ProgressWindow::ProgressWindow(SetupController& controller, const SetupController::ProgressTexts& texts,
                               QWidget* parent)
    : QDialog(parent),
      controller_(controller),
      group_(new QGroupBox(QString::fromStdString(texts.group), this)),
      percent_(new QLabel(group_)),
      hidden_(new QLabel(QString::fromStdString(texts.hidden), group_)),
      bar_(new PercentProgressBar(group_)) {
  setWindowTitle(QString::fromUtf8(kCaption.data(), static_cast<int>(kCaption.size())));
  setObjectName(QStringLiteral("progressWindow"));
  auto* banner = new QLabel(this);
  banner->setPixmap(BannerPicture(420));
  group_->setObjectName(QStringLiteral("progressGroup"));
  auto* label = new QLabel(QString::fromStdString(texts.label), group_);
  label->setObjectName(QStringLiteral("progressLabel"));
  label->setWordWrap(true);
  hidden_->setObjectName(QStringLiteral("hiddenLabel"));
  hidden_->hide();
  bar_->setObjectName(QStringLiteral("progressBar"));
  bar_->setRange(0, 100);
  bar_->setShowText(false);  // the percentage has its own label below
  bar_->setMinimumHeight(20);
  percent_->setObjectName(QStringLiteral("percentLabel"));
  percent_->setAlignment(Qt::AlignCenter);

  auto* inner = new QVBoxLayout(group_);
  inner->addWidget(label);
  inner->addWidget(hidden_);
  inner->addWidget(bar_);
  inner->addWidget(percent_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 10);
  layout->addWidget(banner);
  auto* body = new QVBoxLayout;
  body->setContentsMargins(10, 0, 10, 0);
  body->addWidget(group_);
  layout->addLayout(body);
  ShowProgress(0);
}

ProgressWindow::~ProgressWindow() {
  if (worker_.joinable()) worker_.join();
}

void ProgressWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  Start();
}

void ProgressWindow::Start() {
  if (running_.exchange(true) || worker_.joinable()) return;
  worker_ = std::thread([this] {
    const InstallOutcome outcome = controller_.RunInstall(*this);
    QMetaObject::invokeMethod(this, [this, outcome] {
      outcome_ = outcome;
      Finished();
    }, Qt::QueuedConnection);
  });
}

void ProgressWindow::ShowProgress(int percent) {
  bar_->setPosition(percent);
  percent_->setText(QString::asprintf("%d", percent) + QStringLiteral(" %"));
}

void ProgressWindow::Progress(int percent) {
  QMetaObject::invokeMethod(this, [this, percent] { ShowProgress(percent); }, Qt::QueuedConnection);
}

void ProgressWindow::GroupCaption(const std::string& text) {
  QMetaObject::invokeMethod(this, [this, caption = QString::fromStdString(text)] { group_->setTitle(caption); },
                            Qt::QueuedConnection);
}

void ProgressWindow::Finished() {
  if (worker_.joinable()) worker_.join();
  running_ = false;
  accept();
}

void ProgressWindow::reject() {
  // Escape and the close box do nothing while files are being copied.
  if (!running_) QDialog::reject();
}

}  // namespace ov::setup
