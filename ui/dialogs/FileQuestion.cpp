#include "ui/dialogs/FileQuestion.h"

#include <QLabel>
#include <QVBoxLayout>

namespace ov {

QHBoxLayout* LayOutFileQuestion(QDialog& dialog, QStyle::StandardPixmap icon, const QString& question,
                                const QString& path) {
  dialog.setWindowModality(Qt::ApplicationModal);
  auto* text = new QLabel(question);
  auto* file = new QLabel(path);
  file->setObjectName(QStringLiteral("path"));
  file->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* picture = new QLabel;
  picture->setPixmap(dialog.style()->standardIcon(icon).pixmap(32, 32));
  auto* texts = new QVBoxLayout;
  texts->addWidget(text);
  texts->addWidget(file);
  auto* top = new QHBoxLayout;
  top->addWidget(picture, 0, Qt::AlignTop);
  top->addLayout(texts, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  auto* layout = new QVBoxLayout(&dialog);
  layout->addLayout(top);
  layout->addLayout(buttons);
  return buttons;
}

}  // namespace ov
