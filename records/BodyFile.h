#pragma once
// The Sleuth Kit's body file of a volume: one line per folder and file,
//
//   MD5|name|inode|mode_as_string|UID|GID|size|atime|mtime|ctime|crtime
//
// as `fls -m` writes it and `mactime -b` reads it, so a recovered volume can
// join a timeline built with those tools.
//
// Names are the paths a save writes, from the volume's root: "/" followed
// by the safe names of the folders and the file, joined by "/". A "|" in a
// name would split the line, so it is written as "_" there (the only place
// where a line's name differs from the saved file's). The inode is the
// record's object ID; the MD5 is not known (0). A volume records one time
// stamp per object, its modification time: it goes into mtime, and the
// other three times are 0 (unknown), as is mtime for a record without a
// stamp. Folders read "d/dr-xr-xr-x" with size 0, files "r/rr--r--r--":
// recovered data is read-only.

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

#include "nss/RecoveryTree.h"

namespace ov {

// One body-file line (ended by "\n") for a folder or file at `path` ("/A/b").
std::string BodyFileLine(std::string_view path, const TreeNode& node, bool folder);

// Writes the lines of `file` alone when it is given; otherwise those of the
// folders and files in the folder `item` (whose own path is `itemPath`, ""
// for the root), and with `recursive` of every folder below it, folder by
// folder as `ls` lists them. Answers the number of lines.
std::uint64_t WriteBodyFile(const RecoveryTree& tree, ItemHandle item, const TreeNode* file, bool recursive,
                            std::ostream& out);

}  // namespace ov
