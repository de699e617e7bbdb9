#include "ui/dialogs/WriteErrorDialog.h"

#include <QPushButton>

#include "save/Extraction.h"
#include "ui/dialogs/FileQuestion.h"

namespace ov {

WriteErrorDialog::WriteErrorDialog(const QString& path, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Error Writing Destination"));
  QHBoxLayout* buttons = LayOutFileQuestion(
      *this, QStyle::SP_MessageBoxCritical,
      QString::fromLatin1(kWriteErrorText.data(), static_cast<qsizetype>(kWriteErrorText.size())), path);
  auto* abort = new QPushButton(QStringLiteral("&Abort"));
  auto* skip = new QPushButton(QStringLiteral("&Skip"));
  skip->setAutoDefault(false);
  abort->setDefault(true);
  connect(abort, &QPushButton::clicked, this, [this] {
    choice_ = WriteErrorChoice::Abort;
    accept();
  });
  connect(skip, &QPushButton::clicked, this, [this] {
    choice_ = WriteErrorChoice::Skip;
    accept();
  });
  buttons->addWidget(abort);
  buttons->addWidget(skip);
}

WriteErrorChoice WriteErrorDialog::Ask(const QString& path, QWidget* parent) {
  WriteErrorDialog dialog(path, parent);
  dialog.exec();
  return dialog.choice();
}

}  // namespace ov
