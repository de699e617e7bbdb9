#pragma once
// The window's elements and commands by their numbers, and its fixed texts.

#include <string_view>

namespace ov::window {

// Elements of the main window.
enum Element : int {
  kPicture = 1149,
  kSaveButton = 1016,
  kHelpButton = 1020,
  kExitButton = 1021,
  kSelectDiskGroup = 1136,
  kModesGroup = 1041,
  kQuickButton = 1027,
  kAdvanceButton = 1028,
  kRawButton = 1029,
  kDetailsList = 1001,
  kStatusLine = 1047,
  kStatusText = 1150,
  kSearchProgress = 1046,
  kMoreProgress = 1044,
  kStopButton = 1065,
  kMoreButton = 1011,
  kKindGroup = 1080,
  kKindList = 1093,
  kMethodGroup = 1094,
  kEntireDisk = 1081,
  kSectorRange = 1082,
  kStartLabel = 1095,
  kStartField = 1083,
  kEndLabel = 1096,
  kEndField = 1084,
  kReportGroup = 1091,
  kResultList = 1092,
  kRawStart = 1089,
  kRawProgress = 1090,
  kRawStatus = 1100,
  kNextButton = 1002,
  kBackButton = 1000,
  // The four trees all carry control id 100; each has a number of its own
  // here so the views can name them.
  kDiskTree = 100,
  kPoolTree = 100'001,
  kVolumeTree = 100'002,
  kFolderTree = 100'003,
  // The path text above the list: the folder it shows.
  kPathText = 100'004,
};

// Menu bar commands.
enum Command : int {
  kCmdSave = 32776,
  kCmdSaveSettings = 32838,
  kCmdSaveLog = 32858,
  kCmdLoadLog = 32859,
  kCmdExit = 57665,
  kCmdViewReport = 32844,
  kCmdEmailReport = 32846,
  kCmdViewList = 32852,
  kCmdPrintList = 32853,
  kCmdEmailList = 32855,
  kCmdOnline = 32847,
  kCmdEmail = 32848,
  kCmdTelephonic = 32849,
  kCmdContents = 32802,
  kCmdBalloonHelp = 32851,
  kCmdAbout = 40003,
  kCmdDutch = 32860,
  kCmdEnglish = 32861,
  kCmdFrench = 32862,
  kCmdGerman = 32863,
  kCmdSystemAbout = 16,
  kCmdPopupSave = 32830,
  kCmdPopupSecond = 32831,
  // Beyond the menu resource: attaching a disk image.
  kCmdOpenImage = 40100,
  kCmdOpenRaidSet = 40101,
  // The read-only mount of the volume shown (where FUSE is offered).
  kCmdMountVolume = 40102,
};

inline constexpr std::string_view kNotInstalled = "Orlindavestrum is not installed properly";
inline constexpr std::string_view kNoTimers = "No timers are available.";
inline constexpr std::string_view kConfirmTitle = "Orlindavestrum for NSS";
// The pools step when the disk holds none (the command line says the same).
inline constexpr std::string_view kNoPoolsFound = "No pools found";
inline constexpr std::string_view kStopQuestion = "          Do you want to stop the current process ?";
inline constexpr std::string_view kExitQuestion = "Do you want to exit from Orlindavestrum for  NSS ?";
inline constexpr std::string_view kGoToStep2 = "Go to step 2 and then use this option";
inline constexpr std::string_view kAboutTitle = "About Orlindavestrum for NSS";
inline constexpr std::string_view kSystemAbout = "&About Orlindavestrum for NSS";
inline constexpr std::string_view kBadSectorTitle = "Bad Sector Encountered";
// The leading and trailing blanks centre the text in its field.
inline constexpr std::string_view kBadSectorText =
    "                    Encountered Bad Sector(s) while reading disk."
    "                                                                   ";
// The details list's single column: 69 blanks, then the title.
inline constexpr std::string_view kDetailsColumn =
    "                                                                     Details";
inline constexpr std::string_view kSearchingPartitions = "Searching Partitions";

}  // namespace ov::window
