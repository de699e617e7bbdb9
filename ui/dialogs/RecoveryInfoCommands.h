#pragma once
// Options > Save Later > "Save Log" and "Load Log": the recovery
// information file through the platform's file dialogs and the core's
// reader and writer (records/RecoveryInfo.h).
//
// "Save Log": a save dialog with the filter "*.Sav" that asks before an
// existing file is overwritten; the core upper-cases the chosen name and
// adds ".SAV" unless it ends in "SAV"; "Unable to open file" when it cannot
// be created. Nothing is shown on success.
//
// "Load Log": an open dialog with the filter "*.sav" (several files may be
// chosen; the last is taken), the modeless wait window while the file is
// read, and the core's loader, which checks the whole file before it
// changes anything. The window changes its views only when the file was
// loaded: a file that cannot be opened, or that fails the checks, is named
// in a message and leaves the window, its step and its trees as they were.

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "nss/Discovery.h"
#include "records/RecoveryInfo.h"

class QWidget;

namespace ov {

// What "Load Log" asks of the main window.
class LoadLogWindow {
public:
  virtual ~LoadLogWindow() = default;
  // The tree is about to be replaced: views lying over its nodes let go.
  virtual void BeginLoad() {}
  // The load ended. When `loaded`, the window shows the result: the pool
  // and volume trees hidden and disabled, "&Back" hidden, the folder tree
  // rebuilt and shown, the details list with its six columns and the root
  // folder's rows, view 6, step 3. Otherwise it shows the tree it had.
  virtual void EndLoad(bool loaded, const ListRows& rootRows) = 0;
};

// The file dialogs, replaceable for tests: each answers the chosen path(s),
// empty when cancelled.
struct RecoveryInfoFileDialogs {
  std::function<QString(QWidget*)> chooseSave;
  std::function<QStringList(QWidget*)> chooseOpen;
  static RecoveryInfoFileDialogs Platform();
};

// Nothing when the dialog was cancelled.
std::optional<RecoveryInfoResult> SaveLog(QWidget* window, const Discovery& discovery, const RecoveryTree& tree,
                                          Prompter& prompter,
                                          const RecoveryInfoFileDialogs& dialogs = RecoveryInfoFileDialogs::Platform());

std::optional<RecoveryInfoResult> LoadLog(QWidget* window, LoadLogWindow& target, Discovery& discovery,
                                          RecoveryTree& tree, Prompter& prompter,
                                          const RecoveryInfoFileDialogs& dialogs = RecoveryInfoFileDialogs::Platform());

}  // namespace ov
