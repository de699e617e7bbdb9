#pragma once
// The commands of ovnss-cli. Each returns the process exit code; reported
// errors are thrown as Failure.

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/SaveReports.h"
#include "cli/TerminalSession.h"

namespace ov::cli {

// A usage error: a missing or bad option value, or a question that needs a
// terminal where there is none. Exit code 2; an empty text was already
// reported.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Common {
  // Every --disk given, in order; several are read as one set, for pools
  // whose segments lie on more than one disk. `disk` names them in
  // messages: the one disk, or the disks joined by " + ".
  std::vector<std::string> disks;
  std::string disk;
  std::string mode = "quick";
  bool json = false;
  std::string badSectors;  // ask | retry-all | skip-all; empty = the default
  std::string pool;
  std::string volume;
  std::string from;  // a recovery information file in place of mode, pool and volume
  std::string map;   // a ddrescue map of the disk
};

// Fills `disk` from `disks`.
void NameDisks(Common& c);
// Opens the disk or the set of disks given.
void OpenGivenDisks(Session& s, const Common& c);

int Disks(const Common& c);
int Pools(const Common& c);
int Volumes(const Common& c);
// With `bodyfile`, writes The Sleuth Kit's body file of the listing instead.
int Ls(const Common& c, const std::string& path, bool recursive, bool bodyfile = false);
// Prints the directory list; with `pdf` or `viewFile` writes it there
// instead (the print through the printer's page layout, the view file as
// the window's View writes it).
int Tree(const Common& c, const std::string& pdf = {}, const std::string& viewFile = {});
// `after` and `before` ("YYYY-MM-DD", empty for none) are the "File
// Updated" dates of the settings window: both days inclusive, files without
// a time stamp always saved.
int Save(const Common& c, const std::string& dest, const std::string& ext, const std::string& replace,
         const std::string& after, const std::string& before, const std::vector<std::string>& paths,
         const SaveExtras& extras = {});
int Partitions(const Common& c);
// Runs the raw signature scan into `dest`; `exact` measures compound
// documents and Zip archives and writes them byte for byte.
int Carve(const Common& c, const std::string& dest, const std::string& kinds, const std::string& start,
          const std::string& end, bool exact = false);
// Writes the scan's findings to a recovery information file.
int SaveInfo(const Common& c, const std::string& out);
// The main job: every pool and volume of the disk (the bundled sample disk
// by default) listed, its tree printed and everything saved under
// dest/<pool>/<volume>, then a summary.
int Recover(const Common& c, const std::string& dest, const std::string& replace);

// Sets up a session for the common options (bad-sector answers).
void Configure(Session& s, const Common& c);
// Opens the disk, finds pools, opens the pool, scans the volume (or loads the
// recovery information file) — the shared way to a volume's tree.
void OpenVolume(Session& s, const Common& c);

}  // namespace ov::cli
