#include "ui/window/ImageDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace ov::window {

QStringList ImageFilters() {
  return {
      QStringLiteral("Disk images (*.img *.dd *.raw *.bin *.iso *.001 *.E01 *.e01 *.vmdk *.vhd *.vhdx *.qcow2 *.qcow)"),
      QStringLiteral("Raw images (*.img *.dd *.raw *.bin *.iso)"),
      QStringLiteral("Split raw images, first part (*.001)"),
      QStringLiteral("EnCase images (*.E01 *.e01)"),
      QStringLiteral("VMware disks (*.vmdk)"),
      QStringLiteral("Virtual hard disks (*.vhd *.vhdx)"),
      QStringLiteral("QEMU disks (*.qcow2 *.qcow)"),
      QStringLiteral("All files (*)"),
  };
}

QStringList AskImageFiles(QWidget* parent, QString& folder) {
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::homePath();
  QFileDialog dialog(parent, QStringLiteral("Open Disk Image"), folder);
  dialog.setObjectName(QStringLiteral("openImage"));
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setNameFilters(ImageFilters());
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  const QStringList files = dialog.selectedFiles();
  folder = QFileInfo(files.front()).absolutePath();
  return files;
}

}  // namespace ov::window
