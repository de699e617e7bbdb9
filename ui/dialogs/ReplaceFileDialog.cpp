#include "ui/dialogs/ReplaceFileDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace ov {

ReplaceFileDialog::ReplaceFileDialog(const QString& path, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Replace File Confirmation"));
  setWindowModality(Qt::ApplicationModal);
  auto* text = new QLabel(QStringLiteral("The File Already Exists. Do you want to replace the existing file."));
  auto* file = new QLabel(path);
  file->setObjectName(QStringLiteral("path"));
  file->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* icon = new QLabel;
  icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
  auto* texts = new QVBoxLayout;
  texts->addWidget(text);
  texts->addWidget(file);
  auto* top = new QHBoxLayout;
  top->addWidget(icon, 0, Qt::AlignTop);
  top->addLayout(texts, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  const struct {
    const char* text;
    ReplaceChoice choice;
  } kButtons[] = {{"&Yes", ReplaceChoice::Yes},
                  {"&No", ReplaceChoice::No},
                  {"Yes to &All", ReplaceChoice::YesToAll},
                  {"No &to All", ReplaceChoice::NoToAll}};
  for (const auto& b : kButtons) {
    auto* button = new QPushButton(QString::fromLatin1(b.text));
    button->setAutoDefault(false);
    if (b.choice == ReplaceChoice::Yes) button->setDefault(true);
    connect(button, &QPushButton::clicked, this, [this, choice = b.choice] {
      choice_ = choice;
      accept();
    });
    buttons->addWidget(button);
  }
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(buttons);
}

ReplaceChoice ReplaceFileDialog::Ask(const QString& path, QWidget* parent) {
  ReplaceFileDialog dialog(path, parent);
  dialog.exec();
  return dialog.choice();
}

}  // namespace ov
