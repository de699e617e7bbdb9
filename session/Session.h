#pragma once
// One run of the recovery program: the core's objects wired together, and
// the steps both front ends share (open the disk, find pools, open a
// volume). The front end answers the questions through its prompter and
// watches long searches through their listeners.

#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "disk/DeviceOpener.h"
#include "disk/Inventory.h"
#include "disk/SectorReader.h"
#include "nss/Discovery.h"
#include "nss/PartitionScan.h"
#include "nss/RecoveryTree.h"
#include "platform/Folders.h"
#include "platform/Process.h"
#include "platform/Prompter.h"
#include "platform/Registry.h"
#include "platform/RunFolder.h"
#include "platform/RunRegistry.h"
#include "records/ActivityLog.h"

namespace ov {

// A reported error: the front end shows its text.
struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// How the pools are found: the partition table, or the whole disk.
enum class SearchMode { Quick, Advance };

// Starts outside programs as the system does, except the disk-describing
// program, which is built from this project's own core: its work runs in
// this process, on this run's registry, with the same result and without
// the cost of starting a process for every run.
class InProcessDescriberRunner : public SystemProcessRunner {
public:
  InProcessDescriberRunner(Registry& registry, const std::filesystem::path& installPath)
      : registry_(registry), installPath_(installPath) {}
  int RunAndWait(const std::filesystem::path& program, const std::vector<std::string>& args) override;

private:
  Registry& registry_;
  const std::filesystem::path& installPath_;
};

class Session {
public:
  // `answers` answers every question of the run; it must outlive the session.
  explicit Session(Prompter& answers);
  ~Session();

  Prompter& prompter;
  // Runs open at the same time share the installation values, but each has
  // its own disks: their descriptions and the attached images live in this
  // run's store, in a folder of its own that also holds its drive-C scratch
  // files and goes when the run ends.
  RunFolder runFolder;
  FileRegistry sharedRegistry;
  FileRegistry runRegistry;
  RunRegistry registry;
  KnownFolders folders;
  InProcessDescriberRunner runner{registry, installPath};
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
  // Several disks of one server read as one, for pools whose segments lie
  // on more than one of them (one path is OpenDisk). Fails for a disk given
  // twice, a disk that cannot be opened, or an empty one.
  void OpenDisks(const std::vector<std::filesystem::path>& paths);
  int diskNumber() const { return diskNumber_; }
  DiskView disk();
  // The selected disk's size in sectors; fails when no disk is selected.
  std::uint64_t SelectedDiskSectors() const;

  // Finds the pools by the partition table or the full-disk search; the
  // search reports to `listener` and ends early when `stop` becomes 1.
  Discovery& FindPools(SearchMode mode, SearchListener& listener, std::atomic<int>& stop);
  // The name ("Disk2") of the listed disk that reads `path`, if listed.
  std::optional<std::string> DiskNameOf(const std::filesystem::path& path);
  // Selects the listed disk named `valueName` ("Disk2") for every scan, as
  // leaving the disk step does; fails for a disk that cannot be scanned.
  void SelectDisk(const std::string& valueName);
  // Selects several listed disks as one set (one name is SelectDisk).
  void SelectDisks(const std::vector<std::string>& valueNames);
  // The step block of the log for the chosen mode word ("QUICK", "Advance",
  // "Raw"); FindPools writes it itself.
  void LogStepBlock(std::string_view modeWord);

  // Opens the pool picked in the discovery and lists its volumes.
  bool OpenPickedPool();
  // Scans the volume picked in the discovery into the tree.
  void ScanPickedVolume();
  // Probes the selected disk for ext2 file systems ("Search More
  // Partitions"); the entries replace the discovery's earlier ones.
  const std::vector<PartitionEntry>& SearchMorePartitions(SearchListener& listener);
  // Copies the file with key `index` of the tree to the temporary folder and
  // opens it with the desktop's program for it.
  bool OpenFile(std::uint32_t index);

  // Selects a pool by index or name and lists its volumes.
  void OpenPool(const std::string& pool);
  // Selects a volume by index or name and scans it into the tree.
  void ScanVolume(const std::string& volume);

  Discovery& discovery() { return *discovery_; }
  RecoveryTree tree;

private:
  // The number of the listed disk `valueName`; fails for one that cannot be scanned.
  int ScannableDisk(const std::string& valueName) const;
  void MakeDiscovery(const std::filesystem::path& device);

  std::unique_ptr<DiskInventory> inventory_;
  int diskSets_ = 0;
  std::unique_ptr<Discovery> discovery_;
  std::vector<std::filesystem::path> attached_;  // detached again at the end of the run
  int diskNumber_ = -1;
};

// The sample disk that comes with the program, "sample-disk.img": beside
// the program in `programFolder`, or in the shared data folder share/ovnss
// of the tree the program lies in (<prefix>/lib/ovnss/.. /../share/ovnss for
// a package, build/bin/../share/ovnss for the build tree). Nothing when no
// such file exists. The default reads the folder of this program.
inline constexpr std::string_view kSampleDiskName = "sample-disk.img";
std::vector<std::filesystem::path> SampleDiskPlaces(const std::filesystem::path& programFolder);
std::optional<std::filesystem::path> FindSampleDisk(const std::filesystem::path& programFolder);
std::optional<std::filesystem::path> FindSampleDisk();
// The folder of the running program (its links resolved).
std::filesystem::path ProgramFolder();

// Finds an item of a list by its index ("0") or its text.
std::optional<std::size_t> FindByIndexOrName(const std::vector<std::string>& names, const std::string& wanted);

}  // namespace ov
