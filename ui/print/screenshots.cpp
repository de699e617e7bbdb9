// print-screenshots DIR: pictures of what printing and the help look like.
//   print-page1.png   the first page of a printed directory list
//   print-page2.png   its second page
//   print-dialog.png  the print dialog as the list's print shows it
//   help-first-page.png  the help's first page
// Pages are printed into a PDF and drawn by pdftoppm, as a reader would
// see them.

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QTextDocument>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ui/print/PrintJobs.h"

namespace {

namespace fs = std::filesystem;

// A directory list such as a small office volume gives.
std::vector<std::string> SampleList() {
  std::vector<std::string> lines;
  const char* top[] = {"Accounts", "Letters", "Projects", "Shared"};
  for (const char* folder : top) {
    lines.push_back(std::string("Root-> ") + folder);
    for (int year = 2001; year <= 2008; ++year) {
      const std::string sub = std::string(folder) + "\\" + std::to_string(year);
      lines.push_back(std::string(folder) + "-> " + std::to_string(year));
      for (const char* month : {"Spring", "Autumn"}) lines.push_back(sub + "-> " + month);
    }
  }
  return lines;
}

bool PrintPages(const fs::path& dir) {
  const fs::path pdf = dir / "print-sample.pdf";
  {
    ov::print::PdfListPrinter printer(QString::fromStdString(pdf.string()), 100);
    if (!printer.Begin()) return false;
    for (const auto& line : SampleList()) printer.PrintLine(line);
    printer.End();
  }
  const std::string command = "pdftoppm -png -r 100 -f 1 -l 2 '" + pdf.string() + "' '" + (dir / "print-page").string() + "'";
  const bool drawn = std::system(command.c_str()) == 0;
  fs::remove(pdf);
  // pdftoppm numbers its pictures with as many digits as the last page needs.
  std::error_code ec;
  for (const char* n : {"1", "2"}) {
    for (const std::string prefix : {"-", "-0", "-00"}) {
      const fs::path made = dir / ("print-page" + prefix + n + ".png");
      if (fs::exists(made)) fs::rename(made, dir / (std::string("print-page") + n + ".png"), ec);
    }
  }
  return drawn;
}

bool PrintDialogPicture(const fs::path& dir) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setDocName(ov::print::DocumentName());
  QPrintDialog dialog(&printer);
  ov::print::ConfigurePrintDialog(dialog);
  dialog.show();
  QApplication::processEvents();
  const bool saved = dialog.grab().save(QString::fromStdString((dir / "print-dialog.png").string()));
  dialog.close();
  return saved;
}

bool HelpPicture(const fs::path& dir) {
  const QString page = QCoreApplication::applicationDirPath() + QStringLiteral("/OrlindavestrumHelp/index.html");
  QFile file(page);
  if (!file.open(QIODevice::ReadOnly)) return false;
  QTextDocument document;
  document.setDefaultFont(QFont(QStringLiteral("DejaVu Sans"), 10));
  // The document does not follow the page's link to its style sheet.
  QFile style(QCoreApplication::applicationDirPath() + QStringLiteral("/OrlindavestrumHelp/style.css"));
  if (style.open(QIODevice::ReadOnly)) document.setDefaultStyleSheet(QString::fromUtf8(style.readAll()));
  document.setHtml(QString::fromUtf8(file.readAll()));
  document.setTextWidth(760);
  const int height = std::min(1100, static_cast<int>(document.size().height()) + 20);
  QImage image(800, height, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.translate(20, 10);
  document.drawContents(&painter, QRectF(0, 0, 760, height - 20));
  painter.end();
  return image.save(QString::fromStdString((dir / "help-first-page.png").string()));
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: print-screenshots DIR\n");
    return 2;
  }
  const fs::path dir = argv[1];
  fs::create_directories(dir);
  int failed = 0;
  if (!PrintPages(dir)) ++failed, std::fprintf(stderr, "print-screenshots: the printed pages could not be drawn\n");
  if (!PrintDialogPicture(dir)) ++failed, std::fprintf(stderr, "print-screenshots: no picture of the print dialog\n");
  if (!HelpPicture(dir)) ++failed, std::fprintf(stderr, "print-screenshots: the help's first page is missing\n");
  return failed == 0 ? 0 : 1;
}
