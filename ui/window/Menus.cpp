#include "ui/window/Menus.h"

#include <QMenu>
#include <vector>

#include "ui/window/Ids.h"

namespace ov::window {

namespace {

constexpr int kSub = -1;
constexpr int kEnd = -2;

constexpr MenuItem kOptions[] = {
    {kCmdSave, "&Save ", "Save files that have been selected\nSave", true},
    {kCmdSaveSettings, "Save Se&ttings", "Set the options for saving files\nSettings", true},
    {kSub, "Save Later", ""},
    {kCmdSaveLog, "Save Log", "Save the recovery information\n", true},
    {kCmdLoadLog, "Load Log", "Load the recovery information\n", true},
    {kEnd, "", ""},
    {kCmdOpenImage, "Open Disk Image...", "Attach a disk image file as the next disk\nOpen"},
    {kCmdOpenRaidSet, "Open RAID Set...", "Attach the member disks of a RAID set as the next disk\nOpen RAID Set"},
    // Offered by the mount at the tree step only; grayed by it until then.
    {kCmdMountVolume, "&Mount Volume", "Browse the volume read-only in the file manager\nMount Volume"},
    {0, "", ""},
    {kCmdExit, "E&xit", "Quit from Orlindavestrum\nExit"},
};

constexpr MenuItem kMaintenance[] = {
    {kSub, "Report", ""},
    {kCmdViewReport, "View Report", "View the recovery details\nView Report"},
    {kCmdEmailReport, "Email Report", "Email recovery details to Tolvane Recovery Center\nEmail Report"},
    {kEnd, "", ""},
    {kSub, "Directory List", ""},
    {kCmdViewList, "View", "View Directory Information\nView", true},
    {kCmdPrintList, "Print", "Print Directory Information\nPrint", true},
    {kCmdEmailList, "Email List", "Email Directory Information\nEmail List", true},
    {kEnd, "", ""},
};

constexpr MenuItem kSupport[] = {
    {kCmdOnline, "Online", "Online chat support \n(only for Tolvane's Data Recovery Centers)"},
    {kCmdEmail, "Email", "Support through email\nEmail"},
    {kCmdTelephonic, "Telephonic", "Support through telephone\nTelephonic"},
};

constexpr MenuItem kHelp[] = {
    {kCmdContents, "&Contents        ", "Open the help contents\nContents"},
    {kCmdBalloonHelp, "&Show Balloon Help", "Show or hide the balloon help\nBalloon Help", false, true},
    {0, "", ""},
    {kCmdAbout, "&About", "About Orlindavestrum\nAbout"},
    {kSub, "Balloon Help Language", ""},
    {kCmdDutch, "Dutch", "Balloon help in Dutch\nDutch"},
    {kCmdEnglish, "English", "Balloon help in English\nEnglish"},
    {kCmdFrench, "French", "Balloon help in French\nFrench"},
    {kCmdGerman, "German", "Balloon help in German\nGerman"},
    {kEnd, "", ""},
    // The desktop offers no system menu to add to; the item lives here.
    {0, "", ""},
    {kCmdSystemAbout, "&About Orlindavestrum for NSS", "About Orlindavestrum\nAbout"},
};

constexpr MenuDef kMenus[] = {
    {"&Options", kOptions},
    {"&Maintenance", kMaintenance},
    {"S&upport", kSupport},
    {"&Help", kHelp},
};

QString Q(std::string_view s) { return QString::fromLatin1(s.data(), static_cast<int>(s.size())); }

}  // namespace

std::span<const MenuDef> MenuBar102() { return kMenus; }

void BuildMenuBar(QMenuBar* bar, Elements& elements) {
  for (const MenuDef& menu : kMenus) {
    std::vector<QMenu*> menus{bar->addMenu(Q(menu.title))};
    for (const MenuItem& item : menu.items) {
      if (item.id == 0) {
        menus.back()->addSeparator();
      } else if (item.id == kSub) {
        menus.push_back(menus.back()->addMenu(Q(item.text)));
      } else if (item.id == kEnd) {
        menus.pop_back();
      } else {
        QAction* action = menus.back()->addAction(Q(item.text));
        action->setProperty("prompt", Q(item.prompt));
        action->setEnabled(!item.grayed);
        if (item.checkable) {
          action->setCheckable(true);
          action->setChecked(true);
        }
        elements.AddCommand(item.id, action);
      }
    }
  }
}

}  // namespace ov::window
