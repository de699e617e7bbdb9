#pragma once
// The window's commands whose work lives in the dialogs: saving, the save
// settings, the recovery information file and the raw form. The menus and
// buttons reach them here, in one place. (The reports, the help file and
// the support commands go straight to the report menu.)

#include <QObject>
#include <QPointer>
#include <functional>
#include <string>
#include <vector>

#include "save/SaveRun.h"
#include "save/SaveSettings.h"
#include "ui/dialogs/RecoveryInfoCommands.h"
#include "ui/dialogs/SaveCommands.h"

class QWidget;

namespace ov {
class RawFormPanel;
class SaveFlow;
class Session;
}  // namespace ov

namespace ov::window {

class Wizard;

// What the finishing message of a save says of the files that hold
// sectors the disk would not give; empty when there are none.
std::string UnreadFilesText(const std::vector<UnreadFile>& files);

class LaterCommands : public QObject, private LoadLogWindow {
  Q_OBJECT
public:
  using QObject::QObject;

  // The window's parts the commands work on; set once the window is built.
  void Attach(Session& session, Wizard& wizard, QWidget* window, RawFormPanel* rawForm);

  // The save options and the "File Saving" text, kept for the program's
  // lifetime.
  ov::SaveSettings settings;
  std::string destination;
  // The recovery information file's dialogs; tests answer them.
  RecoveryInfoFileDialogs fileDialogs = RecoveryInfoFileDialogs::Platform();
  // Called with each save before it starts, and while a recovery
  // information file is read (tests and pictures watch them).
  std::function<void(SaveFlow&)> onSave;
  std::function<void()> onLoading;

  RawFormPanel* rawForm() const { return rawForm_; }
  // The raw form's "File Saving" question: the folder, empty when cancelled.
  std::filesystem::path AskRawDestination();

public slots:
  // "&Save " (Menu) and the Save button (Button): save the ticked items.
  void SaveTickedItems(ov::SaveCommand command);
  // Pop-up "Save": the rows of the file list, the selected ones marked.
  void SaveSelectedRows(const std::vector<ov::SaveRow>& rows);
  // Find's "Save Ticked...": the names found, the ticked ones marked.
  void SaveFoundRows(const std::vector<ov::SaveRow>& rows);
  // "Save Se&ttings": the "Settings" dialog.
  void SaveSettings();
  // "Save Log" and "Load Log": the recovery information file.
  void SaveLog();
  void LoadLog();
  // "Start &Recovery" / "&Stop Searching" on the Raw form.
  void StartOrStopRawScan();

private:
  void Save(ov::SaveCommand command, std::vector<ov::SaveRow> rows);
  void OpenRawForm();
  void RawScanning(bool scanning);
  void BeginLoad() override;
  void EndLoad(bool loaded, const ListRows& rootRows) override;

  Session* session_ = nullptr;
  Wizard* wizard_ = nullptr;
  QPointer<QWidget> window_;
  RawFormPanel* rawForm_ = nullptr;
};

}  // namespace ov::window
