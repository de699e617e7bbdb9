#pragma once
// The progress window: banner, group box, the label texts from the message
// library, the bar and the percentage label. Opening it starts the install
// thread, which runs the controller's copy run; the thread's reports come
// back to this window's thread as queued calls, and its questions are
// answered here while it waits (see QtSetupDialogs). The window closes
// itself when the run is over; closing it before that is refused, so no run
// is left half-done.

#include <QDialog>
#include <atomic>
#include <thread>

#include "setup/SetupController.h"

class QGroupBox;
class QLabel;

namespace ov {
class PercentProgressBar;
}

namespace ov::setup {

class ProgressWindow : public QDialog, private InstallListener {
  Q_OBJECT
public:
  ProgressWindow(SetupController& controller, const SetupController::ProgressTexts& texts,
                 QWidget* parent = nullptr);
  ~ProgressWindow() override;

  // Starts the install thread (once).
  void Start();
  InstallOutcome Outcome() const { return outcome_; }

  QGroupBox* Group() const { return group_; }
  QLabel* PercentLabel() const { return percent_; }
  QLabel* HiddenLabel() const { return hidden_; }
  PercentProgressBar* Bar() const { return bar_; }

  // Shows a position as the install thread does; on this window's thread.
  void ShowProgress(int percent);

  void reject() override;

protected:
  void showEvent(QShowEvent* event) override;

private:
  void Progress(int percent) override;
  void GroupCaption(const std::string& text) override;
  void Finished();

  SetupController& controller_;
  QGroupBox* group_;
  QLabel* percent_;
  QLabel* hidden_;
  PercentProgressBar* bar_;
  std::thread worker_;
  std::atomic<bool> running_{false};
  InstallOutcome outcome_ = InstallOutcome::Ended;
};

}  // namespace ov::setup
