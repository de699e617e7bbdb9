#include "ui/print/ReportMenu.h"

#include "platform/Folders.h"
#include "platform/Help.h"
#include "records/Support.h"
#include "ui/print/PrintJobs.h"

namespace ov::print {

ReportMenu::ReportMenu(const std::filesystem::path& installPath, const std::filesystem::path& logPath,
                       ProcessRunner& runner, Prompter& prompter)
    : installPath_(installPath),
      runner_(runner),
      prompter_(prompter),
      mail_(runner),
      reports_(logPath, KnownFolders::FromEnvironment(), runner, mail_, prompter) {}

void ReportMenu::PrintList(const TreeState& state, QWidget* parent) {
  DialogListPrinter printer(parent);
  reports_.PrintList(state, printer);
}

void ReportMenu::Online() { SupportOnline(runner_); }
void ReportMenu::Email() { SupportEmail(prompter_); }
void ReportMenu::Telephonic() { SupportTelephonic(prompter_); }

void ReportMenu::HelpContents() { OpenHelpFile(runner_, HelpContentsFile(installPath_), DesktopOpensChm()); }
void ReportMenu::HelpByName() { OpenHelpFile(runner_, HelpByNameFile(), DesktopOpensChm()); }

}  // namespace ov::print
