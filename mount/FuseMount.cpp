#define FUSE_USE_VERSION 31
#include "mount/FuseMount.h"

#include <fuse3/fuse.h>
#include <fuse3/fuse_lowlevel.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <vector>

namespace ov {

struct FuseMount::Impl {
  const SavedTree& tree;
  DiskView disk;
  std::function<void(const std::string&)> log;
  std::int64_t mountTime = 0;
  struct fuse* fuse = nullptr;
  std::atomic<bool> mounted{false};
  std::filesystem::path mountPoint;
  std::vector<bool> reported;  // files whose unread sectors were logged

  Impl(const SavedTree& t, DiskView d, std::function<void(const std::string&)> l)
      : tree(t), disk(std::move(d)), log(std::move(l)), reported(t.size(), false) {}

  static Impl& Self() { return *static_cast<Impl*>(fuse_get_context()->private_data); }

  void Fill(std::uint32_t entry, struct stat* st) const {
    const SavedTree::Entry& e = tree.at(entry);
    std::memset(st, 0, sizeof *st);
    st->st_ino = entry + 1;
    st->st_mode = e.folder ? (S_IFDIR | 0555) : (S_IFREG | 0444);
    st->st_nlink = e.folder ? 2 : 1;
    st->st_size = static_cast<off_t>(e.folder ? 0 : e.size);
    st->st_blksize = 4096;
    st->st_blocks = static_cast<blkcnt_t>((e.size + 511) / 512);
    const std::int64_t t = e.time != 0 ? e.time : mountTime;
    st->st_atim.tv_sec = st->st_mtim.tv_sec = st->st_ctim.tv_sec = static_cast<time_t>(t);
  }

  static void* Init(struct fuse_conn_info* conn, struct fuse_config* cfg) {
    conn->max_readahead = 1 << 20;
    // Nothing changes under the mount: the kernel may keep what it read.
    cfg->kernel_cache = 1;
    cfg->use_ino = 1;
    cfg->entry_timeout = cfg->attr_timeout = cfg->negative_timeout = 3600;
    return fuse_get_context()->private_data;
  }

  static int GetAttr(const char* path, struct stat* st, struct fuse_file_info*) {
    Impl& self = Self();
    const auto entry = self.tree.Find(path);
    if (!entry) return -ENOENT;
    self.Fill(*entry, st);
    return 0;
  }

  static int ReadDir(const char* path, void* buf, fuse_fill_dir_t filler, off_t, struct fuse_file_info*,
                     enum fuse_readdir_flags) {
    Impl& self = Self();
    const auto entry = self.tree.Find(path);
    if (!entry) return -ENOENT;
    const SavedTree::Entry& e = self.tree.at(*entry);
    if (!e.folder) return -ENOTDIR;
    struct stat st {};
    self.Fill(*entry, &st);
    filler(buf, ".", &st, 0, static_cast<fuse_fill_dir_flags>(0));
    self.Fill(e.parent, &st);
    filler(buf, "..", &st, 0, static_cast<fuse_fill_dir_flags>(0));
    for (std::uint32_t child : e.children) {
      self.Fill(child, &st);
      if (filler(buf, self.tree.at(child).name.c_str(), &st, 0, static_cast<fuse_fill_dir_flags>(0)) != 0) break;
    }
    return 0;
  }

  static int Open(const char* path, struct fuse_file_info* fi) {
    Impl& self = Self();
    const auto entry = self.tree.Find(path);
    if (!entry) return -ENOENT;
    if ((fi->flags & O_ACCMODE) != O_RDONLY || (fi->flags & (O_TRUNC | O_APPEND | O_CREAT)) != 0) return -EROFS;
    if (self.tree.at(*entry).folder) return -EISDIR;
    fi->fh = *entry;
    fi->keep_cache = 1;
    return 0;
  }

  static int Read(const char*, char* buf, size_t size, off_t offset, struct fuse_file_info* fi) {
    Impl& self = Self();
    const auto entry = static_cast<std::uint32_t>(fi->fh);
    std::uint64_t unread = 0;
    const std::size_t n = self.tree.Read(self.disk, entry, static_cast<std::uint64_t>(offset),
                                         {reinterpret_cast<std::byte*>(buf), size}, unread);
    if (unread > 0 && !self.reported[entry]) {
      self.reported[entry] = true;
      if (self.log) {
        self.log(self.tree.at(entry).volumePath + ": " + std::to_string(unread) + " unread sector(s) read as zeros");
      }
    }
    return static_cast<int>(n);
  }

  static int StatFs(const char*, struct statvfs* st) {
    Impl& self = Self();
    std::memset(st, 0, sizeof *st);
    st->f_bsize = st->f_frsize = 4096;
    st->f_files = self.tree.size();
    st->f_namemax = 255;
    st->f_flag = ST_RDONLY;
    std::uint64_t bytes = 0;
    for (std::size_t i = 0; i < self.tree.size(); ++i) bytes += self.tree.at(static_cast<std::uint32_t>(i)).size;
    st->f_blocks = (bytes + 4095) / 4096;
    return 0;
  }

  // Every change: the file system is read-only.
  static int Refuse() { return -EROFS; }
  static int RefusePath(const char*) { return -EROFS; }
  static int RefuseMode(const char*, mode_t) { return -EROFS; }
  static int RefuseTwo(const char*, const char*) { return -EROFS; }
  static int RefuseRename(const char*, const char*, unsigned int) { return -EROFS; }
  static int RefuseChmod(const char*, mode_t, struct fuse_file_info*) { return -EROFS; }
  static int RefuseChown(const char*, uid_t, gid_t, struct fuse_file_info*) { return -EROFS; }
  static int RefuseTruncate(const char*, off_t, struct fuse_file_info*) { return -EROFS; }
  static int RefuseWrite(const char*, const char*, size_t, off_t, struct fuse_file_info*) { return -EROFS; }
  static int RefuseCreate(const char*, mode_t, struct fuse_file_info*) { return -EROFS; }
  static int RefuseMknod(const char*, mode_t, dev_t) { return -EROFS; }
  static int RefuseTimes(const char*, const struct timespec[2], struct fuse_file_info*) { return -EROFS; }
  static int RefuseSetXattr(const char*, const char*, const char*, size_t, int) { return -EROFS; }
  static int RefuseRemoveXattr(const char*, const char*) { return -EROFS; }

  static struct fuse_operations Operations() {
    struct fuse_operations ops {};
    ops.init = Init;
    ops.getattr = GetAttr;
    ops.readdir = ReadDir;
    ops.open = Open;
    ops.read = Read;
    ops.statfs = StatFs;
    ops.mkdir = RefuseMode;
    ops.mknod = RefuseMknod;
    ops.unlink = RefusePath;
    ops.rmdir = RefusePath;
    ops.symlink = RefuseTwo;
    ops.link = RefuseTwo;
    ops.rename = RefuseRename;
    ops.chmod = RefuseChmod;
    ops.chown = RefuseChown;
    ops.truncate = RefuseTruncate;
    ops.write = RefuseWrite;
    ops.create = RefuseCreate;
    ops.utimens = RefuseTimes;
    ops.setxattr = RefuseSetXattr;
    ops.removexattr = RefuseRemoveXattr;
    return ops;
  }
};

namespace {

std::atomic<struct fuse_session*> gSession{nullptr};

void StopServing(int) {
  if (auto* se = gSession.load()) fuse_session_exit(se);
}

}  // namespace

FuseMount::FuseMount(const SavedTree& tree, DiskView disk, std::function<void(const std::string&)> log)
    : impl_(std::make_unique<Impl>(tree, std::move(disk), std::move(log))) {
  mountTime_ = static_cast<std::int64_t>(std::time(nullptr));
  impl_->mountTime = mountTime_;
}

FuseMount::~FuseMount() {
  if (impl_->fuse) {
    if (impl_->mounted) fuse_unmount(impl_->fuse);
    fuse_destroy(impl_->fuse);
  }
}

bool FuseMount::Available() {
  const int fd = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

bool FuseMount::Mount(const std::filesystem::path& mountPoint, std::string* error) {
  if (!Available()) {
    if (error) *error = "FUSE is not available here (/dev/fuse cannot be opened: " + std::string(std::strerror(errno)) + ")";
    return false;
  }
  struct stat st {};
  if (::stat(mountPoint.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    if (error) *error = mountPoint.string() + " is not a folder";
    return false;
  }
  const char* argv[] = {"ovnss", "-o", "ro,fsname=ovnss,subtype=ovnss,default_permissions"};
  struct fuse_args args = FUSE_ARGS_INIT(3, const_cast<char**>(argv));
  const struct fuse_operations ops = Impl::Operations();
  impl_->fuse = fuse_new(&args, &ops, sizeof ops, impl_.get());
  fuse_opt_free_args(&args);
  if (!impl_->fuse) {
    if (error) *error = "FUSE refused the mount options";
    return false;
  }
  if (fuse_mount(impl_->fuse, mountPoint.c_str()) != 0) {
    if (error) *error = "cannot mount on " + mountPoint.string();
    return false;
  }
  impl_->mounted = true;
  impl_->mountPoint = mountPoint;
  return true;
}

void FuseMount::Serve(bool stopOnSignals, bool background) {
  if (!impl_->mounted) return;
  struct fuse_session* se = fuse_get_session(impl_->fuse);
  if (background) fuse_daemonize(0);
  struct sigaction old[3] {};
  const int signals[3] = {SIGINT, SIGTERM, SIGHUP};
  if (stopOnSignals) {
    gSession = se;
    struct sigaction sa {};
    sa.sa_handler = StopServing;
    sigemptyset(&sa.sa_mask);
    for (int i = 0; i < 3; ++i) ::sigaction(signals[i], &sa, &old[i]);
  }
  fuse_loop(impl_->fuse);
  if (stopOnSignals) {
    for (int i = 0; i < 3; ++i) ::sigaction(signals[i], &old[i], nullptr);
    gSession = nullptr;
  }
  fuse_unmount(impl_->fuse);
  impl_->mounted = false;
}

void FuseMount::Stop() {
  if (!impl_->mounted || !impl_->fuse) return;
  fuse_session_exit(fuse_get_session(impl_->fuse));
  // The loop notices the flag only after its next request: look up a name
  // no one asked for before (the kernel keeps the answers it had), which
  // the loop answers and then leaves. Where the file system is already
  // gone, the lookup fails at once and the loop has ended by itself.
  static std::atomic<unsigned> wakes{0};
  const std::string name = ".ovnss-stop-" + std::to_string(::getpid()) + "-" + std::to_string(++wakes);
  struct stat st {};
  (void)::stat((impl_->mountPoint / name).c_str(), &st);
}

}  // namespace ov
