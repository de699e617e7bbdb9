#pragma once
// "Error Writing Destination": a file could not be written. "&Abort" ends
// the save run, "&Skip" (and closing the window) goes on with the next file.

#include <QDialog>

#include "platform/Prompter.h"

namespace ov {

class WriteErrorDialog : public QDialog {
  Q_OBJECT
public:
  explicit WriteErrorDialog(const QString& path, QWidget* parent = nullptr);
  WriteErrorChoice choice() const { return choice_; }
  static WriteErrorChoice Ask(const QString& path, QWidget* parent);

private:
  WriteErrorChoice choice_ = WriteErrorChoice::Skip;
};

}  // namespace ov
