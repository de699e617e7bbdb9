#include "ui/window/Elements.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QThread>

#include "widgets/PercentProgressBar.h"

namespace ov::window {

std::atomic<int> Elements::foreignCalls_{0};

void Elements::Add(int id, QWidget* widget) {
  widget->setObjectName(QString::number(id));
  widgets_.insert(id, widget);
}

void Elements::AddCommand(int id, QAction* action) {
  action->setObjectName(QString::number(id));
  commands_.insert(id, action);
}

bool Elements::OnWindowThread() const {
  if (QThread::currentThread() == qApp->thread()) return true;
  ++foreignCalls_;
  return false;
}

void Elements::ShowView(int code, RecoveryMode mode) {
  if (!OnWindowThread()) return;
  for (const ViewChange& c : ViewChanges(code)) Apply(c, mode);
}

namespace {

void SetChecked(QWidget* w, bool checked) {
  if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    const bool exclusive = button->autoExclusive();
    button->setAutoExclusive(false);
    button->setChecked(checked);
    button->setAutoExclusive(exclusive);
  } else if (auto* list = qobject_cast<QListWidget*>(w)) {
    for (int i = 0; i < list->count(); ++i) list->item(i)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
  }
}

void SetText(QWidget* w, const QString& text) {
  if (auto* label = qobject_cast<QLabel*>(w)) label->setText(text);
  else if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->setText(text);
  else if (auto* button = qobject_cast<QAbstractButton*>(w)) button->setText(text);
}

}  // namespace

void Elements::Apply(const ViewChange& c, RecoveryMode mode) {
  if (!OnWindowThread() || !Applies(c, mode)) return;
  if (c.change == Change::Picture) return ShowStepPicture(c.id, mode);
  if (c.change == Change::PictureFile) return ShowPictureFile(c.text);
  if (QAction* action = command(c.id)) {
    if (c.change == Change::Enable || c.change == Change::Disable) action->setEnabled(c.change == Change::Enable);
    return;
  }
  QWidget* w = widget(c.id);
  if (!w) return;
  switch (c.change) {
    case Change::Hide: w->setVisible(false); break;
    case Change::Show: w->setVisible(true); break;
    case Change::Disable: w->setEnabled(false); break;
    case Change::Enable: w->setEnabled(true); break;
    case Change::Uncheck: SetChecked(w, false); break;
    case Change::Check: SetChecked(w, true); break;
    case Change::Clear:
      if (auto* list = qobject_cast<QListWidget*>(w)) list->clear();
      else if (clearList) clearList(c.id);
      break;
    case Change::EmptyText: SetText(w, QString()); break;
    case Change::SetText: SetText(w, QString::fromLatin1(c.text.data(), static_cast<int>(c.text.size()))); break;
    case Change::ZeroProgress:
      if (auto* bar = qobject_cast<PercentProgressBar*>(w)) bar->setPosition(0);
      break;
    case Change::DetailsColumns:
    case Change::FileColumns:
    case Change::RemoveColumns:
      if (setColumns) setColumns(c.change);
      break;
    case Change::Picture:
    case Change::PictureFile: break;
  }
}

void Elements::ShowStepPicture(int code, RecoveryMode mode) {
  if (!OnWindowThread()) return;
  if (auto name = StepPictureFile(code, mode)) ShowPictureFile(*name);
}

void Elements::ShowPictureFile(std::string_view name) {
  auto* picture = as<QLabel>(kPicture);
  if (!picture) return;
  const QPixmap pixmap(QString::fromStdString((installPath / std::string(name)).string()));
  if (pixmap.isNull()) {
    picture->clear();
    pictureFile_.clear();
  } else {
    picture->setPixmap(pixmap);
    pictureFile_ = name;
  }
}

}  // namespace ov::window
