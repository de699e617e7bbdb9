#pragma once
// One run of the command line: the core's objects wired together, and the
// steps the commands share (open the disk, find pools, open a volume).

#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/Terminal.h"
#include "disk/DeviceOpener.h"
#include "disk/Inventory.h"
#include "disk/SectorReader.h"
#include "nss/Discovery.h"
#include "nss/RecoveryTree.h"
#include "platform/Folders.h"
#include "platform/Process.h"
#include "platform/Registry.h"
#include "records/ActivityLog.h"

namespace ov::cli {

// A reported error: one line on standard error, exit code 1.
struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

enum class Mode { Quick, Advance };

// Starts outside programs as the system does, except the disk-describing
// program, which is built from this project's own core: its work runs in
// this process, on this run's registry, with the same result and without
// the cost of starting a process for every command.
class CliProcessRunner : public SystemProcessRunner {
public:
  CliProcessRunner(Registry& registry, const std::filesystem::path& installPath)
      : registry_(registry), installPath_(installPath) {}
  int RunAndWait(const std::filesystem::path& program, const std::vector<std::string>& args) override;

private:
  Registry& registry_;
  const std::filesystem::path& installPath_;
};

class Session {
public:
  Session();
  ~Session();

  TerminalPrompter prompter;
  FileRegistry registry;
  KnownFolders folders;
  CliProcessRunner runner{registry, installPath};
  RegistryDeviceOpener opener;
  SectorReader reader;
  std::filesystem::path installPath;  // the folder of this program
  std::unique_ptr<ActivityLog> log;   // when the program is installed
  std::filesystem::path rescueMap;    // a ddrescue map of the disk opened next, when given

  // Lists the disks (attaching `image` first when given).
  DiskInventory& Inventory(const std::optional<std::filesystem::path>& image = std::nullopt);
  // The inventory the last Inventory or OpenDisk took.
  DiskInventory& inventory() { return *inventory_; }
  // Attaches and selects the disk at `path`; fails with a clear message.
  void OpenDisk(const std::filesystem::path& path);
  int diskNumber() const { return diskNumber_; }
  DiskView disk();

  // Finds the pools by the partition table or the full-disk search.
  Discovery& FindPools(Mode mode);
  // Selects a pool by index or name and lists its volumes.
  void OpenPool(const std::string& pool);
  // Selects a volume by index or name and scans it into the tree.
  void ScanVolume(const std::string& volume);

  Discovery& discovery() { return *discovery_; }
  RecoveryTree tree;

private:
  std::unique_ptr<DiskInventory> inventory_;
  std::unique_ptr<Discovery> discovery_;
  std::optional<std::filesystem::path> attached_;  // detached again at the end of the run
  int diskNumber_ = -1;
};

// Finds an item of a list by its index ("0") or its text.
std::optional<std::size_t> FindByIndexOrName(const std::vector<std::string>& names, const std::string& wanted);

}  // namespace ov::cli
