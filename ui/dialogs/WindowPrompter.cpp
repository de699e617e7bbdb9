#include "ui/dialogs/WindowPrompter.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <vector>

#include "ui/dialogs/MessageBoxes.h"
#include "ui/dialogs/ReplaceFileDialog.h"
#include "ui/dialogs/WriteErrorDialog.h"

namespace ov {

namespace {

BadSectorChoice PlainBadSectorBox(QWidget* owner) {
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Bad Sector Encountered"),
                  QStringLiteral("Bad Sector Encountered"), QMessageBox::NoButton, owner);
  box.setWindowModality(Qt::ApplicationModal);
  const struct {
    const char* text;
    BadSectorChoice choice;
  } kAnswers[] = {{"&Retry", BadSectorChoice::Retry},
                  {"&Skip", BadSectorChoice::Skip},
                  {"Retry &All", BadSectorChoice::RetryAll},
                  {"S&kip All", BadSectorChoice::SkipAll}};
  std::vector<std::pair<QAbstractButton*, BadSectorChoice>> buttons;
  for (const auto& a : kAnswers) buttons.emplace_back(box.addButton(QString::fromLatin1(a.text), QMessageBox::ActionRole), a.choice);
  box.setDefaultButton(static_cast<QPushButton*>(buttons.front().first));
  box.exec();
  for (const auto& [button, choice] : buttons) {
    if (box.clickedButton() == button) return choice;
  }
  return BadSectorChoice::Skip;
}

}  // namespace

WindowPrompter::WindowPrompter(QWidget* window) : window_(window) {}

QWidget* WindowPrompter::Owner() const {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return window_;
}

template <typename Ask>
auto WindowPrompter::OnWindowThread(Ask ask) -> decltype(ask()) {
  if (QThread::currentThread() == thread()) return ask();
  decltype(ask()) answer{};
  QMetaObject::invokeMethod(this, [&] { answer = ask(); }, Qt::BlockingQueuedConnection);
  return answer;
}

BadSectorChoice WindowPrompter::AskBadSector() {
  return OnWindowThread([this] { return badSectorDialog ? badSectorDialog(Owner()) : PlainBadSectorBox(Owner()); });
}

ReplaceChoice WindowPrompter::AskReplaceFile(const std::string& path) {
  return OnWindowThread([&] { return ReplaceFileDialog::Ask(ToQt(path), Owner()); });
}

WriteErrorChoice WindowPrompter::AskWriteError(const std::string& path) {
  return OnWindowThread([&] { return WriteErrorDialog::Ask(ToQt(path), Owner()); });
}

bool WindowPrompter::AskYesNo(const std::string& text, const std::string& caption) {
  return OnWindowThread([&] { return AskYesNoBox(Owner(), text, caption); });
}

void WindowPrompter::ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) {
  OnWindowThread([&] {
    ShowMessageBox(Owner(), text, icon, caption);
    return true;
  });
}

}  // namespace ov
