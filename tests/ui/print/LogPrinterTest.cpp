#include "ui/print/LogPrinter.h"

#include <QImage>
#include <QPrintDialog>
#include <QPrinter>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "support/TempDir.h"
#include "ui/print/PdfPrint.h"
#include "ui/print/PrintJobs.h"

namespace ov::print {
namespace {

namespace fs = std::filesystem;

// What a program prints on its standard output.
std::string Output(const std::string& command) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  ::pclose(pipe);
  return out;
}

// The text of one page as pdftotext lays it out, line by line without the
// empty ones.
std::vector<std::string> PageText(const fs::path& pdf, int page) {
  const std::string n = std::to_string(page);
  std::istringstream text(Output("pdftotext -q -layout -f " + n + " -l " + n + " '" + pdf.string() + "' -"));
  std::vector<std::string> lines;
  for (std::string line; std::getline(text, line);) {
    if (!line.empty() && line != "\f") lines.push_back(line);
  }
  return lines;
}

// The page number of a header line "Orlindavestrum Log   7", or -1 for
// any other line.
int HeaderNumber(const std::string& line) {
  const std::string title = "Orlindavestrum Log";
  if (line.rfind(title, 0) != 0) return -1;
  const auto number = line.find_first_not_of(' ', title.size());
  if (number == title.size() || number == std::string::npos) return -1;
  if (line.find_first_not_of("0123456789", number) != std::string::npos) return -1;
  return std::stoi(line.substr(number));
}

int Pages(const fs::path& pdf) {
  std::istringstream info(Output("pdfinfo '" + pdf.string() + "'"));
  for (std::string line; std::getline(info, line);)
    if (line.rfind("Pages:", 0) == 0) return std::stoi(line.substr(6));
  return 0;
}

// Prints into a PDF at `dpi` and keeps the printer's measures.
struct Printed {
  test::TempDir dir;
  fs::path pdf = dir / "list.pdf";
  int top = 0, left = 0, lineHeight = 0, height = 0, width = 0, pages = 0;
  Printed(const std::vector<std::string>& lines, int dpi = 300) {
    PdfListPrinter printer(QString::fromStdString(pdf.string()), dpi);
    EXPECT_TRUE(printer.Begin());
    for (const auto& line : lines) printer.PrintLine(line);
    printer.End();
    const LogPrinter& log = printer.log();
    top = log.topMargin(), left = log.leftMargin(), lineHeight = log.lineHeight();
    height = log.pageHeight(), width = log.pageWidth(), pages = log.pageNumber();
  }
};

TEST(LogPrinter, AShortListIsOnePageWithTheHeaderAndPageOne) {
  Printed p({"Root-> A", "A-> B", "A\\B-> C"});
  EXPECT_EQ(p.top, 150);  // half an inch at 300 dots per inch
  EXPECT_EQ(p.left, 150);
  EXPECT_EQ(Pages(p.pdf), 1);
  EXPECT_EQ(p.pages, 1);
  const auto text = PageText(p.pdf, 1);
  ASSERT_EQ(text.size(), 4u);
  EXPECT_EQ(HeaderNumber(text[0]), 1) << text[0];
  EXPECT_EQ(std::vector<std::string>(text.begin() + 1, text.end()),
            (std::vector<std::string>{"Root-> A", "A-> B", "A\\B-> C"}));
}

TEST(LogPrinter, ALongListFillsNumberedPagesWithEveryLineOnceInOrder) {
  std::vector<std::string> lines;
  for (int i = 0; i < 250; ++i) lines.push_back("Root-> Folder " + std::to_string(i));
  Printed p(lines);
  // Lines go on while they start no lower than the page height less the
  // top margin.
  const int perPage = (p.height - 2 * p.top) / p.lineHeight + 1;
  const int pages = (250 + perPage - 1) / perPage;
  ASSERT_GT(pages, 2);
  EXPECT_EQ(Pages(p.pdf), pages);
  std::vector<std::string> printed;
  for (int page = 1; page <= pages; ++page) {
    auto text = PageText(p.pdf, page);
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(HeaderNumber(text[0]), page) << text[0];
    const std::size_t body = text.size() - 1;
    EXPECT_EQ(body, page < pages ? static_cast<std::size_t>(perPage) : 250 - (pages - 1) * perPage);
    printed.insert(printed.end(), text.begin() + 1, text.end());
  }
  EXPECT_EQ(printed, lines);
}

TEST(LogPrinter, TheHeaderRuleIsRedAndLiesHalfALineAboveTheText) {
  // At 100 dots per inch the PDF's pixels are the picture's pixels.
  Printed p({"Root-> A"}, 100);
  const fs::path stem = p.dir / "page";
  ASSERT_EQ(std::system(("pdftoppm -q -png -r 100 -f 1 -l 1 '" + p.pdf.string() + "' '" + stem.string() + "'").c_str()),
            0);
  QImage page(QString::fromStdString(stem.string() + "-1.png"));
  ASSERT_FALSE(page.isNull());
  const int ruleY = p.top - p.lineHeight / 2;
  auto red = [&](int x, int y) {
    const QColor c = page.pixelColor(x, y);
    return c.red() > 200 && c.green() < 80 && c.blue() < 80;
  };
  EXPECT_TRUE(red(p.left + 2, ruleY));
  EXPECT_TRUE(red(p.width / 2, ruleY));
  EXPECT_TRUE(red(p.width - p.left - 2, ruleY));
  EXPECT_FALSE(red(p.left - 5, ruleY));
  EXPECT_FALSE(red(p.width - p.left + 5, ruleY));
  EXPECT_FALSE(red(p.width / 2, ruleY + 3));
  EXPECT_FALSE(red(p.width / 2, ruleY - 3));
}

TEST(PdfPrint, MakesItsOwnPagesAndSaysWhenItCannotWrite) {
  test::TempDir dir;
  std::string error;
  EXPECT_EQ(PrintLinesToPdf({}, dir / "empty.pdf", error), 1);  // the header alone
  const auto text = PageText(dir / "empty.pdf", 1);
  ASSERT_EQ(text.size(), 1u);
  EXPECT_EQ(HeaderNumber(text[0]), 1);
  EXPECT_EQ(PrintLinesToPdf({"Root-> A"}, dir / "no-folder" / "list.pdf", error), 0);
  EXPECT_NE(error.find("no-folder"), std::string::npos);
}

TEST(PrintDialog, OffersNeitherPageRangesNorAFile) {
  QPrinter printer;
  QPrintDialog dialog(&printer);
  ConfigurePrintDialog(dialog);
  EXPECT_FALSE(dialog.testOption(QAbstractPrintDialog::PrintToFile));
  EXPECT_FALSE(dialog.testOption(QAbstractPrintDialog::PrintPageRange));
  EXPECT_FALSE(dialog.testOption(QAbstractPrintDialog::PrintSelection));
  EXPECT_EQ(DocumentName(), QStringLiteral("Orlindavestrum For NSS"));
}

TEST(DialogListPrint, WithoutAPrinterTheListGoesIntoAPdfFile) {
  test::TempDir dir;
  DialogListPrinter printer(nullptr);
  printer.hasPrinter = [] { return false; };
  printer.askPdfFile = [&] { return QString::fromStdString((dir / "list.pdf").string()); };
  QString error;
  printer.showError = [&](const QString& text) { error = text; };
  ASSERT_TRUE(printer.Begin());
  printer.PrintLine("Root-> A");
  printer.End();
  const auto text = PageText(dir / "list.pdf", 1);
  ASSERT_EQ(text.size(), 2u);
  EXPECT_EQ(HeaderNumber(text[0]), 1) << text[0];
  EXPECT_EQ(text[1], "Root-> A");
  EXPECT_TRUE(error.isEmpty());

  printer.askPdfFile = [] { return QString(); };  // the file dialog cancelled
  EXPECT_FALSE(printer.Begin());
  EXPECT_TRUE(error.isEmpty());
}

TEST(DialogListPrint, AJobThatCannotStartIsReportedWithItsTarget) {
  test::TempDir dir;
  DialogListPrinter printer(nullptr);
  printer.hasPrinter = [] { return false; };
  const QString file = QString::fromStdString((dir / "no-folder" / "list.pdf").string());
  printer.askPdfFile = [&] { return file; };
  QString error;
  printer.showError = [&](const QString& text) { error = text; };
  EXPECT_FALSE(printer.Begin());
  EXPECT_EQ(error, QStringLiteral("The directory list could not be printed on %1.").arg(file));
}

}  // namespace
}  // namespace ov::print
