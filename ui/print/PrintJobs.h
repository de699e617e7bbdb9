#pragma once
// The print jobs of the directory list: to a printer the user picks in the
// platform's print dialog, or straight into a PDF file.

#include <QPdfWriter>
#include <QPrinter>
#include <QString>

#include <functional>
#include <memory>
#include <string_view>

#include "records/Reports.h"
#include "ui/print/LogPrinter.h"

class QPrintDialog;
class QWidget;

namespace ov::print {

// The print dialog as the list's print asks for it: no page ranges, no
// selection or current page, no print to a file.
void ConfigurePrintDialog(QPrintDialog& dialog);

// The document name print jobs carry: the program's title.
QString DocumentName();

// To a printer picked in the print dialog; where the machine has no
// printer, into a PDF file the user names instead. A job that cannot start
// is reported in a message naming the printer or the file.
class DialogListPrinter : public ListPrinter {
public:
  explicit DialogListPrinter(QWidget* parent);
  bool Begin() override;
  void PrintLine(std::string_view line) override;
  void End() override;

  // Seams of the desktop, replaced by tests: whether a printer exists, the
  // PDF file asked for (empty: cancelled), and the failure message.
  std::function<bool()> hasPrinter;
  std::function<QString()> askPdfFile;
  std::function<void(const QString&)> showError;

private:
  QWidget* parent_;
  std::unique_ptr<QPrinter> printer_;
  LogPrinter log_;
};

// The message of a print job that could not start on `target` (a printer's
// name or a file).
QString PrintFailedText(const QString& target);

// A4 pages without page margins of their own, at `dpi`; a QGuiApplication
// must exist.
class PdfListPrinter : public ListPrinter {
public:
  explicit PdfListPrinter(const QString& file, int dpi = 300);
  bool Begin() override;
  void PrintLine(std::string_view line) override;
  void End() override;
  const LogPrinter& log() const { return log_; }

private:
  QPdfWriter writer_;
  LogPrinter log_;
};

}  // namespace ov::print
