#include "ui/print/PdfPrint.h"

#include <QFile>
#include <QGuiApplication>
#include <QtGlobal>

#include <memory>

#include "ui/print/PrintJobs.h"

namespace ov::print {

namespace {

// A command line reports its own errors: the toolkit's remarks about the
// desktop it runs without (no runtime folder, no display) are dropped, and
// only its critical messages still reach standard error.
QtMessageHandler previousHandler = nullptr;

void QuietMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if ((type == QtCriticalMsg || type == QtFatalMsg) && previousHandler != nullptr) previousHandler(type, context, text);
}

}  // namespace

int PrintLinesToPdf(const std::vector<std::string>& lines, const std::filesystem::path& file, std::string& error) {
  std::unique_ptr<QGuiApplication> app;
  if (QGuiApplication::instance() == nullptr) {
    previousHandler = qInstallMessageHandler(QuietMessages);
    static int argc = 3;
    static char name[] = "ovnss-cli";
    static char option[] = "-platform";
    static char platform[] = "offscreen";
    static char* argv[] = {name, option, platform, nullptr};
    app = std::make_unique<QGuiApplication>(argc, argv);
  }
  const QString path = QString::fromStdString(file.string());
  int pages = 0;
  {
    PdfListPrinter printer(path);
    if (!printer.Begin()) {
      error = "cannot write the PDF file " + file.string();
      return 0;
    }
    for (const auto& line : lines) printer.PrintLine(line);
    printer.End();
    pages = printer.log().pageNumber();
  }
  if (!QFile::exists(path)) {
    error = "cannot write the PDF file " + file.string();
    return 0;
  }
  return pages;
}

}  // namespace ov::print
