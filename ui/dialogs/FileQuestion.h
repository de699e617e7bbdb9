#pragma once
// The layout the save run's questions about one file share: the icon, the
// question and the file's path beside it, and a right-aligned row of
// buttons below, which the caller fills.

#include <QDialog>
#include <QHBoxLayout>
#include <QString>
#include <QStyle>

namespace ov {

// Lays `dialog` out and returns its (empty, stretched) button row.
QHBoxLayout* LayOutFileQuestion(QDialog& dialog, QStyle::StandardPixmap icon, const QString& question,
                                const QString& path);

}  // namespace ov
