#pragma once
// "Saving": the progress of a save run. The worker's reports arrive through
// a mailbox and are painted on a timer. "&Stop" (the default, also Enter)
// ends the run after the current file's last piece, "S&kip" ends the current
// file. There is no close box and Escape does nothing: the window closes
// when the worker has finished.

#include <QDialog>
#include <array>

#include "ui/dialogs/ProgressMailbox.h"

class QLabel;
class QTimer;

namespace ov {

class PercentProgressBar;

class SavingDialog : public QDialog {
  Q_OBJECT
public:
  SavingDialog(SaveProgress& progress, SaveMailbox& mailbox, QWidget* parent = nullptr);

  // Paints what the worker reported since the last time.
  void Refresh();
  // The run is over: paints the last reports and closes.
  void Finish();

  QString fieldText(SaveField field) const;
  QString progressText() const;
  int progressValue() const;

  void reject() override {}

signals:
  // Emitted once, when the window is first shown: the run may start.
  void shown();

protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

private:
  SaveProgress& progress_;
  SaveMailbox& mailbox_;
  std::array<QLabel*, kSaveFieldCount> fields_{};
  PercentProgressBar* bar_ = nullptr;
  QTimer* timer_ = nullptr;
  bool started_ = false;
  bool finished_ = false;
};

}  // namespace ov
