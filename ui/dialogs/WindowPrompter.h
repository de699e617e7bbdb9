#pragma once
// The window's answer to the core's questions. Every question is shown on
// the window's thread: asked from there, it is shown at once; asked from a
// worker, the worker waits while the window shows it (a blocking queued
// call), so no worker ever touches a widget.
//
// Dialogs are owned by the window that is modal at the time (the "Saving"
// window during a save), else by the main window.

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>

#include "platform/Prompter.h"

namespace ov {

class WindowPrompter : public QObject, public Prompter {
  Q_OBJECT
public:
  explicit WindowPrompter(QWidget* window = nullptr);

  BadSectorChoice AskBadSector() override;
  ReplaceChoice AskReplaceFile(const std::string& path) override;
  WriteErrorChoice AskWriteError(const std::string& path) override;
  bool AskYesNo(const std::string& text, const std::string& caption) override;
  void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) override;

  // The window's "Bad Sector Encountered" dialog; until it is set the
  // question is asked in a plain box with the dialog's four answers.
  std::function<BadSectorChoice(QWidget* owner)> badSectorDialog;

  // The owner of the next dialog.
  QWidget* Owner() const;
  // The main window, once it is up (the prompter exists before it).
  void SetWindow(QWidget* window) { window_ = window; }

private:
  // Runs `ask` on the window's thread and answers its result.
  template <typename Ask>
  auto OnWindowThread(Ask ask) -> decltype(ask());

  QPointer<QWidget> window_;
};

}  // namespace ov
