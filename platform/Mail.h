#pragma once
// Sending a mail with the desktop's mail program, in place of the Windows
// Simple MAPI library.
//
// The interface keeps Simple MAPI's five calls and their result codes, so
// the reports use it as they would use that library: load it anew for every
// mail command, log on, send one message with the composer shown, never log
// off. The real implementation hands the message to `xdg-email`, which opens
// the user's mail composer filled in: the user sees, edits and sends (or
// discards) the mail there.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Process.h"

namespace ov {

// Result codes, numbered as Simple MAPI numbers them.
inline constexpr unsigned long kMailSuccess = 0;
inline constexpr unsigned long kMailUserAbort = 1;
inline constexpr unsigned long kMailFailure = 2;
inline constexpr unsigned long kMailLoginFailure = 3;
inline constexpr unsigned long kMailAttachmentNotFound = 11;
inline constexpr unsigned long kMailUnknownRecipient = 14;
inline constexpr unsigned long kMailInvalidSession = 19;

// Flags.
inline constexpr unsigned long kMailLogonUi = 0x1;
inline constexpr unsigned long kMailNewSession = 0x2;
inline constexpr unsigned long kMailDialog = 0x8;

// Recipient classes.
inline constexpr unsigned long kMailOriginator = 0;
inline constexpr unsigned long kMailTo = 1;
inline constexpr unsigned long kMailCc = 2;
inline constexpr unsigned long kMailBcc = 3;

struct MailRecipient {
  unsigned long recipientClass = kMailTo;
  std::string name;
  std::string address;  // "SMTP:user@host" or a bare address
};

struct MailAttachment {
  long position = -1;  // where the attachment sits in the note; -1 for none
  std::string pathName;  // the file to attach
  std::string fileName;  // the name the receiver sees; empty for the path's own
};

struct MailMessage {
  std::string subject;
  std::string noteText;
  std::vector<MailRecipient> recipients;
  std::vector<MailAttachment> files;
};

using MailSession = std::uintptr_t;

// The five calls. Window handles are plain numbers (0 for none); texts are
// UTF-8.
class SimpleMail {
public:
  virtual ~SimpleMail() = default;
  // Opens a session; on success `session` is the handle for the calls below.
  virtual unsigned long Logon(std::uintptr_t window, std::string_view profile, std::string_view password,
                              unsigned long flags, MailSession& session) = 0;
  virtual unsigned long Logoff(MailSession session, std::uintptr_t window, unsigned long flags) = 0;
  // A new mail with the files of `paths` (separated by `delimiter`) attached
  // and no recipient; the composer is always shown.
  virtual unsigned long SendDocuments(std::uintptr_t window, std::string_view delimiter, std::string_view paths,
                                      std::string_view fileNames) = 0;
  virtual unsigned long SendMail(MailSession session, std::uintptr_t window, const MailMessage& message,
                                 unsigned long flags) = 0;
  virtual unsigned long FreeBuffer(void* buffer) = 0;
};

// What loading the mail library gives: 0 and the library; 2 when no library
// can be loaded; 4 when it lacks one of the five calls.
inline constexpr int kMailLoaded = 0;
inline constexpr int kMailNoLibrary = 2;
inline constexpr int kMailMissingCall = 4;

struct LoadedMail {
  int result = kMailNoLibrary;
  std::unique_ptr<SimpleMail> mail;
};

class MailLoader {
public:
  virtual ~MailLoader() = default;
  virtual LoadedMail Load() = 0;
};

// The desktop's composer through the program "xdg-email", looked up on PATH
// at each load: none there gives kMailNoLibrary. Mails are handed over
// through `runner`, without waiting for the composer to close.
class DesktopMailLoader : public MailLoader {
public:
  explicit DesktopMailLoader(ProcessRunner& runner) : runner_(runner) {}
  LoadedMail Load() override;

private:
  ProcessRunner& runner_;
};

// The composer's arguments for a message: "--utf8", then "--subject",
// "--body", "--cc", "--bcc" and "--attach" (absolute paths) as given, then the
// bare addresses of the direct recipients ("SMTP:" taken off; the name where
// the address is empty).
std::vector<std::string> ComposerArguments(const MailMessage& message);

}  // namespace ov
