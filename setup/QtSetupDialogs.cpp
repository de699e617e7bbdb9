#include "setup/QtSetupDialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

namespace ov::setup {

namespace {

QMessageBox::StandardButton Box(QMessageBox::Icon icon, const std::string& text, const std::string& caption,
                                QMessageBox::StandardButtons buttons) {
  QMessageBox box(icon, QString::fromStdString(caption), QString::fromStdString(text), buttons,
                  QApplication::activeWindow());
  box.setWindowModality(Qt::ApplicationModal);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

template <typename F>
void QtSetupDialogs::OnOwnThread(F&& work) {
  if (QThread::currentThread() == thread())
    work();
  else
    QMetaObject::invokeMethod(this, std::forward<F>(work), Qt::BlockingQueuedConnection);
}

bool QtSetupDialogs::AskYesNo(const std::string& text, const std::string& caption) {
  bool yes = false;
  OnOwnThread([&] {
    yes = Box(QMessageBox::Question, text, caption, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
  });
  return yes;
}

void QtSetupDialogs::ShowError(const std::string& text, const std::string& caption) {
  OnOwnThread([&] { Box(QMessageBox::Critical, text, caption, QMessageBox::Ok); });
}

void QtSetupDialogs::ShowInformation(const std::string& text, const std::string& caption) {
  OnOwnThread([&] { Box(QMessageBox::Information, text, caption, QMessageBox::Ok); });
}

}  // namespace ov::setup
