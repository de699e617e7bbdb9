#include "ui/print/LogPrinter.h"

#include <QFontMetrics>
#include <QPagedPaintDevice>
#include <QPen>

#include <algorithm>
#include <cmath>

namespace ov::print {

QFont LogPrinter::PrintFont() {
  QFont font(QStringLiteral("DejaVu Sans Mono"));
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setPointSize(10);
  return font;
}

bool LogPrinter::Begin(QPagedPaintDevice* device) {
  device_ = device;
  if (!painter_.begin(device)) return false;
  documentOpen_ = true;
  painter_.setFont(PrintFont());
  const QFontMetrics metrics = painter_.fontMetrics();
  // The character height plus the internal leading: the part of the cell
  // above the em square, which the font's ascent and descent include.
  const int em = static_cast<int>(std::lround(PrintFont().pointSizeF() * device->logicalDpiY() / 72.0));
  const int internalLeading = std::max(0, metrics.ascent() + metrics.descent() - em);
  lineHeight_ = metrics.height() + internalLeading;
  ascent_ = metrics.ascent();
  topMargin_ = device->logicalDpiY() / 2;
  leftMargin_ = device->logicalDpiX() / 2;
  pageWidth_ = device->width();
  pageHeight_ = device->height();
  pageNumber_ = 0;
  pageOpen_ = false;
  return true;
}

void LogPrinter::PrintLine(const QString& line) {
  if (!documentOpen_) return;
  if (!pageOpen_ || y_ > pageHeight_ - topMargin_) StartPage();
  DrawLine(line);
}

void LogPrinter::End() {
  if (!documentOpen_) return;
  if (!pageOpen_) StartPage();
  painter_.end();
  pageOpen_ = false;
  documentOpen_ = false;
}

void LogPrinter::StartPage() {
  // The painter starts on the first page; every later one is asked for.
  if (pageNumber_ > 0) device_->newPage();
  ++pageNumber_;
  y_ = topMargin_;
  pageOpen_ = true;
  DrawHeader();
}

void LogPrinter::DrawHeader() {
  painter_.save();
  const QFontMetrics metrics = painter_.fontMetrics();
  const int headerTop = topMargin_ - (3 * lineHeight_) / 2;
  painter_.setPen(QPen(Qt::black));
  painter_.drawText(leftMargin_, headerTop + ascent_, QString::fromLatin1(kPageHeaderTitle));
  const QString number = QString::number(pageNumber_);
  painter_.drawText(pageWidth_ - leftMargin_ - metrics.horizontalAdvance(number), headerTop + ascent_, number);
  const int ruleY = topMargin_ - lineHeight_ / 2;
  painter_.setPen(QPen(QColor(0xFF, 0, 0), std::max(1, device_->logicalDpiX() / 100), Qt::SolidLine, Qt::RoundCap));
  painter_.drawLine(leftMargin_, ruleY, pageWidth_ - leftMargin_, ruleY);
  painter_.restore();
}

void LogPrinter::DrawLine(const QString& line) {
  // Lines are placed by the top of their cell, so the baseline lies one
  // ascent below.
  painter_.drawText(leftMargin_, y_ + ascent_, line);
  y_ += lineHeight_;
}

}  // namespace ov::print
