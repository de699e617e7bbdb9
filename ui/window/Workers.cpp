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

template <class Ask>
auto WindowPrompter::OnWindowThread(Ask ask) -> decltype(ask()) {
  if (QThread::currentThread() == thread()) return ask();
  decltype(ask()) answer{};
  QMetaObject::invokeMethod(this, [&] { answer = ask(); }, Qt::BlockingQueuedConnection);
  return answer;
}

BadSectorChoice WindowPrompter::AskBadSector() {
  return OnWindowThread([this] {
    BadSectorDialog dialog(window);
    dialog.exec();
    return dialog.choice();
  });
}

ReplaceChoice WindowPrompter::AskReplaceFile(const std::string& path) {
  return OnWindowThread([this, &path] {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Replace File Confirmation"),
                    QStringLiteral("Replace ") + QString::fromStdString(path) + QStringLiteral(" ?"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::YesToAll | QMessageBox::NoToAll, window);
    switch (box.exec()) {
      case QMessageBox::Yes: return ReplaceChoice::Yes;
      case QMessageBox::YesToAll: return ReplaceChoice::YesToAll;
      case QMessageBox::NoToAll: return ReplaceChoice::NoToAll;
      default: return ReplaceChoice::No;
    }
  });
}

WriteErrorChoice WindowPrompter::AskWriteError(const std::string& path) {
  return OnWindowThread([this, &path] {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Error Writing Destination"), QString::fromStdString(path),
                    QMessageBox::Abort | QMessageBox::Ignore, window);
    return box.exec() == QMessageBox::Abort ? WriteErrorChoice::Abort : WriteErrorChoice::Skip;
  });
}

bool WindowPrompter::AskYesNo(const std::string& text, const std::string& caption) {
  return OnWindowThread([&] {
    return QMessageBox::question(window, Latin1(caption), Latin1(text), QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
  });
}

void WindowPrompter::ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) {
  OnWindowThread([&] {
    const QMessageBox::Icon kind = icon == MessageIcon::Error         ? QMessageBox::Critical
                                   : icon == MessageIcon::Warning     ? QMessageBox::Warning
                                   : icon == MessageIcon::Information ? QMessageBox::Information
                                   : icon == MessageIcon::Question    ? QMessageBox::Question
                                                                      : QMessageBox::NoIcon;
    QMessageBox box(kind, Latin1(caption), Latin1(text), QMessageBox::Ok, window);
    box.exec();
    return 0;
  });
}

}  // namespace ov::window
