#pragma once
// The main window: the frame (title, icon, menu bar 102, status bar with the
// clock), the elements in their fixed places, and the wizard that drives
// them.

#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QTimer>

#include <filesystem>
#include <memory>
#include <optional>

#include "platform/Process.h"
#include "session/Session.h"
#include "ui/print/ReportMenu.h"
#include "ui/help/HelpController.h"
#include "ui/window/Elements.h"
#include "ui/window/FindWindow.h"
#include "ui/window/FitCanvas.h"
#include "ui/window/LaterCommands.h"
#include "ui/window/Models.h"
#include "ui/window/MountController.h"
#include "ui/window/Wizard.h"

namespace ov {
class RawFormPanel;
}

namespace ov::window {

// The installation folder from the registry ("FilePath" of the product
// key), or nothing when it is empty or missing.
std::optional<std::filesystem::path> InstalledPath(Registry& registry);

// The small pictures drawn at build time, loaded from the installation
// folder; missing files give empty pictures.
ImageLists LoadImageLists(const std::filesystem::path& installPath);
QIcon LoadIcon(const std::filesystem::path& installPath, int number);

class MainWindow : public QMainWindow {
  Q_OBJECT
public:
  MainWindow(Session& session, std::filesystem::path installPath, QWidget* parent = nullptr);
  ~MainWindow() override;

  // The client area as drawn: the elements' fixed places fit inside it.
  static constexpr QSize kDrawnSize{760, 522};

  Elements& elements() { return elements_; }
  Wizard& wizard() { return *wizard_; }
  LaterCommands& later() { return later_; }
  RawFormPanel* rawForm() const;
  QLineEdit* findBox() const { return find_; }
  FindWindow* finder() const { return finder_; }
  HelpController& help() { return *help_; }
  MountController& mounts() { return *mounts_; }
  QLabel* clock() const { return clock_; }
  bool clockRunning() const { return clockTimer_.isActive(); }
  // Shows the About dialog (modal).
  void ShowAbout();

protected:
  void closeEvent(QCloseEvent* e) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dropEvent(QDropEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

private:
  void BuildElements(FitCanvas* central);
  // The window's size: as drawn where the screen has room for it, else
  // the screen's free room.
  void FitScreen();
  void ConnectCommands();
  void ConnectHelp();
  void Tick();
  void OpenImage();
  void Support(int command);
  // What the directory list commands see of the window.
  TreeState ListState() const;

  Session& session_;
  std::filesystem::path installPath_;
  Elements elements_;
  ImageLists images_;
  LaterCommands later_;
  // The Maintenance, Support and Help commands, over the real desktop.
  SystemProcessRunner desktop_;
  std::unique_ptr<print::ReportMenu> reports_;
  HelpController* help_ = nullptr;
  MountController* mounts_ = nullptr;
  QLabel* pane_ = nullptr;  // the status bar's pane
  Wizard* wizard_ = nullptr;
  QLabel* clock_ = nullptr;
  QLineEdit* find_ = nullptr;
  FindWindow* finder_ = nullptr;
  QTimer clockTimer_;
  bool closing_ = false;
  // Where "Open Disk Image" opens: the folder of the last image taken.
  QString imageFolder_;
};

}  // namespace ov::window
