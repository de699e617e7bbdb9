#pragma once
// "Calculating File Size": shown while the save worker counts what it is to
// write. "Total Files :" follows the count as it grows. "Stop " asks "Do you
// want to terminate this process?"; Yes ends the counting where it stands
// (the save then writes the whole selection with the totals counted so far),
// No lets it go on. The window closes itself when the count has ended.

#include <QDialog>
#include <atomic>
#include <cstdint>

#include "platform/Prompter.h"

class QLabel;
class QTimer;

namespace ov {

class SizeCalculationDialog : public QDialog {
  Q_OBJECT
public:
  // `files` is the running count; `stop` the count's stop flag.
  SizeCalculationDialog(const std::atomic<std::uint32_t>& files, std::atomic<bool>& stop, Prompter& prompter,
                        QWidget* parent = nullptr);

  // The count has ended: the window closes.
  void CountEnded();
  QString totalText() const;

  void reject() override {}  // only the end of the count closes it

private:
  void Refresh();
  void Stop();

  const std::atomic<std::uint32_t>& files_;
  std::atomic<bool>& stop_;
  Prompter& prompter_;
  QLabel* total_ = nullptr;
  QTimer* timer_ = nullptr;
  bool ended_ = false;
};

}  // namespace ov
