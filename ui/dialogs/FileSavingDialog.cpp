#include "ui/dialogs/FileSavingDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/dialogs/MessageBoxes.h"
#include "ui/dialogs/SettingsDialog.h"
#include "widgets/BrowseField.h"

namespace ov {

FileSavingDialog::FileSavingDialog(std::string& destination, SaveSettings& settings, Prompter& prompter,
                                   QWidget* parent)
    : QDialog(parent), destination_(destination), settings_(settings), prompter_(prompter) {
  setWindowTitle(QStringLiteral("File Saving"));
  edit_ = new BrowseField(this);
  // The field starts empty: what the person types is the whole path.
  edit_->setObjectName(QStringLiteral("destination"));
  edit_->setMaxLength(kMaxDestinationLength);
  edit_->setMinimumWidth(320);
  edit_->setBrowseTitle(QStringLiteral("Please specify a folder for Copying..."));
  edit_->browseButton()->setAutoDefault(false);
  connect(edit_, &BrowseField::browsed, this, [this](const QString& folder, bool chosen) {
    if (chosen) destination_ = FromQt(folder);
  });
  auto* ok = new QPushButton(QStringLiteral("&OK"));
  auto* cancel = new QPushButton(QStringLiteral("&Cancel"));
  auto* settingsButton = new QPushButton(QStringLiteral("&Settings"));
  ok->setObjectName(QStringLiteral("ok"));
  cancel->setObjectName(QStringLiteral("cancel"));
  settingsButton->setObjectName(QStringLiteral("settings"));
  ok->setDefault(true);
  cancel->setAutoDefault(false);
  settingsButton->setAutoDefault(false);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(settingsButton, &QPushButton::clicked, this, [this] { SettingsDialog(settings_, prompter_, this).exec(); });

  auto* field = new QHBoxLayout;
  field->addWidget(edit_, 1);
  // The field's "&Browse" button sits at its right, outside the layout.
  field->addSpacing(BrowseButtonWidth(edit_->sizeHint().height(), edit_->buttonExtra()) + 2);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(settingsButton);
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("Enter Path for Saving or Click on Browse Button")));
  layout->addLayout(field);
  layout->addLayout(buttons);
}

void FileSavingDialog::done(int result) {
  destination_ = result == QDialog::Accepted ? FromQt(edit_->text().left(kMaxDestinationLength)) : std::string();
  QDialog::done(result);
}

std::string FileSavingDialog::Ask(std::string& destination, SaveSettings& settings, Prompter& prompter,
                                  QWidget* parent) {
  FileSavingDialog dialog(destination, settings, prompter, parent);
  dialog.exec();
  return destination;
}

}  // namespace ov
