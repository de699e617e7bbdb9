#pragma once
// The directory list printed into a PDF file as the window's printer lays it
// out, without a graphics library: A4 pages, half-inch margins, a
// fixed-pitch font of 10 points (the PDF's own Courier), and on every page
// the header "Orlindavestrum Log" at the left, the page number at the right
// and a red rule below them. Lines are added one at a time; only the page
// being filled is held. The file is written under a temporary name beside
// its own and takes its name when finished.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "save/OutputFile.h"

namespace ov::cli {

class TextPdf {
public:
  TextPdf();
  ~TextPdf();
  // Starts the document at `file`; false with the reason in `error`.
  bool Open(const std::filesystem::path& file, std::string& error);
  // Prints one line (UTF-8; what the font lacks is printed as "?").
  void Line(std::string_view utf8);
  // Ends the document (a document without lines still has its first page)
  // and answers the number of pages; 0 with the reason in `error`.
  int Finish(std::string& error);

  // The lines a page holds.
  static int LinesPerPage();

private:
  void EndPage();
  void Put(const std::string& bytes);
  // Starts object `number` at the current place of the file.
  void Begin(std::uint32_t number);

  std::unique_ptr<OutputFolder> folder_;
  std::unique_ptr<OutputFile> file_;
  std::uint64_t written_ = 0;
  bool failed_ = false;
  std::vector<std::uint64_t> offsets_;  // by object number
  std::vector<std::uint32_t> pages_;    // page object numbers
  std::string page_;                    // the lines of the page being filled
  int linesOnPage_ = 0;
};

}  // namespace ov::cli
