#pragma once
// "Mount Volume" at the directory-tree step: the volume shown, as a
// read-only file system of this machine that the file manager opens, for as
// long as the tree is shown. Back, Exit and the window's end unmount it.
//
// The file system is served on a thread of its own, which reads the disk
// through a sector reader of its own (unreadable sectors read as zeros:
// nobody is there to answer while a file manager reads) and never touches
// a widget; the window's thread mounts, stops and shows.

#include <QAction>
#include <QLabel>
#include <QObject>
#include <QPointer>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/Process.h"
#include "session/Session.h"

namespace ov::window {

class MountController : public QObject {
  Q_OBJECT
public:
  // `command` is the menu item, `status` the pane that shows the mount
  // point; `desktop` opens the folder.
  MountController(Session& session, ProcessRunner& desktop, QAction* command, QLabel* status, QObject* parent);
  ~MountController() override;

  // True when this build has the mount and this system offers FUSE.
  static bool Available();

  // Mounts the scanned volume on `folder`, or on a fresh folder in the
  // run's folder when empty, and opens it; false with the reason shown in
  // the status pane.
  bool Mount(std::filesystem::path folder = {});
  // Unmounts and waits until the file system is gone; nothing when none.
  void Unmount();
  bool mounted() const;
  const std::filesystem::path& mountPoint() const { return mountPoint_; }
  // The item is offered at the tree step only; leaving it unmounts.
  void StepChanged(int step);
  void SetDesktop(ProcessRunner& desktop) { desktop_ = &desktop; }

private:
  void Show(const std::string& text);

  struct Served;
  Session& session_;
  ProcessRunner* desktop_;
  QPointer<QAction> command_;
  QPointer<QLabel> status_;
  std::unique_ptr<Served> served_;
  std::filesystem::path mountPoint_;
  bool madeFolder_ = false;  // the mount point is ours to remove
  int step_ = 0;
};

}  // namespace ov::window
