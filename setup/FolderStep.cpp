#include "setup/FolderStep.h"

#include <QFileDialog>
#include <algorithm>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "setup/SetupController.h"
#include "setup/SetupTexts.h"

namespace ov::setup {

namespace {

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<int>(text.size())); }

bool PickFolder(QWidget* owner, QString& folder, const QString& title) {
  const QString chosen = QFileDialog::getExistingDirectory(owner, title, folder, QFileDialog::ShowDirsOnly);
  if (chosen.isEmpty()) return false;
  folder = chosen;
  return true;
}

}  // namespace

FolderStep::FolderStep(SetupController& controller, QWidget* parent)
    : QDialog(parent),
      controller_(controller),
      picker_(PickFolder),
      display_(new QLabel(this)),
      field_(new QLineEdit(this)),
      browse_(new QPushButton(QStringLiteral("&Browse"), this)),
      next_(new QPushButton(Q(kNext), this)) {
  setWindowTitle(Q(kCaption));
  setObjectName(QStringLiteral("folderStep"));
  display_->setObjectName(QStringLiteral("folderDisplay"));
  display_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  display_->setMinimumWidth(380);
  display_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  field_->setObjectName(QStringLiteral("browseField"));
  field_->hide();
  browse_->setObjectName(QStringLiteral("browse"));
  // The installer's browse button: (edit height x 8) / 10 + 35 wide.
  const int editHeight = display_->sizeHint().height();
  browse_->setFixedWidth(std::max((editHeight * 8) / 10 + 35, browse_->sizeHint().width()));
  next_->setObjectName(QStringLiteral("next"));
  next_->setDefault(true);
  auto* cancel = new QPushButton(Q(kCancel), this);
  cancel->hide();
  connect(cancel, &QPushButton::clicked, this, &FolderStep::reject);
  connect(browse_, &QPushButton::clicked, this, &FolderStep::Browse);
  connect(next_, &QPushButton::clicked, this, &FolderStep::Next);

  auto* row = new QHBoxLayout;
  row->setSpacing(1);
  row->addWidget(display_, 1);
  row->addWidget(browse_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(next_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(Q(kEnterPath), this));
  layout->addLayout(row);
  layout->addSpacing(12);
  layout->addLayout(buttons);
  ShowFolder();
}

void FolderStep::ShowFolder() { display_->setText(QString::fromStdString(controller_.InstallFolder())); }

void FolderStep::Browse() {
  QString folder = field_->text();
  if (picker_ && picker_(this, folder, Q(kBrowseTitle))) field_->setText(folder);
  controller_.ApplyBrowsedFolder(field_->text().toStdString());
  ShowFolder();
}

void FolderStep::Next() {
  const bool accepted = controller_.AcceptFolder();
  ShowFolder();  // a folder that could not be made gives way to the default
  if (accepted) accept();
}

void FolderStep::reject() {
  if (controller_.ConfirmQuit()) done(Quit);
}

}  // namespace ov::setup
