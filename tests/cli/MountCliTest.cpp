// ovnss-cli mount against a save of the same volume: the same tree, bytes
// and times, nothing writable, and Ctrl-C unmounting. Runs where /dev/fuse
// can be opened and this process may mount (as root); says why otherwise.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <map>
#include <thread>

#include "platform/Text.h"
#include "support/CliRunner.h"

namespace ov {
namespace {

using test::ShellQuote;

bool MountedOn(const std::filesystem::path& folder) {
  struct stat inner {}, outer {};
  return ::stat(folder.c_str(), &inner) == 0 && ::stat(folder.parent_path().c_str(), &outer) == 0 &&
         inner.st_dev != outer.st_dev;
}

class Mount : public test::CliFixture {
protected:
  void SetUp() override {
    const int fd = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fd < 0) GTEST_SKIP() << "mount test skipped: /dev/fuse cannot be opened (" << std::strerror(errno) << ")";
    ::close(fd);
    std::filesystem::create_directory(mnt);
  }
  void TearDown() override {
    if (pid > 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
    // Never leave a mount behind, whatever failed.
    if (MountedOn(mnt)) std::system(("umount -l " + ShellQuote(mnt.string()) + " 2>/dev/null").c_str());
  }
  // Starts the mount in the background; false (with the reason) when it
  // ended before mounting.
  bool Start(const std::string& args, std::string* why) {
    const std::string command = "cd " + ShellQuote(dir.path().string()) +
                                " && exec env OVNSS_MACHINE_REGISTRY= OVNSS_REGISTRY=" +
                                ShellQuote((dir / "registry.txt").string()) + " " +
                                ShellQuote(OVNSS_TEST_BINARY_DIR "/bin/ovnss-cli") + " mount " + args + " " +
                                ShellQuote(mnt.string()) + " >mount.out 2>mount.err </dev/null";
    pid = ::fork();
    if (pid == 0) {
      ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    for (int i = 0; i < 200; ++i) {
      if (MountedOn(mnt)) return true;
      int status = 0;
      if (::waitpid(pid, &status, WNOHANG) == pid) {
        pid = -1;
        *why = test::ReadFile(dir / "mount.err");
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    *why = "not mounted after 10 s";
    return false;
  }
  // Sends SIGINT and waits for the exit; the exit status, or -1.
  int Interrupt() {
    ::kill(pid, SIGINT);
    for (int i = 0; i < 200; ++i) {
      int status = 0;
      if (::waitpid(pid, &status, WNOHANG) == pid) {
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
  }

  std::filesystem::path mnt = dir / "mnt";
  pid_t pid = -1;
};

struct Node {
  bool folder = false;
  std::string bytes;
  std::int64_t mtime = 0;
};

std::map<std::string, Node> Walk(const std::filesystem::path& root) {
  std::map<std::string, Node> nodes;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
    struct stat st {};
    ::lstat(e.path().c_str(), &st);
    Node n;
    n.folder = S_ISDIR(st.st_mode);
    if (!n.folder) n.bytes = test::ReadFile(e.path());
    n.mtime = st.st_mtime;
    nodes[e.path().lexically_relative(root).generic_string()] = n;
  }
  return nodes;
}

constexpr const char* kVolume = R"({
  "partitions": [ { "type": "nss", "sections": [
      { "pool": "DATA", "segment": 1, "sectors": "2MiB" },
      { "pool": "DATA", "segment": 0, "sectors": "1MiB" } ] } ],
  "pools": [ { "name": "DATA", "volumes": [ { "name": "VOL1", "items": [
      { "folder": "Letters", "time": "2003-11-02 14:00:00", "items": [
        { "file": "bank.doc", "document": "word", "size": "300KiB", "time": "2004-03-15 09:30:00" },
        { "file": "a/b.txt", "text": "slash" },
        { "folder": "Old", "items": [ { "file": "1999.txt", "text": "old", "time": "1999-12-31 23:59:59" } ] } ] },
      { "file": "big.bin", "size": "900KiB", "content": "random" },
      { "file": "empty.txt", "text": "" },
      { "file": "caf\u00e9.txt", "text": "menu" } ] } ] } ]
})";

TEST_F(Mount, ShowsWhatASaveWritesReadOnlyAndCtrlCUnmounts) {
  Build(kVolume);
  // One unreadable sector in big.bin, through a ddrescue map.
  std::uint64_t badSector = 0;
  for (const auto& f : manifest.FindVolume("DATA", "VOL1")->files) {
    if (f.name == "big.bin") badSector = f.diskSector + 5;
  }
  const std::uint64_t imageBytes = std::filesystem::file_size(image);
  std::ofstream(dir / "disk.map") << "0 +\n0 " << badSector * 512 << " +\n" << badSector * 512 << " 512 -\n"
                                  << (badSector + 1) * 512 << " " << imageBytes - (badSector + 1) * 512 << " +\n";
  const std::string volume = Disk() + " --map disk.map --pool DATA --volume VOL1";
  const auto saved = Exec("save --bad-sectors skip-all " + volume + " --dest out");
  ASSERT_EQ(saved.exit, 0) << saved.err;
  const auto listed = Exec("ls --json --recursive " + volume);
  ASSERT_EQ(listed.exit, 0) << listed.err;

  std::string why;
  if (!Start(volume, &why)) {
    if (why.find("without libfuse3") != std::string::npos || why.find("cannot mount") != std::string::npos) {
      GTEST_SKIP() << "mount test skipped: " << why;
    }
    FAIL() << why;
  }
  const auto inMount = Walk(mnt);
  const auto inSave = Walk(dir / "out");
  ASSERT_EQ(inMount.size(), inSave.size());
  for (const auto& [path, node] : inSave) {
    ASSERT_TRUE(inMount.count(path)) << path;
    EXPECT_EQ(inMount.at(path).folder, node.folder) << path;
    EXPECT_TRUE(inMount.at(path).bytes == node.bytes) << path;
  }
  EXPECT_TRUE(inMount.count("Letters/a_b.txt"));  // the save's safe name
  // Times: the recorded stamps, which the save gives its files too.
  const nlohmann::json listing = listed.Json();  // kept: the loop walks into it
  for (const auto& e : listing["entries"]) {
    std::string path = e["path"].get<std::string>().substr(1);
    std::replace(path.begin(), path.end(), '\\', '/');
    if (path == "Letters/a/b.txt") path = "Letters/a_b.txt";
    if (e["time"] != 0) {
      EXPECT_EQ(inMount.at(path).mtime, e["time"].get<std::int64_t>()) << path;
    }
  }
  EXPECT_EQ(inMount.at("Letters/Old/1999.txt").mtime, 946684799);
  // A read in the middle, across the unreadable sector: zeros there.
  {
    std::ifstream in(mnt / "big.bin", std::ios::binary);
    in.seekg(5 * 512 - 100);
    std::string part(700, '\1');
    in.read(part.data(), 700);
    EXPECT_EQ(part.substr(100, 512), std::string(512, '\0'));
    EXPECT_EQ(part, inSave.at("big.bin").bytes.substr(5 * 512 - 100, 700));
  }
  // Nothing can be changed.
  errno = 0;
  EXPECT_LT(::open((mnt / "new.txt").c_str(), O_WRONLY | O_CREAT, 0644), 0);
  EXPECT_EQ(errno, EROFS);
  errno = 0;
  EXPECT_LT(::open((mnt / "big.bin").c_str(), O_WRONLY), 0);
  EXPECT_EQ(errno, EROFS);
  EXPECT_NE(::mkdir((mnt / "New").c_str(), 0755), 0);
  EXPECT_EQ(errno, EROFS);
  EXPECT_NE(::unlink((mnt / "big.bin").c_str()), 0);
  EXPECT_EQ(errno, EROFS);

  EXPECT_EQ(Interrupt(), 0);
  EXPECT_FALSE(MountedOn(mnt));
  const std::string err = test::ReadFile(dir / "mount.err");
  EXPECT_NE(err.find("\\big.bin: 1 unread sector(s) read as zeros"), std::string::npos) << err;
  EXPECT_NE(test::ReadFile(dir / "mount.out").find("Unmounted"), std::string::npos);
}

}  // namespace
}  // namespace ov
