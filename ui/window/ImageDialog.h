#pragma once
// "Open Disk Image": the file dialog that attaches an image as a disk. It
// offers every format the disk layer reads, and opens where the person
// took an image from last, or in their home folder.

#include <QString>
#include <QStringList>

class QWidget;

namespace ov::window {

// The dialog's filters: all images, each format, all files.
QStringList ImageFilters();

// Asks for image files (one, or the disks of one server); empty when
// cancelled. `folder` is where the dialog opens (the home folder when
// empty) and becomes the chosen files' folder.
QStringList AskImageFiles(QWidget* parent, QString& folder);

}  // namespace ov::window
