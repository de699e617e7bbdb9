// ovnss-uninstall: removes the installation that setup made, with its
// shortcuts and registry values, and nothing else.
// Usage: ovnss-uninstall [--yes]
//   --yes  do not ask first (asking needs a terminal)

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "platform/Folders.h"
#include "platform/Registry.h"
#include "setup/InstallList.h"
#include "setup/SetupTexts.h"
#include "setup/Uninstall.h"

int main(int argc, char** argv) {
  bool yes = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--yes") == 0) {
      yes = true;
    } else {
      std::fprintf(stderr, "usage: ovnss-uninstall [--yes]\n");
      return 2;
    }
  }
  ov::FileRegistry registry(ov::FileRegistry::DefaultLocation());
  const std::string folder = registry.ReadText(ov::RegistryRoot::ClassesRoot, ov::setup::kProductKey,
                                               ov::setup::kFilePathValue);
  if (!yes) {
    if (::isatty(STDIN_FILENO) == 0) {
      std::fprintf(stderr, "ovnss-uninstall: not asked on a terminal; run it with --yes\n");
      return 2;
    }
    std::printf("Remove Orlindavestrum for NSS%s%s? [y/N] ", folder.empty() ? "" : " from ", folder.c_str());
    std::fflush(stdout);
    std::string answer;
    std::getline(std::cin, answer);
    if (answer != "y" && answer != "Y" && answer != "yes") return 1;
  }
  const auto result = ov::setup::Uninstall(registry, ov::KnownFolders::FromEnvironment(),
                                           ov::setup::PlatformInstallList());
  for (const auto& path : result.removed) std::printf("removed %s\n", path.c_str());
  for (const auto& path : result.kept) std::printf("kept %s\n", path.c_str());
  if (!result.installed) {
    std::fprintf(stderr, "ovnss-uninstall: no installation found (the registry names none)\n");
    return 1;
  }
  return 0;
}
