#pragma once
// The raw form of the main window (view 8): the kinds to recover, the
// range, the report list, the start/stop button, the progress bar and the
// status text, bound to a RawFormController.
//
// The scan runs on a worker thread that only calls the core's RawScan. Its
// reports reach the form through a mailbox painted on a timer; its
// questions (the range messages, bad sectors) go through the prompter,
// answered on the window's thread. Stop, once confirmed, raises the core's
// stop flag; the form comes back when the worker has ended and is joined.

#include <QWidget>
#include <atomic>
#include <filesystem>
#include <functional>
#include <thread>

#include "disk/DiskView.h"
#include "ui/dialogs/ProgressMailbox.h"
#include "ui/dialogs/RawFormController.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;
class QTreeWidget;

namespace ov {

class PercentProgressBar;

class RawFormPanel : public QWidget {
  Q_OBJECT
public:
  // `askDestination` shows the "File Saving" window and answers the folder
  // (empty when cancelled).
  RawFormPanel(Prompter& prompter, std::function<std::filesystem::path()> askDestination, QWidget* parent = nullptr);
  ~RawFormPanel() override;

  // The disk the next scan reads.
  void SetDisk(DiskView disk, std::uint64_t diskSectors, unsigned diskNumber);
  // Showing the form (view 8): nothing ticked, "Entire Disk", empty report.
  void Open();
  // The button ("Start &Recovery" / "&Stop Searching").
  void Press();

  RawFormController& controller() { return controller_; }
  bool scanning() const { return controller_.scanning(); }
  const RawScanResult& lastResult() const { return result_; }
  // Paints what the worker reported since the last time.
  void Refresh();

signals:
  // A scan started or ended: the window disables or enables its own
  // competing commands ("&Back", the menus).
  void scanningChanged(bool scanning);
  // A scan ended; its result is lastResult().
  void scanEnded();

private:
  void BuildKinds();
  void ShowState();
  void ScanEnded(RawScanResult result);

  Prompter& prompter_;
  std::function<std::filesystem::path()> askDestination_;
  RawFormController controller_;
  DiskView disk_;
  RawScanMailbox mailbox_;
  std::atomic<bool> stop_{false};      // Stop confirmed
  std::atomic<bool> scanStop_{false};  // the running scan's own flag
  std::thread worker_;
  RawScanResult result_;
  std::vector<RawDocument> failures_;

  QTreeWidget* kinds_ = nullptr;
  QRadioButton* entire_ = nullptr;
  QRadioButton* range_ = nullptr;
  QLabel* startLabel_ = nullptr;
  QLabel* endLabel_ = nullptr;
  QLineEdit* start_ = nullptr;
  QLineEdit* end_ = nullptr;
  QCheckBox* exact_ = nullptr;
  QLabel* measured_ = nullptr;
  QLabel* summary_ = nullptr;
  QTreeWidget* results_ = nullptr;
  QPushButton* button_ = nullptr;
  PercentProgressBar* bar_ = nullptr;
  QLabel* status_ = nullptr;
  QTimer* timer_ = nullptr;
};

}  // namespace ov
