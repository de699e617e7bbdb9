#include "ui/dialogs/SaveFlow.h"

#include <QPointer>
#include <QTimer>
#include <thread>

#include "save/Hashes.h"
#include "ui/dialogs/FileSavingDialog.h"
#include "ui/dialogs/ProgressMailbox.h"
#include "ui/dialogs/SavingDialog.h"
#include "ui/dialogs/SizeCalculationDialog.h"

namespace ov {

std::unique_ptr<SavedFileLog> SaveFlow::HashLog(const SaveSettings& settings, const std::filesystem::path& destination) {
  std::vector<HashKind> kinds;
  for (std::size_t k = 0; k < settings.hashes.size(); ++k) {
    if (settings.hashes[k]) kinds.push_back(static_cast<HashKind>(k));
  }
  if (kinds.empty()) return nullptr;
  return std::make_unique<SavedFileLog>(destination, std::move(kinds));
}

void SaveFlow::WriteManifests(const SavedFileLog& log) {
  std::string error;
  if (!log.WriteManifests(&error)) {
    context_.prompter.ShowMessage("The hash manifest could not be written: " + error, std::string(kProductTitle),
                                  MessageIcon::Error);
  }
}

SaveFlow::SaveFlow(SaveContext context, QWidget* parent) : QObject(parent), context_(context), parent_(parent) {}

void SaveFlow::Run(SaveSource source, std::vector<SaveRow> rows) {
  const std::string destination =
      FileSavingDialog::Ask(context_.destination, context_.settings, context_.prompter, parent_);
  if (destination.empty()) return;  // cancelled: nothing written, nothing said
  Save(source, std::filesystem::u8path(destination), std::move(rows));
}

void SaveFlow::Save(SaveSource source, const std::filesystem::path& destination, std::vector<SaveRow> rows) {
  if (destination.empty()) return;
  SaveMailbox mailbox;
  SavingDialog saving(progress_, mailbox, parent_);
  std::atomic<bool> stopCount{false};
  bool counted = false;
  QPointer<SizeCalculationDialog> counting;
  std::thread worker;

  auto countEnded = [&] {
    counted = true;
    if (counting) counting->CountEnded();
  };
  auto showCounting = [&] {
    if (counted) return;  // already counted before the window could open
    SizeCalculationDialog dialog(progress_.plannedFiles, stopCount, context_.prompter, &saving);
    counting = &dialog;
    if (onCounting) QTimer::singleShot(0, &dialog, [&] { onCounting(dialog); });
    dialog.exec();
  };

  connect(&saving, &SavingDialog::shown, &saving, [&] {
    worker = std::thread([&, rows = std::move(rows)] {
      Extractor extractor(context_.disk, context_.pool, context_.tree, context_.settings, context_.prompter,
                          progress_, mailbox);
      std::unique_ptr<SavedFileLog> hashes = HashLog(context_.settings, destination);
      extractor.observer = hashes.get();
      SaveRun run(extractor, context_.tree, context_.settings, progress_, context_.prompter);
      run.Run(source, destination, rows, stopCount,
              [&] { QMetaObject::invokeMethod(&saving, countEnded, Qt::QueuedConnection); });
      if (hashes) WriteManifests(*hashes);
      QMetaObject::invokeMethod(&saving, [&] { saving.Finish(); }, Qt::QueuedConnection);
    });
    QTimer::singleShot(0, &saving, showCounting);
    if (onSaving) QTimer::singleShot(0, &saving, [&] { onSaving(saving); });
  });
  saving.exec();
  if (worker.joinable()) worker.join();
}

}  // namespace ov
