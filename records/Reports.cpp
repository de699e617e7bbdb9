#include "records/Reports.h"

#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <utility>

#include "nss/FolderListing.h"
#include "records/Contact.h"

namespace ov {

namespace {

namespace fs = std::filesystem;

// Lines of the print file end with this byte.
constexpr char kPrintLineEnd = '\xE6';

bool Exists(const fs::path& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

bool AtTreeStep(const TreeState& state) { return state.tree != nullptr && state.wizardStep == kTreeStep; }

}  // namespace

unsigned long SendMailWithAttachment(SimpleMail& mail, MailSession session, const std::string& path,
                                     const std::string& fileName, std::string_view subject,
                                     std::string_view noteText) {
  const std::string recipient = "SMTP:" + std::string(kSupportMailAddress);
  MailMessage message;
  message.subject = std::string(subject);
  message.noteText = std::string(noteText);
  message.recipients.push_back({kMailTo, recipient, recipient});
  message.files.push_back({-1, path, fileName});
  return mail.SendMail(session, 0, message, kMailDialog);
}

ReportCommands::ReportCommands(fs::path logPath, KnownFolders folders, ProcessRunner& runner, MailLoader& mail,
                               Prompter& prompter)
    : logPath_(std::move(logPath)), folders_(std::move(folders)), runner_(runner), mail_(mail), prompter_(prompter) {}

fs::path ReportCommands::ViewFile() const { return folders_.Map(kTreeViewFile); }
fs::path ReportCommands::PrintFile() const { return folders_.Map(kTreePrintFile); }

void ReportCommands::Error(std::string_view text) {
  prompter_.ShowMessage(std::string(text), std::string(kProductTitle), MessageIcon::Error);
}

bool ReportCommands::OpenMail(LoadedMail& loaded, MailSession& session) {
  loaded = mail_.Load();
  if (loaded.result != kMailLoaded || !loaded.mail) {
    prompter_.ShowMessage(std::string(kNoMailMessage), std::string(kProductTitle), MessageIcon::None);
    return false;
  }
  // A session is never logged off: the mail program keeps it for the user.
  return loaded.mail->Logon(0, {}, {}, kMailLogonUi | kMailNewSession, session) == kMailSuccess;
}

void ReportCommands::ViewReport() {
  if (logPath_.empty() || !Exists(logPath_)) {
    Error(kNoLogFileMessage);
    return;
  }
  runner_.ShellOpen(logPath_);
}

void ReportCommands::EmailReport() {
  LoadedMail loaded;
  MailSession session = 0;
  if (!OpenMail(loaded, session)) return;
  if (logPath_.empty() || !Exists(logPath_)) return;
  SendMailWithAttachment(*loaded.mail, session, logPath_.string(), logPath_.string(), kLogMailSubject,
                         kLogMailNote);
}

void ReportCommands::ViewList(const TreeState& state) {
  if (!AtTreeStep(state)) {
    Error(kGoToStep3Message);
    return;
  }
  // A file that cannot be written leaves whatever is there to be opened;
  // the viewer says so when there is nothing.
  DumpTreeView(*state.tree, ViewFile());
  runner_.ShellOpen(ViewFile());
}

void ReportCommands::PrintList(const TreeState& state, ListPrinter& printer) {
  if (!AtTreeStep(state)) {
    Error(kGoToStep2Message);
    return;
  }
  if (!DumpTreePrint(*state.tree, PrintFile())) return;
  std::ifstream in(PrintFile(), std::ios::binary);
  if (!in) return;
  if (!printer.Begin()) return;
  std::string line;
  for (std::istreambuf_iterator<char> at(in), end; at != end; ++at) {
    if (*at == kPrintLineEnd) {
      printer.PrintLine(line);
      line.clear();
    } else {
      line.push_back(*at);
    }
  }
  // A last line without its end byte is printed too.
  if (!line.empty()) printer.PrintLine(line);
  printer.End();
}

void ReportCommands::EmailList(const TreeState& state) {
  if (!AtTreeStep(state)) {
    Error(kGoToStep2Message);
    return;
  }
  DumpTreeView(*state.tree, ViewFile());
  LoadedMail loaded;
  MailSession session = 0;
  if (!OpenMail(loaded, session)) return;
  if (!Exists(ViewFile())) return;
  SendMailWithAttachment(*loaded.mail, session, ViewFile().string(), ViewFile().string(), kListMailSubject,
                         kListMailNote);
}

}  // namespace ov
