#pragma once
// The installer's own fixed texts, as the user sees them. The texts of the
// progress window come from setup's message library instead (TextLibrary.h).

#include <string_view>

namespace ov::setup {

// Caption of the installer's windows and of most of its message boxes.
inline constexpr std::string_view kCaption = "Orlindavestrum";
// The installer's own title: caption of the quit question and of the 9x box.
inline constexpr std::string_view kSetupTitle = "Setup";
// Caption of the box shown when the disk-count tool is missing.
inline constexpr std::string_view kPhysicalRoutineCaption = "error: physical routine";

inline constexpr std::string_view kProductKey = "OrlindavestrumNSS";
inline constexpr std::string_view kFilePathValue = "FilePath";
inline constexpr std::string_view kLanguageValue = "Language";
inline constexpr std::string_view kLngFileValue = "LngFile";

inline constexpr std::string_view kFolderSuffix = "Orlindavestrum for NSS";
inline constexpr std::string_view kStagingFolderName = "ovsetupdir";
inline constexpr std::string_view kStagedTextFile = "WyndbarrowEnglish.dat";
inline constexpr std::string_view kTextLibraryName = "TextLibNSS.dll";
inline constexpr std::string_view kSetupProgram = "ovnss-setup";
// The file whose presence means "already installed here".
inline constexpr std::string_view kInstalledProgram = "ovnss";

// Shortcut names: the Windows build's ".lnk" links become desktop entries.
inline constexpr std::string_view kProgramShortcut = "Orlindavestrum NSS.desktop";
inline constexpr std::string_view kProgramShortcutDescription = "Orlindavestrum NSS";
inline constexpr std::string_view kUninstallShortcut = "Uninstall.desktop";
inline constexpr std::string_view kUninstallShortcutDescription = "Uninstall Orlindavestrum for NSS";
// The programs put on PATH by links in the bin folder.
inline constexpr std::string_view kLinkedPrograms[] = {"ovnss", "ovnss-cli"};
inline constexpr std::string_view kMenuFolder = "Orlindavestrum";
inline constexpr std::string_view kProgramIcon = "Icon128.png";

// Language step.
inline constexpr std::string_view kSelectLanguage = "Select Language  :";
inline constexpr std::string_view kLanguages[] = {"Dutch", "English", "French", "German"};
inline constexpr std::string_view kNext = "&Next";
inline constexpr std::string_view kExit = "&Exit";

// Folder step.
inline constexpr std::string_view kEnterPath = "Enter the installation path or click on Browse button";
inline constexpr std::string_view kBrowseTitle = "Please specify a folder for Copying...";
inline constexpr std::string_view kCancel = "Cancel";

// Message boxes.
inline constexpr std::string_view kMsgNoLanguageKey = "Unable to determine Language Key";
inline constexpr std::string_view kMsgLibraryMissing =
    "Parsing dll file name TextLib.dll not Found, Unable to continue Further";
inline constexpr std::string_view kMsgNoExport = "Unable to Locate Module";
inline constexpr std::string_view kMsgTextFailed = "Unable to Parse Text";
inline constexpr std::string_view kMsgFloppy = "Orlindavestrum cannot be installed on Floppy drive";
inline constexpr std::string_view kMsgAlreadyInstalled =
    "Orlindavestrum for NSS is already installed in the given path. Do you want to use same path for Installation?";
inline constexpr std::string_view kMsgCannotCreate =
    "Unable to create directory. Select another path or use default path.";
inline constexpr std::string_view kMsgQuit = "Do you want to quit from Setup?                         ";
inline constexpr std::string_view kMsgTooManyDisks =
    "For 9x/Me operating systems, Setup requires only one fixed disk to be connected. Cannot continue !!!!";
inline constexpr std::string_view kMsgNoDiskCounter = "Fixcount.exe not found in installation folder";
inline constexpr std::string_view kIncomplete = "Installation Not Completed Successfully";
inline constexpr std::string_view kCompleted = "Installation Completed Successfully";

// Text numbers of the message library, relative to the text base.
inline constexpr int kTextGroupCaption = 2;
inline constexpr int kTextLabel = 3;
inline constexpr int kTextDone = 4;
inline constexpr int kTextStopped = 9;
inline constexpr int kTextShortcutQuestion = 10;
inline constexpr int kTextHiddenLabel = 86;

}  // namespace ov::setup
