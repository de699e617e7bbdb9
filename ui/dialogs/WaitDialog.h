#pragma once
// The modeless "Getting Directory Information. Please  Wait...." window
// shown while a recovery information file is read.

#include <QDialog>

namespace ov {

class WaitDialog : public QDialog {
  Q_OBJECT
public:
  explicit WaitDialog(QWidget* parent = nullptr);
  // Shows the window and lets it paint before the caller blocks the thread.
  void ShowNow();
};

}  // namespace ov
