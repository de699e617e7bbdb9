#pragma once
// A folder that belongs to one run of the program.
//
// Runs open at the same time (a window and command lines) share the
// installation, the registry store and the activity log, but not what
// describes their own work: each keeps its own registry store (its disks and
// attached images) and the files it writes at the root of drive C and reads
// back itself (the geometry answer, the folder structure dumps). Both live in
// the run's folder, made under the temporary folder when the run starts and
// removed with its contents when it ends. The outside programs a run starts
// find it through OVNSS_RUN_DIR.

#include <filesystem>
#include <optional>
#include <string_view>

namespace ov {

inline constexpr const char* kRunFolderVariable = "OVNSS_RUN_DIR";

// The run's registry store and drive C inside its folder.
inline std::filesystem::path RunRegistryFile(const std::filesystem::path& runFolder) {
  return runFolder / "registry.txt";
}
inline std::filesystem::path RunDriveC(const std::filesystem::path& runFolder) { return runFolder / "drive_c"; }

// The folder named by OVNSS_RUN_DIR, for an outside program started by a run;
// nothing when it is unset or empty.
std::optional<std::filesystem::path> RunFolderFromEnvironment();

class RunFolder {
public:
  // Makes a new folder "ovnss-run-XXXXXX", readable by this user only, under
  // `parent`; ok() is false when it cannot be made.
  explicit RunFolder(const std::filesystem::path& parent);
  // Removes the folder with everything in it.
  ~RunFolder();
  RunFolder(const RunFolder&) = delete;
  RunFolder& operator=(const RunFolder&) = delete;

  bool ok() const { return !path_.empty(); }
  int error() const { return error_; }  // why it could not be made (errno)
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path registryFile() const { return RunRegistryFile(path_); }
  std::filesystem::path driveC() const { return RunDriveC(path_); }

private:
  std::filesystem::path path_;
  int error_ = 0;
};

}  // namespace ov
