#include "ui/print/PrintJobs.h"

#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinterInfo>

#include "platform/Prompter.h"

namespace ov::print {

namespace {

QString FromUtf8(std::string_view line) { return QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())); }

}  // namespace

void ConfigurePrintDialog(QPrintDialog& dialog) {
  dialog.setOption(QAbstractPrintDialog::PrintToFile, false);
  dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
  dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
  dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
  dialog.setOption(QAbstractPrintDialog::PrintShowPageSize, true);
}

QString DocumentName() {
  return QString::fromLatin1(kProductTitle.data(), static_cast<qsizetype>(kProductTitle.size()));
}

QString PrintFailedText(const QString& target) {
  return QStringLiteral("The directory list could not be printed on %1.").arg(target);
}

DialogListPrinter::DialogListPrinter(QWidget* parent) : parent_(parent) {
  hasPrinter = [] { return !QPrinterInfo::availablePrinterNames().isEmpty(); };
  askPdfFile = [this] {
    return QFileDialog::getSaveFileName(parent_, QStringLiteral("No printer: print to a PDF file"),
                                        QDir::home().filePath(QStringLiteral("Directory List.pdf")),
                                        QStringLiteral("PDF files (*.pdf)"));
  };
  showError = [this](const QString& text) { QMessageBox::critical(parent_, DocumentName(), text); };
}

bool DialogListPrinter::Begin() {
  printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
  printer_->setDocName(DocumentName());
  QString target;
  if (hasPrinter()) {
    QPrintDialog dialog(printer_.get(), parent_);
    ConfigurePrintDialog(dialog);
    if (dialog.exec() != QDialog::Accepted) return false;
    target = printer_->outputFileName().isEmpty() ? printer_->printerName() : printer_->outputFileName();
  } else {
    // Without a printer the print dialog offers nothing to print on: the
    // list goes into a PDF file instead.
    target = askPdfFile();
    if (target.isEmpty()) return false;
    printer_->setOutputFormat(QPrinter::PdfFormat);
    printer_->setOutputFileName(target);
  }
  if (log_.Begin(printer_.get())) return true;
  showError(PrintFailedText(target));
  printer_.reset();
  return false;
}

void DialogListPrinter::PrintLine(std::string_view line) { log_.PrintLine(FromUtf8(line)); }

void DialogListPrinter::End() {
  log_.End();
  printer_.reset();
}

PdfListPrinter::PdfListPrinter(const QString& file, int dpi) : writer_(file) {
  writer_.setResolution(dpi);
  writer_.setTitle(DocumentName());
  writer_.setCreator(DocumentName());
  writer_.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
}

bool PdfListPrinter::Begin() { return log_.Begin(&writer_); }

void PdfListPrinter::PrintLine(std::string_view line) { log_.PrintLine(FromUtf8(line)); }

void PdfListPrinter::End() { log_.End(); }

}  // namespace ov::print
