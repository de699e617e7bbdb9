#pragma once
// The language step: the language list with "&Next" and "&Exit". "&Exit"
// closes it with the code Exit, after which setup ends.

#include <QDialog>

class QComboBox;

namespace ov::setup {

class LanguageStep : public QDialog {
  Q_OBJECT
public:
  enum Result { Exit = 2 };
  explicit LanguageStep(QWidget* parent = nullptr);
  // The text of the selected entry.
  QString Language() const;
  QComboBox* List() const { return list_; }

private:
  QComboBox* list_;
};

}  // namespace ov::setup
