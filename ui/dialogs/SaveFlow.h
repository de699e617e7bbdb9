#pragma once
// A save from the window: "File Saving" for the destination, then "Saving"
// while a worker thread runs the core's save run (the size calculation with
// "Calculating File Size" over it, then the walk).
//
// The worker only calls the core's blocking run. Its progress reaches the
// "Saving" window through a mailbox; its questions (replace, write error,
// the walk's messages) go through the prompter, which answers them on the
// window's thread while the worker waits. "&Stop", "S&kip" and the size
// window's "Stop " only raise the core's flags. The "Saving" window closes
// when the worker has ended, and the thread is joined then: nothing is
// ended by force.

#include <QObject>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "disk/DiskView.h"
#include "nss/Pools.h"
#include "nss/RecoveryTree.h"
#include "save/SaveRun.h"

class QWidget;

namespace ov {

class SavedFileLog;
class SavingDialog;
class SizeCalculationDialog;

// What a save needs of the window's run state. The references outlive the
// save: the window owns them for the program's lifetime.
struct SaveContext {
  DiskView disk;
  const PoolInfo& pool;
  const RecoveryTree& tree;
  SaveSettings& settings;
  std::string& destination;  // the "File Saving" window's text
  Prompter& prompter;        // answers on the window's thread
};

class SaveFlow : public QObject {
  Q_OBJECT
public:
  SaveFlow(SaveContext context, QWidget* parent);

  // The whole command: asks for the destination, then saves. Returns when
  // the "Saving" window has closed. `rows` are the file list's rows (List).
  void Run(SaveSource source, std::vector<SaveRow> rows = {});

  // Saves into `destination` without asking for it.
  void Save(SaveSource source, const std::filesystem::path& destination, std::vector<SaveRow> rows);

  // What the last run did.
  const SaveProgress& progress() const { return progress_; }

  // Hooks for tests and pictures: called on the window's thread when each
  // window is up.
  std::function<void(SavingDialog&)> onSaving;
  std::function<void(SizeCalculationDialog&)> onCounting;

private:
  // The log that hashes the files as they are written, when the settings
  // ask for manifests; and the manifests written from it (a failure said).
  static std::unique_ptr<SavedFileLog> HashLog(const SaveSettings& settings, const std::filesystem::path& destination);
  void WriteManifests(const SavedFileLog& log);

  SaveContext context_;
  QWidget* parent_;
  SaveProgress progress_;
};

}  // namespace ov
