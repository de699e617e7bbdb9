// ovnss-pictures: draws the window's step pictures, icons and small-image
// strips into a folder (the build's installation folder), so the
// repository holds no pictures, only this program.
// Usage: ovnss-pictures DIR

#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <functional>

namespace {

const QColor kNavy(24, 52, 96);
const QColor kSky(214, 228, 246);
const QColor kAccent(232, 142, 28);

// One step picture: the four steps with the current one lit, what the
// person is looking at and what to do next.
struct StepPicture {
  const char* file;
  int step;  // 0 .. 3
  const char* title;
  const char* hint;
};

constexpr StepPicture kPictures[] = {
    {"Step1.bmp", 0, "Step 0: choose the disk", "Click the disk that held the NetWare data in the tree on the left."},
    {"Step2.bmp", 0, "Step 0: choose how to search",
     "Move the pointer over Quick, Advanced or Raw Recovery to choose it, then press Next."},
    {"Step3.bmp", 0, "Step 0: ready to search", "Press Next to look for the NetWare pools on this disk."},
    {"help4.bmp", 1, "Step 1: the pools of the partition table",
     "The pools of the first NetWare partition are listed: click one, then press Next."},
    {"help4old.bmp", 1, "Step 1: searching the whole disk",
     "Every sector is read for NetWare pools. \"Stop Searching\" ends the search early."},
    // Quick mode shows this one at the volume step.
    {"help5.bmp", 2, "Step 2: choose a volume", "Click a volume of the pool, then press Next to rebuild its folders."},
    {"SelectPoolAdvance.bmp", 1, "Step 1: choose a pool the search found",
     "Click a pool on the left to see its size, then press Next."},
    {"mount6.bmp", 2, "Step 2: choose a volume", "Click a volume of the pool, then press Next to rebuild its folders."},
    {"SelectVolumeAdvance.bmp", 2, "Step 2: choose a volume",
     "Click a volume of the pool, then press Next to rebuild its folders."},
    {"mount7Advance.bmp", 3, "Step 3: rebuilding the folders",
     "The volume's records are being read; the folder tree follows."},
    {"step6_1.bmp", 3, "Step 3: the directory tree",
     "Tick the folders to recover and press Save. Double-click a file to open it."},
    {"SaveFilesAdvance8.bmp", 3, "Step 3: the directory tree",
     "Tick the folders to recover and press Save. Double-click a file to open it."},
    {"Step4_1.bmp", 1, "Step 1: raw recovery",
     "Tick the kinds of document, choose the whole disk or a range, and press Start Recovery."},
};

constexpr const char* kStepNames[] = {"Disk and mode", "Pools", "Volumes", "Folders and files"};

// The glyph of each step: a disk, a pool, a volume, a folder.
void DrawGlyph(QPainter& p, int step, QRectF r) {
  p.save();
  p.setPen(QPen(Qt::white, 2));
  p.setBrush(Qt::NoBrush);
  const QPointF c = r.center();
  switch (step) {
    case 0:
      p.drawRoundedRect(QRectF(c.x() - 22, c.y() - 14, 44, 28), 4, 4);
      p.drawEllipse(QPointF(c.x() + 12, c.y() + 6), 3, 3);
      break;
    case 1:
    case 2:
      for (int i = 0; i < (step == 1 ? 3 : 1); ++i) {
        const double y = c.y() - 14 + i * 10;
        p.drawEllipse(QRectF(c.x() - 18, y, 36, 10));
      }
      p.drawLine(QPointF(c.x() - 18, c.y() - 9), QPointF(c.x() - 18, c.y() + 14));
      p.drawLine(QPointF(c.x() + 18, c.y() - 9), QPointF(c.x() + 18, c.y() + 14));
      p.drawArc(QRectF(c.x() - 18, c.y() + 9, 36, 10), 180 * 16, 180 * 16);
      break;
    default: {
      QPainterPath folder;
      folder.moveTo(c.x() - 22, c.y() - 12);
      folder.lineTo(c.x() - 8, c.y() - 12);
      folder.lineTo(c.x() - 4, c.y() - 7);
      folder.lineTo(c.x() + 22, c.y() - 7);
      folder.lineTo(c.x() + 22, c.y() + 14);
      folder.lineTo(c.x() - 22, c.y() + 14);
      folder.closeSubpath();
      p.drawPath(folder);
    }
  }
  p.restore();
}

QImage DrawStep(const StepPicture& s) {
  QImage img(744, 104, QImage::Format_RGB32);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient g(0, 0, 744, 0);
  g.setColorAt(0, kNavy);
  g.setColorAt(1, QColor(58, 104, 168));
  p.fillRect(img.rect(), g);
  // The big step badge.
  p.setBrush(kAccent);
  p.setPen(Qt::NoPen);
  p.drawEllipse(QRectF(16, 16, 72, 72));
  DrawGlyph(p, s.step, QRectF(16, 16, 72, 72));
  // The four steps, the current one lit.
  QFont chipFont(QStringLiteral("DejaVu Sans"), 8);
  p.setFont(chipFont);
  for (int i = 0; i < 4; ++i) {
    const QRectF chip(108 + i * 156, 10, 148, 22);
    const bool current = i == s.step;
    const bool done = i < s.step;
    p.setPen(Qt::NoPen);
    p.setBrush(current ? kAccent : done ? QColor(120, 160, 210) : QColor(255, 255, 255, 40));
    p.drawRoundedRect(chip, 11, 11);
    p.setPen(current || done ? Qt::white : QColor(200, 214, 234));
    // Steps are counted from 0, as the window's messages count them
    // ("Go to step 2 ..." at the volumes).
    p.drawText(chip, Qt::AlignCenter, QStringLiteral("%1  %2").arg(i).arg(QString::fromLatin1(kStepNames[i])));
  }
  QFont title(QStringLiteral("DejaVu Sans"), 13, QFont::Bold);
  p.setFont(title);
  p.setPen(Qt::white);
  p.drawText(QRectF(108, 40, 620, 26), Qt::AlignLeft | Qt::AlignVCenter, QString::fromLatin1(s.title));
  QFont hint(QStringLiteral("DejaVu Sans"), 9);
  p.setFont(hint);
  p.setPen(kSky);
  p.drawText(QRectF(108, 68, 620, 30), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, QString::fromLatin1(s.hint));
  return img;
}

// A page with a coloured band and a letter: the file types of the list.
void Page(QPainter& p, QRect r, QColor band, const QString& letter) {
  p.setPen(QColor(90, 90, 90));
  p.setBrush(Qt::white);
  p.drawRect(r.adjusted(2, 0, -3, -1));
  p.fillRect(QRect(r.left() + 3, r.top() + 1, r.width() - 6, 5), band);
  QFont f(QStringLiteral("DejaVu Sans"), 6, QFont::Bold);
  p.setFont(f);
  p.setPen(band.darker(130));
  p.drawText(QRect(r.left(), r.top() + 5, r.width(), r.height() - 5), Qt::AlignCenter, letter);
}

void Folder(QPainter& p, QRect r, bool open) {
  p.setPen(QColor(150, 110, 20));
  p.setBrush(QColor(250, 206, 90));
  p.drawRect(QRect(r.left() + 1, r.top() + 3, 6, 3));
  if (open) {
    p.drawRect(QRect(r.left() + 1, r.top() + 5, 13, 9));
    p.setBrush(QColor(255, 226, 130));
    QPolygon front({QPoint(r.left() + 3, r.top() + 8), QPoint(r.left() + 15, r.top() + 8),
                    QPoint(r.left() + 13, r.top() + 14), QPoint(r.left() + 1, r.top() + 14)});
    p.drawPolygon(front);
  } else {
    p.drawRect(QRect(r.left() + 1, r.top() + 5, 14, 9));
  }
}

void Drive(QPainter& p, QRect r, QColor colour) {
  p.setPen(QColor(60, 60, 60));
  p.setBrush(colour);
  p.drawRoundedRect(QRect(r.left() + 1, r.top() + 4, 14, 8), 2, 2);
  p.setBrush(QColor(80, 220, 80));
  p.drawRect(QRect(r.left() + 11, r.top() + 9, 2, 1));
}

void Computer(QPainter& p, QRect r) {
  p.setPen(QColor(50, 50, 50));
  p.setBrush(QColor(120, 170, 230));
  p.drawRect(QRect(r.left() + 1, r.top() + 1, 13, 9));
  p.setBrush(QColor(190, 190, 190));
  p.drawRect(QRect(r.left() + 4, r.top() + 12, 8, 2));
}

QImage Strip(int count, const std::function<void(QPainter&, int, QRect)>& draw) {
  QImage img(16 * count, 16, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  for (int i = 0; i < count; ++i) draw(p, i, QRect(i * 16, 0, 16, 16));
  return img;
}

QImage Icon(int size, const std::function<void(QPainter&, QRectF)>& draw) {
  QImage img(size, size, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  draw(p, QRectF(0, 0, size, size));
  return img;
}

void Arrow(QPainter& p, QRectF r, bool forward) {
  QPainterPath a;
  const double m = r.height() / 2, w = r.width();
  if (forward) {
    a.moveTo(w * 0.15, m - 3);
    a.lineTo(w * 0.55, m - 3);
    a.lineTo(w * 0.55, m - 8);
    a.lineTo(w * 0.9, m);
    a.lineTo(w * 0.55, m + 8);
    a.lineTo(w * 0.55, m + 3);
    a.lineTo(w * 0.15, m + 3);
  } else {
    a.moveTo(w * 0.85, m - 3);
    a.lineTo(w * 0.45, m - 3);
    a.lineTo(w * 0.45, m - 8);
    a.lineTo(w * 0.1, m);
    a.lineTo(w * 0.45, m + 8);
    a.lineTo(w * 0.45, m + 3);
    a.lineTo(w * 0.85, m + 3);
  }
  a.closeSubpath();
  p.setPen(QPen(kNavy.darker(120), 1));
  p.setBrush(forward ? QColor(60, 160, 70) : QColor(200, 120, 40));
  p.drawPath(a);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: ovnss-pictures DIR\n");
    return 2;
  }
  QGuiApplication app(argc, argv);
  const QString dir = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/');
  bool ok = true;
  auto save = [&](const QImage& img, const char* name) {
    if (!img.save(dir + QString::fromLatin1(name))) {
      std::fprintf(stderr, "ovnss-pictures: cannot write %s\n", name);
      ok = false;
    }
  };
  for (const auto& s : kPictures) save(DrawStep(s), s.file);

  // Bitmap 148: the trees (1 disk, pool or volume; 2 root; 3 folder; 7 open folder).
  save(Strip(8,
             [](QPainter& p, int i, QRect r) {
               if (i == 1) Drive(p, r, QColor(200, 200, 210));
               if (i == 2) Computer(p, r);
               if (i == 3) Folder(p, r, false);
               if (i == 7) Folder(p, r, true);
             }),
       "Bitmap148.png");
  // Bitmap 129: the list (1 folder, the file types, 10 pools and volumes).
  save(Strip(21,
             [](QPainter& p, int i, QRect r) {
               struct Kind {
                 QColor band;
                 const char* letter;
               };
               static const Kind kinds[21] = {
                   {}, {}, {QColor(150, 90, 160), "ZIP"}, {QColor(30, 130, 60), "X"}, {QColor(40, 80, 170), "W"},
                   {QColor(210, 90, 40), "P"}, {}, {QColor(90, 90, 90), "EXE"}, {QColor(120, 60, 40), "A"},
                   {QColor(40, 110, 140), "C"}, {}, {QColor(60, 120, 120), "h"}, {QColor(30, 120, 190), "www"},
                   {QColor(170, 140, 20), "?"}, {}, {QColor(200, 30, 30), "PDF"}, {QColor(110, 110, 40), "reg"},
                   {QColor(130, 40, 130), "wav"}, {QColor(40, 40, 120), "avi"}, {QColor(140, 140, 140), ""},
                   {QColor(100, 100, 100), "txt"}};
               if (i == 1) Folder(p, r, false);
               else if (i == 10) Drive(p, r, QColor(250, 206, 90));
               else if (i >= 2 && kinds[i].letter) Page(p, r, kinds[i].band, QString::fromLatin1(kinds[i].letter));
             }),
       "Bitmap129.png");

  // Icon 128: the program (a disk with a rescue ring).
  save(Icon(48,
            [](QPainter& p, QRectF r) {
              p.setBrush(kNavy);
              p.setPen(Qt::NoPen);
              p.drawRoundedRect(r.adjusted(2, 8, -2, -8), 6, 6);
              p.setBrush(kAccent);
              p.drawEllipse(r.center(), 11, 11);
              p.setBrush(kNavy);
              p.drawEllipse(r.center(), 5, 5);
            }),
       "Icon128.png");
  save(Icon(24,
            [](QPainter& p, QRectF r) {  // 143: save
              p.setPen(QPen(kNavy, 1));
              p.setBrush(QColor(80, 120, 190));
              p.drawRect(r.adjusted(3, 3, -3, -3));
              p.setBrush(Qt::white);
              p.drawRect(QRectF(7, 3, 10, 7));
              p.setBrush(QColor(200, 200, 200));
              p.drawRect(QRectF(7, 14, 10, 7));
            }),
       "Icon143.png");
  save(Icon(24,
            [](QPainter& p, QRectF r) {  // 141: help
              p.setPen(Qt::NoPen);
              p.setBrush(QColor(40, 110, 200));
              p.drawEllipse(r.adjusted(2, 2, -2, -2));
              p.setPen(Qt::white);
              p.setFont(QFont(QStringLiteral("DejaVu Sans"), 12, QFont::Bold));
              p.drawText(r, Qt::AlignCenter, QStringLiteral("?"));
            }),
       "Icon141.png");
  save(Icon(24,
            [](QPainter& p, QRectF r) {  // 146: exit
              p.setPen(Qt::NoPen);
              p.setBrush(QColor(200, 50, 40));
              p.drawEllipse(r.adjusted(2, 2, -2, -2));
              p.setPen(QPen(Qt::white, 2.5));
              p.drawLine(QPointF(8, 8), QPointF(16, 16));
              p.drawLine(QPointF(16, 8), QPointF(8, 16));
            }),
       "Icon146.png");
  save(Icon(24, [](QPainter& p, QRectF r) { Arrow(p, r, true); }), "Icon132.png");
  save(Icon(24, [](QPainter& p, QRectF r) { Arrow(p, r, false); }), "Icon133.png");
  return ok ? 0 : 1;
}
