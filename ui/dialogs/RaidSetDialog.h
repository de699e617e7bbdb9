#pragma once
// "Open RAID Set": the user names the members of a RAID set (files or
// disks, in any order, "missing" for an absent one), the detection runs on
// a worker with a progress bar and Stop, and what it found is shown for the
// user to accept or change. OK writes the set file, which then opens as the
// next disk.

#include <QDialog>
#include <QStringList>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "disk/RaidDetect.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTimer;

namespace ov {

class RaidSetDialog : public QDialog {
  Q_OBJECT
public:
  explicit RaidSetDialog(QWidget* parent = nullptr);
  ~RaidSetDialog() override;

  // Runs the dialog; the set file written, or empty when cancelled.
  static QString Ask(QWidget* parent);

  // The members listed, in their current order ("missing" for an absent one).
  void SetMembers(const QStringList& members);
  QStringList Members() const;
  QString SetFile() const;
  bool detecting() const { return worker_.joinable() && !done_.load(); }

  QPushButton* detectButton() const { return detect_; }
  QPushButton* stopButton() const { return stop_; }
  QPushButton* okButton() const { return ok_; }
  QComboBox* levelBox() const { return level_; }
  QComboBox* chunkBox() const { return chunk_; }
  QComboBox* layoutBox() const { return layout_; }
  QSpinBox* offsetBox() const { return offset_; }
  QLineEdit* setFileEdit() const { return setFile_; }
  QLabel* statusLabel() const { return status_; }

private:
  void AddFiles();
  void StartDetection();
  void Poll();
  void Finish();
  void Accept();
  void UpdateButtons();
  void JoinWorker();

  QListWidget* list_;
  QPushButton* add_;
  QPushButton* addMissing_;
  QPushButton* remove_;
  QPushButton* detect_;
  QPushButton* stop_;
  QPushButton* ok_;
  QProgressBar* progress_;
  QComboBox* level_;
  QComboBox* chunk_;
  QComboBox* layout_;
  QSpinBox* offset_;
  QLineEdit* setFile_;
  QLabel* status_;
  QTimer* poll_;

  std::thread worker_;
  std::atomic<bool> stopFlag_{false};
  std::atomic<bool> done_{false};
  std::atomic<int> percent_{0};
  std::mutex mutex_;
  RaidDetectResult result_;
  QStringList detected_;  // the members as given to the detection
};

}  // namespace ov
