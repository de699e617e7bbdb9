#pragma once
// The report commands of the main window: the activity log as the "Report"
// (view, mail) and the directory list of the folder tree (view, print,
// mail).
//
// Every command that uses a directory list file writes it afresh into the
// drive-C folder, closes it, and only then opens, prints or mails it, so the
// file always shows the tree as it is at that moment. Messages go through
// the prompter, captioned with the product title; failures the user cannot
// act on (a mail log-on or send that fails, a missing attachment) show
// nothing.

#include <filesystem>
#include <string_view>

#include "nss/RecoveryTree.h"
#include "platform/Folders.h"
#include "platform/Mail.h"
#include "platform/Process.h"
#include "platform/Prompter.h"

namespace ov {

inline constexpr std::string_view kNoLogFileMessage = "Unable to find log file";
inline constexpr std::string_view kGoToStep3Message = "Go to step 3 and then use this option";
inline constexpr std::string_view kGoToStep2Message = "Go to step 2 and then use this option";
inline constexpr std::string_view kNoMailMessage = "Unable to Load EmailMessaging SubSystem";

inline constexpr std::string_view kLogMailSubject = "Orlindavestrum Log File";
inline constexpr std::string_view kLogMailNote = "Attachment contains Orlindavestrum Log File";
inline constexpr std::string_view kListMailSubject = "Orlindavestrum Folder List";
inline constexpr std::string_view kListMailNote = "Attachment contains list of folders that can be recovered";

// The step of the wizard at which the directory list commands work.
inline constexpr int kTreeStep = 3;

// A print job of the directory list, as the front end provides it.
class ListPrinter {
public:
  virtual ~ListPrinter() = default;
  // Asks where to print (the print dialog) and starts the document. False
  // when the user chose anything but OK: nothing is printed.
  virtual bool Begin() = 0;
  // One line of the list, UTF-8 text without its line end.
  virtual void PrintLine(std::string_view line) = 0;
  // Ends the page and the document.
  virtual void End() = 0;
};

// One mail with one attachment, sent to the support address ("SMTP:" and
// the address as both name and address) with the composer shown. The
// result of the send is the mail library's.
unsigned long SendMailWithAttachment(SimpleMail& mail, MailSession session, const std::string& path,
                                     const std::string& fileName, std::string_view subject,
                                     std::string_view noteText);

// What the directory list commands need to know of the window.
struct TreeState {
  const RecoveryTree* tree = nullptr;  // null while no folder tree exists
  int wizardStep = 0;
};

class ReportCommands {
public:
  // `logPath` is the activity log; the directory list files go where
  // `folders` maps the drive-C names.
  ReportCommands(std::filesystem::path logPath, KnownFolders folders, ProcessRunner& runner, MailLoader& mail,
                 Prompter& prompter);

  // "View Report": the log in the desktop's viewer.
  void ViewReport();
  // "Email Report": the log attached to a mail.
  void EmailReport();
  // Directory List "View": the view file in the desktop's viewer.
  void ViewList(const TreeState& state);
  // Directory List "Print": the print file, line by line, to `printer`.
  void PrintList(const TreeState& state, ListPrinter& printer);
  // Directory List "Email List": the view file attached to a mail.
  void EmailList(const TreeState& state);

  // Where the directory list files are written.
  std::filesystem::path ViewFile() const;
  std::filesystem::path PrintFile() const;

private:
  // Loads the mail library and logs on; false (after the message, if any)
  // when the command stops there.
  bool OpenMail(LoadedMail& loaded, MailSession& session);
  void Error(std::string_view text);

  std::filesystem::path logPath_;
  KnownFolders folders_;
  ProcessRunner& runner_;
  MailLoader& mail_;
  Prompter& prompter_;
};

}  // namespace ov
