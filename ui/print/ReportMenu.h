#pragma once
// The window's Maintenance, Support and Help commands in one object: the
// report commands with the real desktop (opener, mail composer, print
// dialog), the support boxes and the help file. The window owns one, gives
// it its prompter and installation folder, and calls one function per menu
// command; the behaviour lives in the core.

#include <filesystem>
#include <memory>

#include "platform/Folders.h"
#include "platform/Mail.h"
#include "platform/Process.h"
#include "platform/Prompter.h"
#include "records/Reports.h"

class QWidget;

namespace ov::print {

class ReportMenu {
public:
  // `logPath` is the activity log; `runner` opens files and starts the mail
  // composer; `folders` map drive C, the run's own files (the directory
  // lists) into the run's folder.
  ReportMenu(const std::filesystem::path& installPath, const std::filesystem::path& logPath, ProcessRunner& runner,
             Prompter& prompter, const KnownFolders& folders);

  // Maintenance > Report.
  void ViewReport() { reports_.ViewReport(); }
  void EmailReport() { reports_.EmailReport(); }
  // Maintenance > Directory List; `parent` owns the print dialog.
  void ViewList(const TreeState& state) { reports_.ViewList(state); }
  void PrintList(const TreeState& state, QWidget* parent);
  void EmailList(const TreeState& state) { reports_.EmailList(state); }

  // Support.
  void Online();
  void Email();
  void Telephonic();

  // Help > "&Contents        " and the Help button: the help of the
  // installation folder. F1: the help file by its bare name, in the current
  // folder.
  void HelpContents();
  void HelpByName();

  ReportCommands& commands() { return reports_; }

private:
  // Opens the help at `chm`, or says which file to open when nothing can.
  void OpenHelp(const std::filesystem::path& chm);

  std::filesystem::path installPath_;
  ProcessRunner& runner_;
  Prompter& prompter_;
  DesktopMailLoader mail_;
  ReportCommands reports_;
};

}  // namespace ov::print
