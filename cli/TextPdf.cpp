#include "cli/TextPdf.h"

#include <cstdio>

namespace ov::cli {

namespace {

// Page measures in points (1/72 inch): A4, half-inch margins, and the line
// height of a 10-point fixed-pitch font with its leading.
constexpr double kPageWidth = 595.276;
constexpr double kPageHeight = 841.89;
constexpr double kMargin = 36;
constexpr double kLineHeight = 13.28;
constexpr double kAscent = 9.28;
constexpr double kFontSize = 10;
constexpr double kAdvance = 6;  // Courier: 600/1000 of the size
constexpr const char* kHeaderTitle = "Orlindavestrum Log";
constexpr const char* kDocumentTitle = "Orlindavestrum For NSS";

// Object numbers fixed ahead: the catalog, the page tree (written last),
// the font and the document's information; pages follow.
constexpr std::uint32_t kCatalog = 1;
constexpr std::uint32_t kPageTree = 2;
constexpr std::uint32_t kFont = 3;
constexpr std::uint32_t kInfo = 4;

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

// A PDF string of `utf8` in the font's encoding (Latin-1 for the letters
// names use), with "(", ")" and "\" escaped.
std::string PdfString(std::string_view utf8) {
  std::string out = "(";
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    auto c = static_cast<unsigned char>(utf8[i]);
    std::uint32_t code = c;
    if (c >= 0x80) {
      std::size_t extra = (c >> 5) == 0x6 ? 1 : (c >> 4) == 0xE ? 2 : (c >> 3) == 0x1E ? 3 : 0;
      code = extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
      for (std::size_t k = 0; k < extra && i + 1 < utf8.size(); ++k) code = (code << 6) | (utf8[++i] & 0x3F);
      if (extra == 0 || code < 0xA0 || code > 0xFF) code = '?';
    }
    if (code < 0x20) code = '?';
    if (code == '(' || code == ')' || code == '\\') out += '\\';
    out += static_cast<char>(code);
  }
  return out + ")";
}

// The y of a baseline whose text cell's top lies `top` points below the
// page's top edge.
double Baseline(double top) { return kPageHeight - top - kAscent; }

}  // namespace

TextPdf::TextPdf() = default;
TextPdf::~TextPdf() = default;

int TextPdf::LinesPerPage() {
  int lines = 0;
  for (double y = kMargin; y <= kPageHeight - kMargin; y += kLineHeight) ++lines;
  return lines;
}

bool TextPdf::Open(const std::filesystem::path& file, std::string& error) {
  const std::filesystem::path parent = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
  folder_ = OutputFolder::Open(parent, &error);
  if (folder_) file_ = folder_->Create(file.filename().string(), &error);
  if (!file_) return false;
  offsets_.assign(kInfo + 1, 0);
  Put("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
  Begin(kCatalog);
  Put("<< /Type /Catalog /Pages 2 0 R >>\nendobj\n");
  Begin(kFont);
  Put("<< /Type /Font /Subtype /Type1 /BaseFont /Courier /Encoding /WinAnsiEncoding >>\nendobj\n");
  Begin(kInfo);
  Put(std::string("<< /Title ") + PdfString(kDocumentTitle) + " /Creator " + PdfString(kDocumentTitle) +
      " >>\nendobj\n");
  return !failed_;
}

void TextPdf::Line(std::string_view utf8) {
  if (linesOnPage_ == LinesPerPage()) EndPage();
  page_ += PdfString(utf8) + (linesOnPage_ == 0 ? " Tj\n" : " '\n");
  ++linesOnPage_;
}

void TextPdf::EndPage() {
  const std::string number = std::to_string(pages_.size() + 1);
  const double headerTop = kMargin - 1.5 * kLineHeight;
  const double ruleY = kPageHeight - (kMargin - kLineHeight / 2);
  std::string content;
  // The red rule under the header, 3 pixels of 300 per inch, round ends.
  content += "q 1 0 0 RG 0.72 w 1 J " + Number(kMargin) + " " + Number(ruleY) + " m " + Number(kPageWidth - kMargin) +
             " " + Number(ruleY) + " l S Q\n";
  content += "BT /F1 " + Number(kFontSize) + " Tf " + Number(kMargin) + " " + Number(Baseline(headerTop)) + " Td " +
             PdfString(kHeaderTitle) + " Tj ET\n";
  content += "BT /F1 " + Number(kFontSize) + " Tf " +
             Number(kPageWidth - kMargin - kAdvance * static_cast<double>(number.size())) + " " +
             Number(Baseline(headerTop)) + " Td " + PdfString(number) + " Tj ET\n";
  if (linesOnPage_ > 0) {
    content += "BT /F1 " + Number(kFontSize) + " Tf " + Number(kLineHeight) + " TL " + Number(kMargin) + " " +
               Number(Baseline(kMargin)) + " Td\n" + page_ + "ET\n";
  }
  const auto pageObject = static_cast<std::uint32_t>(offsets_.size());
  offsets_.resize(offsets_.size() + 2);
  Begin(pageObject);
  Put("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + Number(kPageWidth) + " " + Number(kPageHeight) +
      "] /Resources << /Font << /F1 3 0 R >> >> /Contents " + std::to_string(pageObject + 1) + " 0 R >>\nendobj\n");
  Begin(pageObject + 1);
  Put("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "endstream\nendobj\n");
  pages_.push_back(pageObject);
  page_.clear();
  linesOnPage_ = 0;
}

int TextPdf::Finish(std::string& error) {
  if (!file_) {
    error = "the PDF file was not opened";
    return 0;
  }
  if (linesOnPage_ > 0 || pages_.empty()) EndPage();
  Begin(kPageTree);
  std::string kids;
  for (auto page : pages_) kids += std::to_string(page) + " 0 R ";
  Put("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages_.size()) + " >>\nendobj\n");
  const std::uint64_t xref = written_;
  std::string table = "xref\n0 " + std::to_string(offsets_.size()) + "\n0000000000 65535 f \n";
  for (std::size_t i = 1; i < offsets_.size(); ++i) {
    char entry[24];
    std::snprintf(entry, sizeof entry, "%010llu 00000 n \n", static_cast<unsigned long long>(offsets_[i]));
    table += entry;
  }
  Put(table + "trailer\n<< /Size " + std::to_string(offsets_.size()) + " /Root 1 0 R /Info 4 0 R >>\nstartxref\n" +
      std::to_string(xref) + "\n%%EOF\n");
  if (failed_ || !file_->Close()) {
    error = file_->error();
    file_->Discard();
    return 0;
  }
  return static_cast<int>(pages_.size());
}

void TextPdf::Put(const std::string& bytes) {
  if (failed_) return;
  if (!file_->Write(std::as_bytes(std::span(bytes.data(), bytes.size())))) failed_ = true;
  written_ += bytes.size();
}

void TextPdf::Begin(std::uint32_t number) {
  offsets_[number] = written_;
  Put(std::to_string(number) + " 0 obj\n");
}

}  // namespace ov::cli
