#pragma once
// Long work off the window's thread. A worker reports through the core's
// listener interfaces into a `SearchReports`, which keeps only the newest
// of each report and hands them to the window's thread in one queued call,
// so a fast search is never slowed by drawing. Questions a worker asks go
// through the `WindowPrompter`, which shows them on the window's thread
// while the worker waits for the answer.

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

#include "nss/PartitionScan.h"
#include "platform/Prompter.h"
#include "ui/dialogs/WindowPrompter.h"

namespace ov::window {

class SearchReports : public QObject, public SearchListener {
  Q_OBJECT
public:
  // `poolName` answers the name of pool `index`; it is called on the
  // searching thread, which owns the pool table while it runs.
  explicit SearchReports(std::function<std::string(std::size_t)> poolName = {}, QObject* parent = nullptr);

  void OnStatus(const std::string& text) override;
  void OnProgress(int percent) override;
  void OnPoolsFound(const std::string& text) override;
  void OnPoolAdded(std::size_t index) override;
  void OnPartitionFound(const PartitionEntry& entry) override;

  // Hands what is pending to the window's thread now (the worker's end).
  void Flush();
  // How many queued deliveries were made (tests: coalescing).
  int deliveries() const { return deliveries_; }

signals:
  void status(const QString& text);
  void progress(int percent);
  void poolsFound(const QString& text);
  void itemsAdded(const QStringList& names);

private:
  void Post();
  void Deliver();

  std::function<std::string(std::size_t)> poolName_;
  std::mutex mutex_;
  bool hasStatus_ = false, hasProgress_ = false, hasPools_ = false;
  QString status_, pools_;
  int progress_ = 0;
  QStringList added_;
  std::atomic<bool> posted_{false};
  int deliveries_ = 0;
};

// One worker thread at a time. `done` runs on the window's thread when the
// work has ended. The thread is joined only when the object goes (the
// program's end, or a test's); the program ends without waiting for it.
class WorkerThread : public QObject {
  Q_OBJECT
public:
  using QObject::QObject;
  ~WorkerThread() override;
  bool running() const { return running_.load(); }
  // False when a worker is already running.
  bool Start(std::function<void()> work, std::function<void()> done);

private:
  std::thread thread_;
  std::atomic<bool> running_{false};
};

// The window's answer to the core's questions: the dialogs' prompter, with
// the window's own "Bad Sector Encountered" dialog.
class WindowPrompter : public ov::WindowPrompter {
  Q_OBJECT
public:
  WindowPrompter();
};

}  // namespace ov::window
