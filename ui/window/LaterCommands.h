#pragma once
// The commands the window offers whose work lives in other parts of the
// window: saving, the save settings, the recovery information file and the
// raw form. The menus and buttons are connected here, in one place; each
// handler is empty until its part is wired in. (The reports, the help file
// and the support commands go straight to the report menu.)

#include <QObject>
#include <vector>

#include "nss/RecoveryTree.h"

namespace ov::window {

class LaterCommands : public QObject {
  Q_OBJECT
public:
  using QObject::QObject;

public slots:
  // "&Save ", the Save button at step 2 or later: save the ticked items.
  void SaveTickedItems() {}
  // Pop-up "Save": save the selected rows of the file list (their keys).
  void SaveSelectedRows(const std::vector<std::uint64_t>& folderItems, const std::vector<std::uint64_t>& fileKeys) {
    (void)folderItems;
    (void)fileKeys;
  }
  // "Save Se&ttings": the "Settings" dialog.
  void SaveSettings() {}
  // "Save Log" and "Load Log": the recovery information file.
  void SaveLog() {}
  void LoadLog() {}
  // "Start &Recovery" on the Raw form.
  void StartOrStopRawScan() {}
};

}  // namespace ov::window
