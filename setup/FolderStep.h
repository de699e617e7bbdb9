#pragma once
// The folder step: the sunken display of the installation folder, the browse
// field's button at its right (the field itself hidden, lying over the
// display), "&Next", and a hidden "Cancel" reached by
// Escape or the close box. The rules live in the SetupController; the step
// shows what it decides.

#include <QDialog>
#include <filesystem>
#include <string>
#include <functional>

class QLabel;
class QPushButton;

namespace ov {
class BrowseField;
}

namespace ov::setup {

class SetupController;

// Where the folder picker opens for the folder `installFolder` shown: the
// folder it lies in, or the nearest existing one above.
std::filesystem::path PickerStart(const std::string& installFolder);

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
  BrowseField* Field() const { return field_; }
  QPushButton* BrowseButton() const;
  QPushButton* NextButton() const { return next_; }

  // Runs the browse button's work: the picker, then the folder rules.
  void Browse();
  void reject() override;

protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

private:
  void PlaceField();
  void Next();
  void ShowFolder();

  SetupController& controller_;
  Picker picker_;
  QLabel* display_;
  BrowseField* field_;
  QPushButton* next_;
};

}  // namespace ov::setup
