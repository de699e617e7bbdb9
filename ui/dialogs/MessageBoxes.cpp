#include "ui/dialogs/MessageBoxes.h"

#include <QMessageBox>

namespace ov {

namespace {

QMessageBox::Icon QtIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Error: return QMessageBox::Critical;
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Question: return QMessageBox::Question;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::None: break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

QString ToQt(const std::string& utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }

std::string FromQt(const QString& text) { return text.toUtf8().toStdString(); }

void ShowMessageBox(QWidget* parent, const std::string& text, MessageIcon icon, const std::string& caption) {
  QMessageBox box(QtIcon(icon), ToQt(caption), ToQt(text), QMessageBox::Ok, parent);
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
}

bool AskYesNoBox(QWidget* parent, const std::string& text, const std::string& caption) {
  QMessageBox box(QMessageBox::Question, ToQt(caption), ToQt(text), QMessageBox::Yes | QMessageBox::No, parent);
  box.setWindowModality(Qt::ApplicationModal);
  box.setDefaultButton(QMessageBox::Yes);
  return box.exec() == QMessageBox::Yes;
}

}  // namespace ov
