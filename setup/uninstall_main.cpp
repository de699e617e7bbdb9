// ovnss-uninstall: removes the installation that setup made, with its
// shortcuts, links and registry values, and what the program made in the
// user's home; nothing else.
// Usage: ovnss-uninstall [--yes] [--keep-log]
//   --yes       do not ask first
//   --keep-log  keep the activity log
// Without --yes it asks: in a window when one can be shown (the menu entry
// starts it without a terminal), else on the terminal.

#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "platform/Folders.h"
#include "platform/Registry.h"
#include "platform/Version.h"
#include "records/ActivityLog.h"
#include "setup/InstallList.h"
#include "setup/Places.h"
#include "setup/SetupTexts.h"
#include "setup/Uninstall.h"

namespace {

constexpr const char* kUsage =
    "Usage: ovnss-uninstall [--yes] [--keep-log]\n"
    "Removes Orlindavestrum for NSS as setup installed it, with its menu entries, links and\n"
    "registry values, and what the program made in your home.\n"
    "  --yes       do not ask first\n"
    "  --keep-log  keep the activity log\n"
    "  --help      show this text and end\n"
    "  --version   show the version and end\n";

enum class Answer { Remove, RemoveKeepLog, Cancel, CannotAsk };

bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  return platform != nullptr && *platform != '\0';
}

Answer AskOnTerminal(const std::string& question) {
  std::printf("%s [y/N] ", question.c_str());
  std::fflush(stdout);
  std::string answer;
  std::getline(std::cin, answer);
  if (answer != "y" && answer != "Y" && answer != "yes") return Answer::Cancel;
  std::printf("Keep the activity log? [y/N] ");
  std::fflush(stdout);
  answer.clear();
  std::getline(std::cin, answer);
  return (answer == "y" || answer == "Y" || answer == "yes") ? Answer::RemoveKeepLog : Answer::Remove;
}

Answer AskInWindow(int argc, char** argv, const std::string& question) {
  QApplication app(argc, argv);
  QMessageBox box(QMessageBox::Question, QStringLiteral("Orlindavestrum"), QString::fromStdString(question),
                  QMessageBox::NoButton);
  auto* remove = box.addButton(QStringLiteral("&Remove"), QMessageBox::AcceptRole);
  auto* keep = box.addButton(QStringLiteral("Remove, &keep the log"), QMessageBox::AcceptRole);
  box.addButton(QMessageBox::Cancel);
  box.setDefaultButton(QMessageBox::Cancel);
  box.exec();
  if (box.clickedButton() == static_cast<QAbstractButton*>(remove)) return Answer::Remove;
  if (box.clickedButton() == static_cast<QAbstractButton*>(keep)) return Answer::RemoveKeepLog;
  return Answer::Cancel;
}

}  // namespace

int main(int argc, char** argv) {
  bool yes = false, keepLog = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--yes") == 0) {
      yes = true;
    } else if (std::strcmp(argv[i], "--keep-log") == 0) {
      keepLog = true;
    } else if (std::strcmp(argv[i], "--help") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("ovnss-uninstall %.*s\n", static_cast<int>(ov::kVersion.size()), ov::kVersion.data());
      return 0;
    } else {
      std::fprintf(stderr, "ovnss-uninstall: unknown option %s\n%s", argv[i], kUsage);
      return 2;
    }
  }
  const auto places = ov::setup::PlacesOfThisProcess();
  ov::FileRegistry registry(places.registryFile);
  const std::string folder = registry.ReadText(ov::RegistryRoot::ClassesRoot, ov::setup::kProductKey,
                                               ov::setup::kFilePathValue);
  if (!yes) {
    const std::string question =
        "Remove Orlindavestrum for NSS" + (folder.empty() ? std::string() : " from " + folder) + "?";
    Answer answer = Answer::CannotAsk;
    if (::isatty(STDIN_FILENO) != 0) {
      answer = AskOnTerminal(question);
    } else if (HasDisplay()) {
      answer = AskInWindow(argc, argv, question);
    }
    if (answer == Answer::CannotAsk) {
      std::fprintf(stderr, "ovnss-uninstall: no terminal or display to ask on; run it with --yes\n");
      return 2;
    }
    if (answer == Answer::Cancel) return 1;
    keepLog = keepLog || answer == Answer::RemoveKeepLog;
  }
  ov::setup::UninstallHome home;
  home.binFolder = places.binFolder;
  home.registryFile = places.registryFile;
  home.keepLog = keepLog;
  // The log of a user of an installation they could not write to (the
  // user's own; root's machine-wide uninstall leaves other users' homes alone).
  if (!places.machineWide && !folder.empty()) home.logFolder = ov::ActivityLogStateFolder();
  const auto result = ov::setup::Uninstall(registry, places.folders, ov::setup::PlatformInstallList(), home);
  for (const auto& path : result.removed) std::printf("removed %s\n", path.c_str());
  for (const auto& path : result.kept) std::printf("kept %s\n", path.c_str());
  if (!result.installed) {
    std::fprintf(stderr, "ovnss-uninstall: no installation found (%s names none)\n",
                 places.registryFile.c_str());
    return 1;
  }
  return 0;
}
