#pragma once
// "Settings": the save options over the core's settings editor, which holds
// the working copy and every rule. "&Apply" (the default button) commits
// the copy; "Cancel" or closing the window discards it.

#include <QDialog>
#include <array>
#include <memory>

#include "save/SaveSettings.h"

class QButtonGroup;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace ov {

class SettingsDialog : public QDialog {
  Q_OBJECT
public:
  SettingsDialog(SaveSettings& settings, Prompter& prompter, QWidget* parent = nullptr);
  ~SettingsDialog() override;

  const SettingsEditor& editor() const { return *editor_; }

private:
  QWidget* DeletedGroup();
  QWidget* DatesGroup();
  QWidget* ExtensionsGroup();
  QWidget* SavingModeGroup();
  QWidget* SelectionGroup();
  QWidget* HashesGroup();
  // One "DD / MM / YYYY" row of three drop-down lists.
  std::array<QComboBox*, 3> DateRow(const QString& name, int yearRows, int day, int month, int year);
  void Add();
  void Remove();
  void ShowList();
  void DatesChanged();

  std::unique_ptr<SettingsEditor> editor_;
  std::array<QComboBox*, 3> earlier_{};
  std::array<QComboBox*, 3> after_{};
  QLineEdit* edit_ = nullptr;
  QListWidget* list_ = nullptr;
  QPushButton* remove_ = nullptr;
};

}  // namespace ov
