#pragma once
// The print jobs of the directory list: to a printer the user picks in the
// platform's print dialog, or straight into a PDF file.

#include <QPdfWriter>
#include <QPrinter>
#include <QString>

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

class DialogListPrinter : public ListPrinter {
public:
  explicit DialogListPrinter(QWidget* parent) : parent_(parent) {}
  bool Begin() override;
  void PrintLine(std::string_view line) override;
  void End() override;

private:
  QWidget* parent_;
  std::unique_ptr<QPrinter> printer_;
  LogPrinter log_;
};

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
