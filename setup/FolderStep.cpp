#include "setup/FolderStep.h"

#include <QFileDialog>
#include <algorithm>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "setup/SetupController.h"
#include "setup/SetupTexts.h"
#include "widgets/BrowseField.h"

namespace ov::setup {

namespace {

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<int>(text.size())); }

bool PickFolder(QWidget* owner, QString& folder, const QString& title) {
  return ov::FolderPicker(owner, folder, false, title);
}

}  // namespace

std::filesystem::path PickerStart(const std::string& installFolder) {
  // The folder below which the product's folder is made, or the nearest
  // folder above it that exists.
  std::filesystem::path start = std::filesystem::path(installFolder).parent_path();
  std::error_code ec;
  while (!start.empty() && !std::filesystem::is_directory(start, ec) && start != start.parent_path())
    start = start.parent_path();
  return start;
}

FolderStep::FolderStep(SetupController& controller, QWidget* parent)
    : QDialog(parent),
      controller_(controller),
      picker_(PickFolder),
      display_(new QLabel(this)),
      field_(new BrowseField(this, kSetupBrowseExtra)),
      next_(new QPushButton(Q(kNext), this)) {
  setWindowTitle(Q(kCaption));
  setObjectName(QStringLiteral("folderStep"));
  display_->setObjectName(QStringLiteral("folderDisplay"));
  display_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  display_->setMinimumWidth(380);
  display_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  field_->setObjectName(QStringLiteral("browseField"));
  field_->setBrowseTitle(Q(kBrowseTitle));
  field_->setPicker([this](QWidget* owner, QString& folder, bool, const QString& title) {
    // The field is hidden and empty: the picker opens where the folder shown
    // lies, not in the folder setup was started from.
    if (folder.isEmpty()) folder = QString::fromStdString(PickerStart(controller_.InstallFolder()).string());
    return picker_ && picker_(owner, folder, title);
  });
  field_->hide();
  // The field lies over the display, so its button stands at the display's right.
  const int buttonWidth = BrowseButtonWidth(display_->sizeHint().height(), kSetupBrowseExtra);
  next_->setObjectName(QStringLiteral("next"));
  next_->setDefault(true);
  auto* cancel = new QPushButton(Q(kCancel), this);
  cancel->hide();
  connect(cancel, &QPushButton::clicked, this, &FolderStep::reject);
  connect(field_, &BrowseField::browsed, this, [this](const QString& text, bool) {
    controller_.ApplyBrowsedFolder(text.toStdString());
    ShowFolder();
  });
  connect(next_, &QPushButton::clicked, this, &FolderStep::Next);

  auto* row = new QHBoxLayout;
  row->setSpacing(0);
  row->addWidget(display_, 1);
  row->addSpacing(buttonWidth + 2);
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

QPushButton* FolderStep::BrowseButton() const { return field_->browseButton(); }

void FolderStep::Browse() { field_->browse(); }

void FolderStep::PlaceField() {
  field_->setGeometry(display_->geometry());
  field_->updateButtonGeometry();
}

void FolderStep::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  PlaceField();
}

void FolderStep::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  PlaceField();
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
