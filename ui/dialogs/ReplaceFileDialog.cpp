#include "ui/dialogs/ReplaceFileDialog.h"

#include <QPushButton>

#include "ui/dialogs/FileQuestion.h"

namespace ov {

ReplaceFileDialog::ReplaceFileDialog(const QString& path, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Replace File Confirmation"));
  QHBoxLayout* buttons = LayOutFileQuestion(
      *this, QStyle::SP_MessageBoxQuestion,
      QStringLiteral("The File Already Exists. Do you want to replace the existing file."), path);
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
}

ReplaceChoice ReplaceFileDialog::Ask(const QString& path, QWidget* parent) {
  ReplaceFileDialog dialog(path, parent);
  dialog.exec();
  return dialog.choice();
}

}  // namespace ov
