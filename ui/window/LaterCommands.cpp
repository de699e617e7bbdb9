#include "ui/window/LaterCommands.h"

#include <QAbstractButton>
#include <QMenuBar>
#include <QMainWindow>

#include "session/Session.h"
#include "ui/dialogs/FileSavingDialog.h"
#include "ui/dialogs/MessageBoxes.h"
#include "ui/dialogs/RawFormPanel.h"
#include "ui/dialogs/SaveFlow.h"
#include "ui/dialogs/SettingsDialog.h"
#include "ui/window/RunDisks.h"
#include "ui/window/Wizard.h"

namespace ov::window {

namespace {

// The most files the finishing message names; the rest are counted.
constexpr std::size_t kNamedUnreadFiles = 10;

}  // namespace

std::string UnreadFilesText(const std::vector<UnreadFile>& files) {
  if (files.empty()) return {};
  std::string text = std::to_string(files.size()) +
                     " saved file(s) hold sectors the disk did not give; they were saved with zeros there:\n";
  for (std::size_t i = 0; i < files.size() && i < kNamedUnreadFiles; ++i) {
    text += "\n" + files[i].path + "  (" + std::to_string(files[i].unreadSectors) + " unread sector(s))";
  }
  if (files.size() > kNamedUnreadFiles) text += "\n... and " + std::to_string(files.size() - kNamedUnreadFiles) + " more";
  return text;
}

void LaterCommands::Attach(Session& session, Wizard& wizard, QWidget* window, RawFormPanel* rawForm) {
  session_ = &session;
  wizard_ = &wizard;
  window_ = window;
  rawForm_ = rawForm;
  connect(&wizard, &Wizard::rawFormShown, this, &LaterCommands::OpenRawForm);
  connect(rawForm, &RawFormPanel::scanningChanged, this, &LaterCommands::RawScanning);
}

void LaterCommands::SaveTickedItems(ov::SaveCommand command) { Save(command, {}); }

void LaterCommands::SaveSelectedRows(const std::vector<ov::SaveRow>& rows) { Save(ov::SaveCommand::ListPopup, rows); }

void LaterCommands::SaveFoundRows(const std::vector<ov::SaveRow>& rows) { Save(ov::SaveCommand::Found, rows); }

void LaterCommands::Save(ov::SaveCommand command, std::vector<ov::SaveRow> rows) {
  if (!session_ || wizard_->workerRunning()) return;
  const SaveCommandDecision decision = DecideSaveCommand(command, wizard_->step());
  if (decision.message) {
    ShowMessageBox(window_, std::string(*decision.message), MessageIcon::Error);
    return;
  }
  if (!decision.source) return;
  Discovery& discovery = session_->discovery();
  SaveFlow flow({discovery.disk(), discovery.currentPool(), session_->tree, settings, destination, session_->prompter},
                window_);
  if (onSave) onSave(flow);
  flow.Run(*decision.source, std::move(rows));
  // Files that hold sectors a rescue did not read are not to be trusted.
  if (const std::string unread = UnreadFilesText(flow.progress().unreadFiles); !unread.empty()) {
    ShowMessageBox(window_, unread, MessageIcon::Warning);
  }
  // Nor is a file of which a disk not given holds a part: it was left out.
  if (const std::string missing = MissingSegmentFilesText(flow.progress().missingSegmentFiles); !missing.empty()) {
    ShowMessageBox(window_, missing, MessageIcon::Warning);
  }
}

void LaterCommands::SaveSettings() {
  if (!session_) return;
  ov::SettingsDialog dialog(settings, session_->prompter, window_);
  dialog.exec();
}

void LaterCommands::SaveLog() {
  // The tree is only whole once the scan that builds it has ended.
  if (!session_ || wizard_->step() < 3 || wizard_->workerRunning()) return;
  ov::SaveLog(window_, session_->discovery(), session_->tree, session_->prompter, fileDialogs);
}

void LaterCommands::LoadLog() {
  // A running search or scan owns the pools and the tree until it ends;
  // the Raw form has no tree to show a loaded one in.
  if (!session_ || wizard_->step() < 1 || wizard_->mode() == RecoveryMode::Raw || wizard_->workerRunning()) return;
  ov::LoadLog(window_, *this, session_->discovery(), session_->tree, session_->prompter, fileDialogs);
}

void LaterCommands::BeginLoad() {
  wizard_->ReleaseTreeViews();
  if (onLoading) onLoading();
}

void LaterCommands::EndLoad(bool loaded, const ListRows& /*rootRows*/) {
  // The file list is filled from the loaded tree itself.
  if (loaded) wizard_->ShowLoadedTree();
  else wizard_->RestoreTreeViews();
}

void LaterCommands::StartOrStopRawScan() {
  if (rawForm_ && wizard_ && wizard_->mode() == RecoveryMode::Raw && wizard_->step() == 1) rawForm_->Press();
}

std::filesystem::path LaterCommands::AskRawDestination() {
  return std::filesystem::u8path(FileSavingDialog::Ask(destination, settings, session_->prompter, window_));
}

void LaterCommands::OpenRawForm() {
  rawForm_->SetDisk(session_->disk(), session_->SelectedDiskSectors(), static_cast<unsigned>(session_->diskNumber()));
  rawForm_->Open();
}

void LaterCommands::RawScanning(bool scanning) {
  // While the scan reads the disk nothing may leave the form or start
  // other work on the disk.
  wizard_->SetRawScanning(scanning);
  if (auto* main = qobject_cast<QMainWindow*>(window_.data())) main->menuBar()->setEnabled(!scanning);
}

}  // namespace ov::window
