#pragma once
// Runs the built ovnss-cli in a fresh folder with a registry of its own, on
// disks from the image builder: exit code, standard output and error.

#include <sys/wait.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <string>

#include "mkimage/ImageBuilder.h"
#include "support/Files.h"
#include "support/TempDir.h"

namespace ov::test {

inline std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// The output of a shell command and its exit code (-1 when it did not exit).
struct ShellRun {
  int exit = -1;
  std::string out, err;
  nlohmann::json Json() const { return nlohmann::json::parse(out); }
};

inline ShellRun RunShell(const std::string& command, const std::filesystem::path& errFile) {
  ShellRun r;
  if (FILE* p = ::popen((command + " 2>" + ShellQuote(errFile.string())).c_str(), "r")) {
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int status = ::pclose(p);
    r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  r.err = ReadFile(errFile);
  return r;
}

inline bool HaveProgram(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

class CliFixture : public ::testing::Test {
protected:
  void Build(const std::string& description) {
    image = dir / "disk.img";
    auto built = mkimage::BuildImageFromJson(description, image);
    ASSERT_TRUE(built.ok()) << built.error;
    manifest = *built.manifest;
  }
  // The command line in the test's folder with `args`.
  std::string Command(const std::string& args) const {
    return "cd " + ShellQuote(dir.path().string()) + " && OVNSS_MACHINE_REGISTRY= OVNSS_REGISTRY=" +
           ShellQuote((dir / "registry.txt").string()) + " " + ShellQuote(OVNSS_TEST_BINARY_DIR "/bin/ovnss-cli") +
           " " + args;
  }
  ShellRun Exec(const std::string& args) { return RunShell(Command(args) + " </dev/null", dir / "stderr.txt"); }
  // Any other program, in the test's folder.
  ShellRun Shell(const std::string& command) {
    return RunShell("cd " + ShellQuote(dir.path().string()) + " && " + command + " </dev/null", dir / "stderr2.txt");
  }
  std::string Disk() const { return "--disk " + ShellQuote(image.string()); }

  TempDir dir;
  std::filesystem::path image;
  mkimage::Manifest manifest;
};

}  // namespace ov::test
