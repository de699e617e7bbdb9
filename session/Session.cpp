#include "session/Session.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <ctime>

#include "disk/DiskDescriber.h"
#include "disk/DiskSet.h"
#include "disk/ImageFormats.h"
#include "nss/RecordScan.h"
#include "save/Extraction.h"
#include "save/SaveSettings.h"
#include "platform/Text.h"

namespace ov {

std::filesystem::path ProgramFolder() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::current_path() : exe.parent_path();
}

std::optional<std::size_t> FindByIndexOrName(const std::vector<std::string>& names, const std::string& wanted) {
  std::size_t index = 0;
  auto [p, ec] = std::from_chars(wanted.data(), wanted.data() + wanted.size(), index);
  if (ec == std::errc() && p == wanted.data() + wanted.size()) {
    if (index < names.size()) return index;
    return std::nullopt;
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (Latin1ToUtf8(names[i]) == wanted) return i;
  }
  return std::nullopt;
}

std::vector<std::filesystem::path> SampleDiskPlaces(const std::filesystem::path& programFolder) {
  const std::string name(kSampleDiskName);
  return {programFolder / name, (programFolder / ".." / "share" / "ovnss" / name).lexically_normal(),
          (programFolder / ".." / ".." / "share" / "ovnss" / name).lexically_normal()};
}

std::optional<std::filesystem::path> FindSampleDisk(const std::filesystem::path& programFolder) {
  for (const auto& place : SampleDiskPlaces(programFolder)) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(place, ec)) return place;
  }
  return std::nullopt;
}

std::optional<std::filesystem::path> FindSampleDisk() { return FindSampleDisk(ProgramFolder()); }

int InProcessDescriberRunner::RunAndWait(const std::filesystem::path& program, const std::vector<std::string>& args) {
  if (args.empty() && program == OutsideProgram(installPath_, "MendWMI.exe")) {
    DescribeDisks(registry_);
    return 0;
  }
  return SystemProcessRunner::RunAndWait(program, args);
}

Session::Session(Prompter& answers)
    : prompter(answers),
      runFolder(KnownFolders::FromEnvironment().temp),
      sharedRegistry(FileRegistry::UserAndMachine()),
      runRegistry(runFolder.registryFile()),
      registry(sharedRegistry, runRegistry, kRunOwnedKeys),
      folders(KnownFolders::FromEnvironment()),
      opener(registry),
      reader(opener, prompter),
      installPath(ProgramFolder()) {
  if (!runFolder.ok()) {
    throw Failure("cannot make a folder for this run in " + folders.temp.string() + ": " +
                  std::strerror(runFolder.error()));
  }
  folders.runDriveC = runFolder.driveC();
  runner.SetEnvironment(kRunFolderVariable, runFolder.path().string());  // for the outside programs
  reader.SetOsFamily(DetectOsFamily());
  reader.SetLibraryFolders({installPath});
  const std::string installed = registry.ReadText(RegistryRoot::ClassesRoot, kProductKey, "FilePath");
  if (!installed.empty()) {
    // An installed program logs every run, as the window does.
    log = std::make_unique<ActivityLog>(ActivityLogFolder(installed));
    log->AppendStartBlock(std::time(nullptr));
  }
}

Session::~Session() {
  for (const auto& image : attached_) DetachImage(registry, image);
}

DiskInventory& Session::Inventory(const std::optional<std::filesystem::path>& image) {
  if (image) {
    // A container that cannot be read is named with the reason, before
    // anything is attached.
    if (OpenedImage opened = OpenImage(*image); !opened && DetectImageKind(*image) != ImageKind::Raw) {
      throw Failure(opened.error);
    }
    if (!rescueMap.empty()) {
      std::string error;
      auto map = RescueMap::Load(rescueMap, &error);
      if (!map) throw Failure(error);
      opener.SetRescueMap(std::filesystem::absolute(*image), std::move(*map));
    }
    const auto before = AttachedImages(registry);
    const auto absolute = std::filesystem::absolute(*image);
    const bool known = std::find(before.begin(), before.end(), absolute) != before.end();
    if (!AttachImage(registry, *image)) {
      const int error = errno;
      std::error_code ec;
      if (std::filesystem::exists(*image, ec) && !std::filesystem::is_regular_file(*image, ec) &&
          !std::filesystem::is_block_file(*image, ec)) {
        throw Failure(image->string() + " is not a disk image file or a block device");
      }
      throw Failure("cannot open " + image->string() + " for reading: " + std::strerror(error));
    }
    if (!known) attached_.push_back(absolute);
  }
  inventory_ = std::make_unique<DiskInventory>(
      DiskInventory::Context{registry, runner, prompter, reader, folders, installPath, reader.osFamily(), nullptr});
  if (inventory_->TakeInventory().endProgram) throw Failure("the disk inventory could not be taken");
  return *inventory_;
}

void Session::OpenDisk(const std::filesystem::path& path) {
  DiskInventory& inv = Inventory(path);
  const auto absolute = std::filesystem::absolute(path);
  for (const auto& d : inv.disks()) {
    const std::string device = registry.ReadText(RegistryRoot::ClassesRoot, kDevicePathKey, d.valueName);
    if (std::filesystem::path(device) != absolute) continue;
    if (auto refusal = DiskInventory::ScanRefusal(d.number)) throw Failure(*refusal);
    if (inv.DiskSizeInSectors(d.number) == 0) throw Failure(path.string() + " is empty: it holds no whole sector");
    inv.PickDisk(d.valueName);
    inv.CommitSelection();
    diskNumber_ = d.number;
    MakeDiscovery(device);
    return;
  }
  throw Failure("the disk " + path.string() + " is not in the inventory (is " +
                OutsideProgram(installPath, "MendWMI.exe").string() + " installed?)");
}

DiskView Session::disk() { return DiskView{&reader, std::string(DevicePathOf(static_cast<unsigned>(diskNumber_)))}; }

std::uint64_t Session::SelectedDiskSectors() const {
  if (!discovery_) throw Failure("no disk selected");
  return inventory_->DiskSizeInSectors(diskNumber_);
}

std::optional<std::string> Session::DiskNameOf(const std::filesystem::path& path) {
  if (!inventory_) return std::nullopt;
  const auto absolute = std::filesystem::absolute(path);
  for (const auto& d : inventory_->disks()) {
    const std::string device = registry.ReadText(RegistryRoot::ClassesRoot, kDevicePathKey, d.valueName);
    if (std::filesystem::path(device) == absolute) return d.valueName;
  }
  return std::nullopt;
}

int Session::ScannableDisk(const std::string& valueName) const {
  if (!inventory_) throw Failure("no disk is listed");
  const auto number = DiskNumberOf(valueName);
  if (!number) throw Failure("\"" + valueName + "\" is not a disk");
  if (auto refusal = DiskInventory::ScanRefusal(*number)) throw Failure(*refusal);
  return *number;
}

void Session::SelectDisk(const std::string& valueName) {
  const int number = ScannableDisk(valueName);
  inventory_->PickDisk(valueName);
  inventory_->CommitSelection();
  diskNumber_ = number;
  MakeDiscovery(registry.ReadText(RegistryRoot::ClassesRoot, kDevicePathKey, valueName));
}

void Session::MakeDiscovery(const std::filesystem::path& device) {
  // A disk set is read as one disk, but its pools are gathered disk by disk.
  DiskLayout layout;
  if (!device.empty() && IsDiskSetFile(device)) {
    std::string error;
    auto set = DiskSetLayout(device, &error);
    if (!set) throw Failure(error);
    layout = std::move(*set);
  }
  discovery_ = std::make_unique<Discovery>(disk(), std::move(layout));
}

void Session::OpenDisks(const std::vector<std::filesystem::path>& paths) {
  if (paths.empty()) throw Failure("no disk given");
  if (paths.size() == 1) return OpenDisk(paths.front());
  std::vector<std::filesystem::path> disks;
  for (const auto& p : paths) {
    std::error_code ec;
    if (!std::filesystem::exists(p, ec)) throw Failure("cannot open " + p.string() + " for reading: " + std::strerror(ENOENT));
    disks.push_back(std::filesystem::absolute(p).lexically_normal());
  }
  if (auto problem = DiskSetProblem(disks); !problem.empty()) throw Failure(problem);
  // The set is kept in this run's folder and goes with it.
  const auto setFile = runFolder.path() / ("disk-set-" + std::to_string(++diskSets_) + ".json");
  std::string error;
  if (!WriteDiskSetFile(setFile, disks, error)) throw Failure(error);
  OpenDisk(setFile);
}

void Session::SelectDisks(const std::vector<std::string>& valueNames) {
  if (valueNames.size() == 1) return SelectDisk(valueNames.front());
  std::vector<std::filesystem::path> paths;
  for (const auto& name : valueNames) {
    ScannableDisk(name);
    const std::string device = registry.ReadText(RegistryRoot::ClassesRoot, kDevicePathKey, name);
    if (device.empty()) throw Failure("\"" + name + "\" names no disk that can be read");
    paths.emplace_back(device);
  }
  OpenDisks(paths);
}

void Session::LogStepBlock(std::string_view modeWord) {
  if (log && inventory_) log->AppendStepBlock("Disk" + std::to_string(diskNumber_), inventory_->currentModel(), modeWord);
}

bool Session::OpenPickedPool() {
  if (!discovery_) return false;
  return discovery_->OpenSelectedPool(prompter);
}

void Session::ScanPickedVolume() {
  if (!discovery_ || !discovery_->SelectedVolume()) return;
  Discovery& d = *discovery_;
  ov::ScanVolume(d.disk(), d.currentPool(), d.SelectedVolume()->rootSector, d.pools().compactLayout(), tree,
                 log.get());
}

const std::vector<PartitionEntry>& Session::SearchMorePartitions(SearchListener& listener) {
  if (!discovery_) throw Failure("no disk selected");
  const std::string name = "Disk" + std::to_string(diskNumber_);
  auto number = [&](std::string_view key) {
    return std::strtoull(registry.ReadText(RegistryRoot::ClassesRoot, key, name).c_str(), nullptr, 10);
  };
  const DiskGeometry g{number(kCylinderKey), number(kHeadKey), number(kSectorsPerTrackKey)};
  discovery_->partitions() = ov::SearchMorePartitions(disk(), g, listener, prompter);
  return discovery_->partitions();
}

bool Session::OpenFile(std::uint32_t index) {
  if (!discovery_) return false;
  SaveSettings settings;
  SaveProgress progress;
  SaveListener quiet;
  Extractor extractor(disk(), discovery_->currentPool(), tree, settings, prompter, progress, quiet);
  return extractor.OpenRecoveredFile(index, 0, folders.temp, runner);
}

Discovery& Session::FindPools(SearchMode mode, SearchListener& listener, std::atomic<int>& stop) {
  if (!discovery_) throw Failure("no disk selected");
  Discovery& d = *discovery_;
  LogStepBlock(mode == SearchMode::Quick ? "QUICK" : "Advance");
  if (mode == SearchMode::Quick) {
    QuickPartitionScan(d.disk(), d.pools());
    if (log) log->AppendPartitionsFound(d.partitions().size());
  } else {
    const std::uint64_t total = inventory_->DiskSizeInSectors(diskNumber_);
    FullDiskPoolSearch(d.disk(), d.pools(), total, stop, listener);
  }
  return d;
}

void Session::OpenPool(const std::string& pool) {
  Discovery& d = *discovery_;
  std::vector<std::string> names;
  for (const auto& p : d.pools().pools()) names.push_back(p.name);
  auto index = FindByIndexOrName(names, pool);
  if (!index) throw Failure("no pool \"" + pool + "\" on this disk (" + std::to_string(names.size()) + " found)");
  d.PickPool(*index);
  d.OpenSelectedPool(prompter);
}

void Session::ScanVolume(const std::string& volume) {
  Discovery& d = *discovery_;
  std::vector<std::string> names;
  for (const auto& v : d.volumes()) names.push_back(v.name);
  auto index = FindByIndexOrName(names, volume);
  if (!index) throw Failure("no volume \"" + volume + "\" in this pool (" + std::to_string(names.size()) + " found)");
  d.PickVolume(*index);
  ov::ScanVolume(d.disk(), d.currentPool(), d.SelectedVolume()->rootSector, d.pools().compactLayout(), tree,
                 log.get());
}

}  // namespace ov
