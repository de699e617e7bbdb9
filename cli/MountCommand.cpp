#include "cli/MountCommand.h"

#include <nlohmann/json.hpp>

#include <iostream>

#include "platform/Text.h"
#ifdef OVNSS_HAVE_FUSE
#include "mount/FuseMount.h"
#include "save/SavedTree.h"
#endif

namespace ov::cli {

#ifdef OVNSS_HAVE_FUSE

int Mount(const Common& c, const std::string& mountPoint, bool background) {
  if (!FuseMount::Available()) throw Failure("cannot mount: FUSE is not available here (/dev/fuse cannot be opened)");
  Common options = c;
  // Nobody is there to answer while a file manager reads.
  if (options.badSectors.empty()) options.badSectors = "skip-all";
  Session s;
  Configure(s, options);
  OpenVolume(s, options);
  const SavedTree tree(s.tree, s.discovery().currentPool());
  FuseMount mount(tree, s.disk(), [](const std::string& line) { std::cerr << "ovnss-cli: " << Latin1ToUtf8(line) << "\n"; });
  std::string error;
  if (!mount.Mount(mountPoint, &error)) throw Failure(error);
  std::size_t files = 0;
  for (std::size_t i = 0; i < tree.size(); ++i) files += tree.at(static_cast<std::uint32_t>(i)).folder ? 0 : 1;
  const std::size_t folders = tree.size() - files - 1;
  if (c.json) {
    std::cout << nlohmann::json{{"mountPoint", mountPoint}, {"folders", folders}, {"files", files}}.dump() << std::endl;
  } else {
    std::cout << "Mounted read-only on " << mountPoint << ": " << folders << " folder(s), " << files
              << " file(s). Ctrl-C or fusermount3 -u " << mountPoint << " unmounts." << std::endl;
  }
  mount.Serve(true, background);
  if (!c.json) std::cout << "Unmounted " << mountPoint << std::endl;
  return 0;
}

#else

int Mount(const Common&, const std::string&, bool) {
  throw Failure("mount is not available: this ovnss-cli was built without libfuse3");
}

#endif

}  // namespace ov::cli
