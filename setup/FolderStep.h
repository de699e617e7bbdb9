#pragma once
// The folder step: the sunken display of the installation folder, the browse
// button (its edit field hidden), "&Next", and a hidden "Cancel" reached by
// Escape or the close box. The rules live in the SetupController; the step
// shows what it decides.

#include <QDialog>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace ov::setup {

class SetupController;

class FolderStep : public QDialog {
  Q_OBJECT
public:
  enum Result { Quit = 2 };
  // The folder picker: starts at `folder`, sets it and answers true when a
  // folder was chosen.
  using Picker = std::function<bool(QWidget* owner, QString& folder, const QString& title)>;

  FolderStep(SetupController& controller, QWidget* parent = nullptr);
  void SetPicker(Picker picker) { picker_ = std::move(picker); }

  QLabel* Display() const { return display_; }
  QLineEdit* Field() const { return field_; }
  QPushButton* BrowseButton() const { return browse_; }
  QPushButton* NextButton() const { return next_; }

  // Runs the browse button's work: the picker, then the folder rules.
  void Browse();
  void reject() override;

private:
  void Next();
  void ShowFolder();

  SetupController& controller_;
  Picker picker_;
  QLabel* display_;
  QLineEdit* field_;
  QPushButton* browse_;
  QPushButton* next_;
};

}  // namespace ov::setup
