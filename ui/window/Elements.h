#pragma once
// The window's elements by id, and the one place where a view's changes are
// applied to them. Every change runs on the window's thread; a call from any
// other thread is refused and counted, so tests can prove workers never
// reach a widget.

#include <QAbstractItemView>
#include <QAction>
#include <QHash>
#include <QLabel>
#include <QPointer>
#include <QWidget>

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>

#include "ui/window/Views.h"

namespace ov::window {

class Elements {
public:
  void Add(int id, QWidget* widget);
  void AddCommand(int id, QAction* action);

  QWidget* widget(int id) const { return widgets_.value(id); }
  QAction* command(int id) const { return commands_.value(id); }
  template <class T>
  T* as(int id) const {
    return qobject_cast<T*>(widget(id));
  }

  // Applies view `code` for `mode` (ShowView); codes without a view change
  // nothing.
  void ShowView(int code, RecoveryMode mode);
  void Apply(const ViewChange& change, RecoveryMode mode);

  // ShowStepPicture: loads the picture file of `code` from the
  // installation folder into the picture element; a missing file leaves it
  // empty.
  void ShowStepPicture(int code, RecoveryMode mode);
  void ShowPictureFile(std::string_view name);
  std::filesystem::path installPath;
  // The file name shown last ("" when the picture is empty).
  const std::string& pictureFile() const { return pictureFile_; }

  // What the lists do for Clear and the column changes; set by the wizard.
  std::function<void(int id)> clearList;
  std::function<void(Change change)> setColumns;

  // Calls refused because they came from another thread.
  static int foreignThreadCalls() { return foreignCalls_.load(); }

private:
  bool OnWindowThread() const;
  QHash<int, QPointer<QWidget>> widgets_;
  QHash<int, QPointer<QAction>> commands_;
  std::string pictureFile_;
  static std::atomic<int> foreignCalls_;
};

}  // namespace ov::window
