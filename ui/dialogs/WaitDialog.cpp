#include "ui/dialogs/WaitDialog.h"

#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>

namespace ov {

WaitDialog::WaitDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Orlindavestrum For NSS"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setModal(false);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(24, 20, 24, 20);
  layout->addWidget(new QLabel(QStringLiteral("Getting Directory Information. Please  Wait....")));
}

void WaitDialog::ShowNow() {
  show();
  raise();
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace ov
