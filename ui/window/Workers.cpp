#include "ui/window/Workers.h"

#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

#include "ui/window/Dialogs.h"

namespace ov::window {

namespace {

QString Latin1(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

SearchReports::SearchReports(std::function<std::string(std::size_t)> poolName, QObject* parent)
    : QObject(parent), poolName_(std::move(poolName)) {}

void SearchReports::OnStatus(const std::string& text) {
  {
    std::lock_guard lock(mutex_);
    status_ = Latin1(text);
    hasStatus_ = true;
  }
  Post();
}

void SearchReports::OnProgress(int percent) {
  {
    std::lock_guard lock(mutex_);
    progress_ = percent;
    hasProgress_ = true;
  }
  Post();
}

void SearchReports::OnPoolsFound(const std::string& text) {
  {
    std::lock_guard lock(mutex_);
    pools_ = Latin1(text);
    hasPools_ = true;
  }
  Post();
}

void SearchReports::OnPoolAdded(std::size_t index) {
  const QString name = poolName_ ? Latin1(poolName_(index)) : QString();
  {
    std::lock_guard lock(mutex_);
    added_.push_back(name);
  }
  Post();
}

void SearchReports::OnPartitionFound(const PartitionEntry& entry) {
  {
    std::lock_guard lock(mutex_);
    added_.push_back(Latin1(entry.label));
  }
  Post();
}

void SearchReports::Post() {
  // One delivery in flight at a time; later reports join it.
  if (posted_.exchange(true)) return;
  QMetaObject::invokeMethod(this, &SearchReports::Deliver, Qt::QueuedConnection);
}

void SearchReports::Flush() { Post(); }

void SearchReports::Deliver() {
  posted_.store(false);
  bool hasStatus, hasProgress, hasPools;
  QString status, pools;
  int percent;
  QStringList added;
  {
    std::lock_guard lock(mutex_);
    hasStatus = std::exchange(hasStatus_, false);
    hasProgress = std::exchange(hasProgress_, false);
    hasPools = std::exchange(hasPools_, false);
    status = status_;
    pools = pools_;
    percent = progress_;
    added.swap(added_);
  }
  ++deliveries_;
  if (hasStatus) emit this->status(status);
  if (hasProgress) emit progress(percent);
  if (hasPools) emit poolsFound(pools);
  if (!added.isEmpty()) emit itemsAdded(added);
}

WorkerThread::~WorkerThread() {
  if (thread_.joinable()) thread_.join();
}

bool WorkerThread::Start(std::function<void()> work, std::function<void()> done) {
  if (running_.exchange(true)) return false;
  if (thread_.joinable()) thread_.join();  // the last worker has ended: its thread only returns
  thread_ = std::thread([this, work = std::move(work), done = std::move(done)]() mutable {
    work();
    QMetaObject::invokeMethod(
        this,
        [this, done = std::move(done)] {
          running_.store(false);
          if (done) done();
        },
        Qt::QueuedConnection);
  });
  return true;
}

WindowPrompter::WindowPrompter() {
  badSectorDialog = [](QWidget* owner) {
    BadSectorDialog dialog(owner);
    dialog.exec();
    return dialog.choice();
  };
}

}  // namespace ov::window
