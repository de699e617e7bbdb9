#pragma once
// "File Saving": asks for the destination folder of a save or a raw scan.
// The destination is one text kept for the program's lifetime (owned by the
// window): "&OK" sets it to the edit field's text (at most 1024
// characters), "&Cancel" and closing the window empty it, which saves
// nothing. "&Browse" puts the chosen folder into the field and into the
// destination; "&Settings" opens the "Settings" window.

#include <QDialog>
#include <string>

#include "save/SaveSettings.h"

namespace ov {

class BrowseField;

inline constexpr int kMaxDestinationLength = 1024;

class FileSavingDialog : public QDialog {
  Q_OBJECT
public:
  FileSavingDialog(std::string& destination, SaveSettings& settings, Prompter& prompter, QWidget* parent = nullptr);

  // Shows the window modally; answers the destination (empty: nothing to do).
  static std::string Ask(std::string& destination, SaveSettings& settings, Prompter& prompter, QWidget* parent);

  void done(int result) override;

private:
  std::string& destination_;
  SaveSettings& settings_;
  Prompter& prompter_;
  BrowseField* edit_ = nullptr;
};

}  // namespace ov
