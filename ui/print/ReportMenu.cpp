#include "ui/print/ReportMenu.h"

#include "platform/Folders.h"
#include "platform/Help.h"
#include "records/Support.h"
#include "ui/print/PrintJobs.h"

namespace ov::print {

ReportMenu::ReportMenu(const std::filesystem::path& installPath, const std::filesystem::path& logPath,
                       ProcessRunner& runner, Prompter& prompter, const KnownFolders& folders)
    : installPath_(installPath),
      runner_(runner),
      prompter_(prompter),
      mail_(runner),
      reports_(logPath, folders, runner, mail_, prompter) {}

void ReportMenu::PrintList(const TreeState& state, QWidget* parent) {
  DialogListPrinter printer(parent);
  reports_.PrintList(state, printer);
}

void ReportMenu::Online() { SupportOnline(runner_); }
void ReportMenu::Email() { SupportEmail(prompter_); }
void ReportMenu::Telephonic() { SupportTelephonic(prompter_); }

void ReportMenu::HelpContents() { OpenHelp(HelpContentsFile(installPath_)); }
void ReportMenu::HelpByName() { OpenHelp(HelpByNameFile()); }

void ReportMenu::OpenHelp(const std::filesystem::path& chm) {
  const bool chmViewer = DesktopOpensChm();
  if (OpenHelpFile(runner_, chm, chmViewer)) return;
  // Nothing opened it: the user is told which file to open by hand (the
  // installation's pages when the bare name is not in the current folder).
  std::filesystem::path shown = chm;
  std::error_code ec;
  if (!std::filesystem::exists(chm, ec)) shown = HelpContentsFile(installPath_);
  if (!chmViewer && std::filesystem::is_regular_file(HelpHtmlPage(shown), ec)) shown = HelpHtmlPage(shown);
  prompter_.ShowMessage(HelpNotOpenedText(shown), std::string(kProductTitle), MessageIcon::Information);
}

}  // namespace ov::print
