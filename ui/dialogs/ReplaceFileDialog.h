#pragma once
// "Replace File Confirmation": asked when a file to be saved already exists.
// Closing the window counts as "&No".

#include <QDialog>

#include "platform/Prompter.h"

namespace ov {

class ReplaceFileDialog : public QDialog {
  Q_OBJECT
public:
  explicit ReplaceFileDialog(const QString& path, QWidget* parent = nullptr);
  ReplaceChoice choice() const { return choice_; }
  // Shows the dialog modally and answers the button pressed.
  static ReplaceChoice Ask(const QString& path, QWidget* parent);

private:
  ReplaceChoice choice_ = ReplaceChoice::No;
};

}  // namespace ov
