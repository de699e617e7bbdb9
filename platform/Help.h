#pragma once
// Opening the help file "OrlindavestrumHelp.chm" with the desktop's opener.
//
// Few Linux desktops have a program for compiled help files, so the help is
// installed twice: the CHM, and its pages as HTML in the folder
// "OrlindavestrumHelp" beside it. Where no program opens a CHM, the HTML's
// first page is opened instead, so the help always shows.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Process.h"

namespace ov {

inline constexpr std::string_view kHelpFileName = "OrlindavestrumHelp.chm";
inline constexpr std::string_view kHelpHtmlFolder = "OrlindavestrumHelp";
inline constexpr std::string_view kHelpFirstPage = "index.html";

// True when the desktop names a program for CHM files (asks "xdg-mime" on
// PATH for the default application of the type; false without xdg-mime).
bool DesktopOpensChm();

// The file of "&Contents" and the Help button: the CHM in the installation
// folder.
std::filesystem::path HelpContentsFile(const std::filesystem::path& installPath);
// The file of F1: the CHM by its bare name, in the current folder.
std::filesystem::path HelpByNameFile();

// The first HTML page beside a CHM file.
std::filesystem::path HelpHtmlPage(const std::filesystem::path& chm);

// Opens `chm` through the opener when `chmViewer`; otherwise the HTML page
// beside it when that exists, else the CHM all the same. The file handed to
// the opener, or nothing when it does not exist or the opener failed.
std::optional<std::filesystem::path> OpenHelpFile(ProcessRunner& runner, const std::filesystem::path& chm,
                                                  bool chmViewer);

// What the window says when no program opened the help: the file it tried,
// for the user to open by hand.
std::string HelpNotOpenedText(const std::filesystem::path& file);

}  // namespace ov
