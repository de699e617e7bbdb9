// ovnss-cli: the recovery program without a window, for servers, ssh
// sessions, scripts and disk images.
//
//   ovnss-cli <command> [options]
//
// Exit codes: 0 success, 1 a reported error (one line on standard error),
// 2 a usage error, 128 + the signal after Ctrl-C (130) or SIGTERM (143).
// Every line on standard error starts with "ovnss-cli: ".

#include <CLI/CLI.hpp>

#include <functional>
#include <optional>
#include <iostream>
#include <utility>
#include <vector>

#include "cli/Commands.h"
#include "cli/MountCommand.h"
#include "cli/RaidCommand.h"
#include "platform/Version.h"
#include "session/Session.h"

namespace {

using ov::cli::Common;

void AddMap(CLI::App* cmd, Common& c) {
  cmd->add_option("--map", c.map,
                  "ddrescue map of the disk: every area it does not give as finished (+) reads as unreadable");
}
void AddDisk(CLI::App* cmd, Common& c, bool required) {
  auto* opt = cmd->add_option("--disk", c.disks,
                              "disk image (raw, split NAME.001, E01, VMDK, VHD, VHDX, QCOW2), RAID set file or block device, "
                              "opened read-only; give it once per disk for pools whose segments lie on several disks");
  // One value per --disk, so a command's own words are never taken for disks.
  opt->allow_extra_args(false);
  if (required) opt->required();
  AddMap(cmd, c);
}
void AddMode(CLI::App* cmd, Common& c) {
  cmd->add_option("--mode", c.mode, "pool discovery: quick (partition table) or advance (full-disk search)")
      ->check(CLI::IsMember({"quick", "advance"}));
}
void AddVolume(CLI::App* cmd, Common& c) {
  AddDisk(cmd, c, true);
  AddMode(cmd, c);
  cmd->add_option("--pool", c.pool, "pool index or name");
  cmd->add_option("--volume", c.volume, "volume index or name");
  cmd->add_option("--from", c.from, "recovery information file, in place of --mode, --pool and --volume");
}

// A parse error as one line: what CLI11 says, and where to look.
int UsageFailure(const std::string& text) {
  std::cerr << ov::cli::kMessagePrefix << text << " (see ovnss-cli --help)\n";
  return 2;
}

// The first word that is not an option, when it names no command.
std::optional<std::string> UnknownCommand(const CLI::App& app, int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word.empty() || word[0] == '-') {
      if (word == "--bad-sectors") ++i;  // the top level's one option with a value
      continue;
    }
    for (const CLI::App* sub : app.get_subcommands({})) {
      if (sub->get_name() == word) return std::nullopt;
    }
    return word;
  }
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  CLI::App app{"ovnss-cli: recover files from NetWare NSS pools and volumes on a disk or disk image"};
  app.require_subcommand(1);
  app.set_help_all_flag("--help-all", "help for every command");
  app.set_version_flag("--version", "ovnss-cli " + std::string(ov::kVersion), "show the version and end");
  Common c;
  app.add_flag("--json", c.json, "machine-readable output on standard output");
  app.add_option("--bad-sectors", c.badSectors, "unreadable sectors: ask, retry-all or skip-all")
      ->check(CLI::IsMember({"ask", "retry-all", "skip-all"}));
  // The shared options are also accepted after the command's name.
  auto shared = [&](CLI::App* cmd) {
    cmd->add_flag("--json", c.json, "machine-readable output on standard output");
    cmd->add_option("--bad-sectors", c.badSectors, "unreadable sectors: ask, retry-all or skip-all")
        ->check(CLI::IsMember({"ask", "retry-all", "skip-all"}));
  };

  auto* disks = app.add_subcommand("disks", "list the disks with their details");
  AddDisk(disks, c, false);
  shared(disks);

  auto* pools = app.add_subcommand("pools", "list the NSS pools of a disk");
  AddDisk(pools, c, true);
  AddMode(pools, c);
  shared(pools);

  auto* volumes = app.add_subcommand("volumes", "list the volumes of a pool");
  AddDisk(volumes, c, true);
  AddMode(volumes, c);
  volumes->add_option("--pool", c.pool, "pool index or name")->required();
  shared(volumes);

  std::string path = "\\";
  bool recursive = false;
  auto* ls = app.add_subcommand("ls", "list a folder of a volume");
  AddVolume(ls, c);
  ls->add_flag("--recursive,-r", recursive, "list every folder below PATH too");
  bool bodyfile = false;
  ls->add_flag("--bodyfile", bodyfile, "write The Sleuth Kit's body file (for mactime -b) instead of the listing");
  ls->add_option("path", path, "folder or file in the volume (default \\; / also separates)");
  shared(ls);

  std::string treePdf, treeViewFile;
  auto* tree = app.add_subcommand("tree", "print the directory list of a volume");
  AddVolume(tree, c);
  tree->add_option("--pdf", treePdf, "print the directory list into this PDF file, page by page as on a printer");
  tree->add_option("--view-file", treeViewFile, "write the directory list's view file (CR LF line ends) here");
  shared(tree);

  std::string dest, ext, replace, after, before;
  std::vector<std::string> paths;
  auto* save = app.add_subcommand("save", "save folders and files of a volume");
  AddVolume(save, c);
  save->add_option("--dest", dest, "destination folder")->required();
  save->add_option("--ext", ext, "save only these extensions, e.g. doc,xls");
  save->add_option("--replace", replace, "existing files: ask, yes-to-all or no-to-all")
      ->check(CLI::IsMember({"ask", "yes-to-all", "no-to-all"}));
  save->add_option("--after", after, "save only files stamped on or after this day, YYYY-MM-DD (1970-2030)");
  save->add_option("--before", before, "save only files stamped on or before this day, YYYY-MM-DD (1970-2099)");
  save->add_option("paths", paths, "folders or files to save (default: everything)");
  ov::cli::SaveExtras saveExtras;
  save->add_option("--hash", saveExtras.hashes,
                   "also hash each file as it is written (md5, sha1, sha256; several allowed) and write "
                   "MD5SUMS, SHA1SUMS or SHA256SUMS into the destination for sha256sum -c")
      ->delimiter(',')
      ->check(CLI::IsMember({"md5", "sha1", "sha256"}));
  save->add_option("--dfxml", saveExtras.dfxml,
                   "write a DFXML report of the save (source, volume, each file's size, time, disk runs, hashes)");
  shared(save);

  auto* partitions = app.add_subcommand("partitions", "search the disk for ext2 partitions");
  AddDisk(partitions, c, true);
  shared(partitions);

  std::string carveDest, carveKinds, carveStart, carveEnd;
  auto* carve = app.add_subcommand("carve", "search the disk for Word, Excel, PowerPoint and Zip documents");
  AddDisk(carve, c, true);
  carve->add_option("--dest", carveDest, "folder for the documents (DOC1.DOC, ...)")->required();
  carve->add_option("--kinds", carveKinds, "kinds to write: word,excel,powerpoint,zip (default: all)");
  carve->add_option("--start", carveStart, "first sector of the range (default 0)");
  carve->add_option("--end", carveEnd, "end of the range, not included (default: the disk's end)");
  bool carveExact = false;
  carve->add_flag("--exact", carveExact,
                  "measure compound documents and Zip archives from their structure and write them byte for byte");
  shared(carve);

  std::string infoOut;
  auto* saveInfo = app.add_subcommand("save-info", "write a volume's findings to a recovery information file");
  AddDisk(saveInfo, c, true);
  AddMode(saveInfo, c);
  saveInfo->add_option("--pool", c.pool, "pool index or name")->required();
  saveInfo->add_option("--volume", c.volume, "volume index or name")->required();
  saveInfo->add_option("--out", infoOut, "the file to write (named by the .SAV rule)")->required();
  shared(saveInfo);

  std::string mountPoint;
  bool mountBackground = false;
  auto* mount = app.add_subcommand(
      "mount", "mount a volume read-only as a folder (FUSE): its folders and files as a save would write them");
  AddVolume(mount, c);
  mount->add_option("mountpoint", mountPoint, "an empty folder to mount on")->required();
  mount->add_flag("--background,-d", mountBackground, "leave the terminal and serve in the background");
  shared(mount);

  std::string recoverDest = "recovered", recoverReplace;
  auto* recover = app.add_subcommand(
      "recover", "the whole job: list every pool and volume, print their trees and save everything");
  recover->add_option("--disk", c.disks,
                      "disk image file or block device (default: the sample disk installed with the program); "
                      "once per disk for pools across several disks")
      ->allow_extra_args(false);
  AddMap(recover, c);
  AddMode(recover, c);
  recover->add_option("--dest", recoverDest, "destination folder (default: ./recovered)");
  recover->add_option("--replace", recoverReplace, "existing files: ask, yes-to-all or no-to-all")
      ->check(CLI::IsMember({"ask", "yes-to-all", "no-to-all"}));
  shared(recover);

  const auto raid = ov::cli::AddRaidCommand(app, c);

  if (auto unknown = UnknownCommand(app, argc, argv)) {
    std::string names;
    for (const CLI::App* sub : app.get_subcommands({})) names += (names.empty() ? "" : ", ") + sub->get_name();
    return UsageFailure("unknown command \"" + *unknown + "\"; the commands are " + names);
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    return UsageFailure(e.what());
  }
  ov::cli::NameDisks(c);

  // Each command: its subcommand, and what runs it.
  const std::vector<std::pair<CLI::App*, std::function<int()>>> commands = {
      {disks, [&] { return ov::cli::Disks(c); }},
      {pools, [&] { return ov::cli::Pools(c); }},
      {volumes, [&] { return ov::cli::Volumes(c); }},
      {ls, [&] { return ov::cli::Ls(c, path, recursive, bodyfile); }},
      {tree, [&] { return ov::cli::Tree(c, treePdf, treeViewFile); }},
      {save,
       [&] {
         for (int i = 0; i < argc; ++i) saveExtras.commandLine += (i ? " " : "") + std::string(argv[i]);
         return ov::cli::Save(c, dest, ext, replace, after, before, paths, saveExtras);
       }},
      {partitions, [&] { return ov::cli::Partitions(c); }},
      {mount, [&] { return ov::cli::Mount(c, mountPoint, mountBackground); }},
      {saveInfo, [&] { return ov::cli::SaveInfo(c, infoOut); }},
      {carve, [&] { return ov::cli::Carve(c, carveDest, carveKinds, carveStart, carveEnd, carveExact); }},
      {recover,
       [&] {
         if (c.disk.empty()) {
           // The sample disk installed with the program, found from where the
           // program lies.
           const auto sample = ov::FindSampleDisk();
           if (!sample) {
             std::string places;
             for (const auto& place : ov::SampleDiskPlaces(ov::ProgramFolder()))
               places += (places.empty() ? "" : ", ") + place.string();
             throw ov::cli::UsageError("recover: no sample disk is installed with this program (none of " + places +
                                       "); name the disk with --disk");
           }
           c.disks = {sample->string()};
           ov::cli::NameDisks(c);
         }
         return ov::cli::Recover(c, recoverDest, recoverReplace);
       }},
  };

  ov::cli::InstallInterruptHandler();
  int code = 2;
  try {
    if (const int r = raid(); r >= 0) code = r;
    for (const auto& [sub, run] : commands) {
      if (*sub) code = run();
    }
  } catch (const ov::cli::UsageError& e) {
    // An empty text was already reported by the program's own message.
    if (*e.what()) std::cerr << ov::cli::kMessagePrefix << e.what() << "\n";
    code = 2;
  } catch (const ov::cli::Failure& e) {
    if (*e.what()) std::cerr << ov::cli::kMessagePrefix << e.what() << "\n";
    code = 1;
  } catch (const std::bad_alloc&) {
    std::cerr << ov::cli::kMessagePrefix << "Out Of Memory\n";
    code = 1;
  } catch (const std::exception& e) {
    std::cerr << ov::cli::kMessagePrefix << e.what() << "\n";
    code = 1;
  }
  std::cout.flush();
  // A run that a signal ended says so in its exit code.
  if (ov::cli::Interrupted()) return ov::cli::InterruptExitCode();
  return code;
}
