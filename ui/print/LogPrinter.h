#pragma once
// Prints lines of text onto the pages of a printer or PDF, one line per
// text, with a header on every page: "Orlindavestrum Log" at the left, the
// page number at the right, and a red rule below them.
//
// All measures are the device's own pixels: the margins are half an inch at
// its resolution, the line height is the fixed-pitch font's character height
// plus its internal leading. A line is drawn where the last one ended while
// that is no lower than the page height less the top margin; otherwise a new
// page starts, numbered from 1.

#include <QFont>
#include <QPainter>
#include <QString>

class QPagedPaintDevice;

namespace ov::print {

inline constexpr const char* kPageHeaderTitle = "Orlindavestrum Log";

class LogPrinter {
public:
  // Starts the document on `device` (which must outlive the printer) and
  // measures the page. False when the device cannot be painted on.
  bool Begin(QPagedPaintDevice* device);
  void PrintLine(const QString& line);
  // Ends the page and the document. A document with no line still gets its
  // first page, with the header.
  void End();

  // The measures, valid after Begin.
  int topMargin() const { return topMargin_; }
  int leftMargin() const { return leftMargin_; }
  int lineHeight() const { return lineHeight_; }
  int pageWidth() const { return pageWidth_; }
  int pageHeight() const { return pageHeight_; }
  int pageNumber() const { return pageNumber_; }

  // The font lines are printed in: fixed pitch, 10 points.
  static QFont PrintFont();

private:
  void StartPage();
  void DrawHeader();
  void DrawLine(const QString& line);

  QPagedPaintDevice* device_ = nullptr;
  QPainter painter_;
  int topMargin_ = 0;
  int leftMargin_ = 0;
  int pageWidth_ = 0;
  int pageHeight_ = 0;
  int lineHeight_ = 0;
  int ascent_ = 0;
  int y_ = 0;
  int pageNumber_ = 0;
  bool pageOpen_ = false;
  bool documentOpen_ = false;
};

}  // namespace ov::print
