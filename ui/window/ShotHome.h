#pragma once
// The fresh folder a screenshot program runs the window in: a registry store
// of its own that names the folder as the installation, and the folder for
// the run's files.

#include <QDir>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/HelpTexts.h"
#include "platform/Registry.h"

namespace ov::window {

// Makes the folder for `program`, points the run at it and answers its path.
inline std::string PrepareShotHome(const std::string& program) {
  const std::string home = QDir::tempPath().toStdString() + "/" + program + "-" + std::to_string(::getpid());
  std::filesystem::create_directories(home);
  const std::string registry = home + "/registry.txt";
  ::setenv("OVNSS_REGISTRY", registry.c_str(), 1);
  ::setenv("OVNSS_TEMP_DIR", home.c_str(), 1);
  FileRegistry r(registry);
  r.CreateKey(RegistryRoot::ClassesRoot, kProductKey);
  r.SetValue(RegistryRoot::ClassesRoot, kProductKey, "FilePath", home);
  return home;
}

}  // namespace ov::window
