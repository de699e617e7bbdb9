#pragma once
// A volume as a read-only file system of this machine, through FUSE (Linux's
// file systems in user space, libfuse 3): every program can browse, read,
// grep or copy the recovered folders and files in place, as a save would
// have written them, with nothing copied first.
//
// Requests are served one at a time on the thread that calls Serve: reads
// go through the disk's one sector reader, whose bad-sector answer and
// unread-sector count they share. Every change is refused with EROFS (the
// file system is mounted read-only, and opening for writing is refused
// too).

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "disk/DiskView.h"
#include "save/SavedTree.h"

namespace ov {

class FuseMount {
public:
  // `log` receives one line for each file that first holds sectors the disk
  // did not give ("\\A\\b.doc: 3 unread sector(s) read as zeros").
  FuseMount(const SavedTree& tree, DiskView disk, std::function<void(const std::string&)> log);
  ~FuseMount();
  FuseMount(const FuseMount&) = delete;
  FuseMount& operator=(const FuseMount&) = delete;

  // True when this system offers FUSE (/dev/fuse can be opened).
  static bool Available();

  // Mounts on the folder; false with the reason in `error`.
  bool Mount(const std::filesystem::path& mountPoint, std::string* error);
  // Serves requests until the file system is unmounted (fusermount3 -u,
  // umount) or, with `stopOnSignals`, until SIGINT, SIGTERM or SIGHUP; then
  // unmounts. With `background`, leaves the terminal first (the caller's
  // process goes on as a daemon).
  void Serve(bool stopOnSignals, bool background = false);
  // Ends Serve from another thread (a window's): the request loop stops
  // after one last lookup sent to wake it, and Serve unmounts. Nothing when
  // not serving. Must not be called on the thread that serves.
  void Stop();

  // Times for entries without a stamp (and the root): when it was mounted.
  std::int64_t mountTime() const { return mountTime_; }

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::int64_t mountTime_ = 0;
};

}  // namespace ov
