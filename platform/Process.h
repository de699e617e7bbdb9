#pragma once
// Running outside programs, and the shell's "open" verb.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ov {

class ProcessRunner {
public:
  virtual ~ProcessRunner() = default;

  // Runs a program and waits until it exits. Returns its exit code, or -1
  // when it could not be started or did not exit normally.
  virtual int RunAndWait(const std::filesystem::path& program, const std::vector<std::string>& args) = 0;
  // Opens a file or folder with the desktop's associated program, like the
  // shell's "open" verb; does not wait for the program it starts. False when
  // nothing could be started, or the opener said at once that nothing opens
  // the file.
  virtual bool ShellOpen(const std::filesystem::path& target) = 0;
  // Starts a program through the "open" verb without waiting for it.
  virtual bool Start(const std::filesystem::path& program, const std::vector<std::string>& args) = 0;
  // True while a top-level window with this title exists. The Linux desktop
  // has no portable equivalent, so the real runner answers as if the window
  // were gone.
  virtual bool TopLevelWindowExists(std::string_view title) = 0;
};

// The real runner: posix_spawn and waitpid; "open" is xdg-open. A program
// name without a slash is looked up on PATH. Started programs inherit the
// environment, the standard streams and the current folder, with every
// signal unblocked and at its default action. Programs started without
// waiting are reaped in the background, so none is left as a zombie.
class SystemProcessRunner : public ProcessRunner {
public:
  int RunAndWait(const std::filesystem::path& program, const std::vector<std::string>& args) override;
  bool ShellOpen(const std::filesystem::path& target) override;
  bool Start(const std::filesystem::path& program, const std::vector<std::string>& args) override;
  bool TopLevelWindowExists(std::string_view title) override;

  // Sets a variable in the environment of the programs this runner starts
  // with RunAndWait and Start (not of those the shell opens), over the one
  // they would inherit.
  void SetEnvironment(std::string name, std::string value);

private:
  std::vector<std::pair<std::string, std::string>> environment_;
};

// The first executable file of that name in the folders of PATH (the
// current folder for an empty entry); nothing when there is none.
std::optional<std::filesystem::path> FindOnPath(std::string_view name);

// The executable that stands for one of the Windows build's outside programs
// in the installation folder: "MendWMI.exe" -> <folder>/ovnss-mendwmi,
// "Chsprobe.exe" -> ovnss-chsprobe, "Fixcount.exe" -> ovnss-fixcount (names
// compare ignoring case). Other names are joined to the folder unchanged.
std::filesystem::path OutsideProgram(const std::filesystem::path& installFolder, std::string_view windowsName);

}  // namespace ov
