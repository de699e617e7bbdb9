#pragma once
// What the window says of a run over several disks: the disks picked
// together at the disk step, the pools with the disk of each segment, the
// pools the disks cannot give whole, and the files a save left out because
// their data lies on a segment no disk gives. Plain text from the core's
// tables; the window only shows it.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "disk/Inventory.h"
#include "nss/Discovery.h"
#include "save/Extraction.h"

namespace ov::window {

// Appended to the pool tree text of a pool with a missing segment.
inline constexpr std::string_view kIncompletePool = " (incomplete)";

// The details rows of several disks picked together: "Disks selected : 2",
// then one row per disk with its model and size.
std::vector<std::string> SelectedDisksRows(DiskInventory& inventory, const std::vector<std::string>& names);

// The pool tree of the run: a pool with a missing segment is marked, and
// pools of one name on different disks are told apart by their disk.
ItemList RunPoolTree(const Discovery& discovery, std::uint16_t diskNumber);

// A click on pool tree item `item`: selects the pool and answers its
// details rows; in a run over several disks the segment rows follow.
std::optional<std::vector<std::string>> PickRunPool(Discovery& discovery, std::size_t item);

// The warning shown once after the pool search when the disks did not give
// every pool whole; empty when they did.
std::string PoolProblemsText(const Discovery& discovery);

// What the finishing message of a save says of the files not saved since
// part of their data lies on a missing pool segment; empty when none.
std::string MissingSegmentFilesText(const std::vector<UnreadFile>& files);

}  // namespace ov::window
