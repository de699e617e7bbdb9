#include "ui/dialogs/WriteErrorDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "save/Extraction.h"

namespace ov {

WriteErrorDialog::WriteErrorDialog(const QString& path, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Error Writing Destination"));
  setWindowModality(Qt::ApplicationModal);
  auto* text = new QLabel(QString::fromLatin1(kWriteErrorText.data(), static_cast<qsizetype>(kWriteErrorText.size())));
  auto* file = new QLabel(path);
  file->setObjectName(QStringLiteral("path"));
  file->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* icon = new QLabel;
  icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32));
  auto* texts = new QVBoxLayout;
  texts->addWidget(text);
  texts->addWidget(file);
  auto* top = new QHBoxLayout;
  top->addWidget(icon, 0, Qt::AlignTop);
  top->addLayout(texts, 1);
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
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(abort);
  buttons->addWidget(skip);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(buttons);
}

WriteErrorChoice WriteErrorDialog::Ask(const QString& path, QWidget* parent) {
  WriteErrorDialog dialog(path, parent);
  dialog.exec();
  return dialog.choice();
}

}  // namespace ov
