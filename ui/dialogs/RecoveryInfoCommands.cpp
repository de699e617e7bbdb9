#include "ui/dialogs/RecoveryInfoCommands.h"

#include <QFileDialog>

#include "ui/dialogs/MessageBoxes.h"
#include "ui/dialogs/WaitDialog.h"

namespace ov {

RecoveryInfoFileDialogs RecoveryInfoFileDialogs::Platform() {
  RecoveryInfoFileDialogs dialogs;
  dialogs.chooseSave = [](QWidget* owner) {
    // Qt's save dialog asks before an existing file is replaced.
    return QFileDialog::getSaveFileName(owner, QString(), QString(), QStringLiteral("*.Sav"));
  };
  dialogs.chooseOpen = [](QWidget* owner) {
    return QFileDialog::getOpenFileNames(owner, QString(), QString(), QStringLiteral("*.sav"));
  };
  return dialogs;
}

std::optional<RecoveryInfoResult> SaveLog(QWidget* window, const Discovery& discovery, const RecoveryTree& tree,
                                          Prompter& prompter, const RecoveryInfoFileDialogs& dialogs) {
  const QString chosen = dialogs.chooseSave(window);
  if (chosen.isEmpty()) return std::nullopt;
  return SaveRecoveryInfo(FromQt(chosen), discovery, tree, prompter);
}

std::optional<RecoveryInfoResult> LoadLog(QWidget* window, LoadLogWindow& target, Discovery& discovery,
                                          RecoveryTree& tree, Prompter& prompter,
                                          const RecoveryInfoFileDialogs& dialogs) {
  const QStringList chosen = dialogs.chooseOpen(window);
  if (chosen.isEmpty()) return std::nullopt;
  WaitDialog wait(window);
  wait.ShowNow();
  target.BeginLoad();
  RecoveryInfoResult result = LoadRecoveryInfo(FromQt(chosen.last()), discovery, tree, prompter);
  wait.close();
  target.EndLoad(static_cast<bool>(result), result.rootRows);
  return result;
}

}  // namespace ov
