#pragma once
// Printing the directory list into a PDF file from a program without a
// window (the command line). Needs no display: when the process has no GUI
// application yet, one is made on the offscreen platform for the job.

#include <filesystem>
#include <string>
#include <vector>

namespace ov::print {

// Prints `lines` (UTF-8) through the log printer, one per line, into `file`.
// The number of pages, or 0 with `error` saying why.
int PrintLinesToPdf(const std::vector<std::string>& lines, const std::filesystem::path& file, std::string& error);

}  // namespace ov::print
