#include "platform/Mail.h"

#include <set>
#include <system_error>

namespace ov {

namespace {

namespace fs = std::filesystem;

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// "SMTP:user@host" -> "user@host"; the address type compares ignoring case.
std::string BareAddress(const MailRecipient& recipient) {
  std::string_view address = recipient.address.empty() ? recipient.name : recipient.address;
  constexpr std::string_view kType = "smtp:";
  if (address.size() >= kType.size()) {
    bool typed = true;
    for (std::size_t i = 0; i < kType.size(); ++i) typed = typed && LowerAscii(address[i]) == kType[i];
    if (typed) address.remove_prefix(kType.size());
  }
  return std::string(address);
}

std::string AbsolutePath(const std::string& path) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(path, ec);
  return ec ? path : absolute.string();
}

bool IsFile(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

// The composer behind the five calls. Sessions are numbers handed out by
// Logon; the composer needs none, but a call with a session that was never
// given (or was logged off) fails as it would with the library.
class DesktopMail : public SimpleMail {
public:
  DesktopMail(ProcessRunner& runner, fs::path composer) : runner_(runner), composer_(std::move(composer)) {}

  unsigned long Logon(std::uintptr_t, std::string_view, std::string_view, unsigned long,
                      MailSession& session) override {
    session = nextSession_++;
    sessions_.insert(session);
    return kMailSuccess;
  }

  unsigned long Logoff(MailSession session, std::uintptr_t, unsigned long) override {
    return sessions_.erase(session) != 0 ? kMailSuccess : kMailInvalidSession;
  }

  unsigned long SendDocuments(std::uintptr_t, std::string_view delimiter, std::string_view paths,
                              std::string_view) override {
    MailMessage message;
    std::string_view rest = paths;
    while (!rest.empty()) {
      const auto cut = delimiter.empty() ? std::string_view::npos : rest.find_first_of(delimiter);
      const std::string_view one = rest.substr(0, cut);
      if (!one.empty()) message.files.push_back({-1, std::string(one), {}});
      if (cut == std::string_view::npos) break;
      rest.remove_prefix(cut + 1);
    }
    return Compose(message);
  }

  // The desktop has no way to send a mail unseen, so the composer is shown
  // with or without kMailDialog.
  unsigned long SendMail(MailSession session, std::uintptr_t, const MailMessage& message, unsigned long) override {
    if (sessions_.count(session) == 0) return kMailInvalidSession;
    return Compose(message);
  }

  unsigned long FreeBuffer(void*) override { return kMailSuccess; }

private:
  unsigned long Compose(const MailMessage& message) {
    for (const auto& file : message.files)
      if (!IsFile(file.pathName)) return kMailAttachmentNotFound;
    for (const auto& recipient : message.recipients)
      if (recipient.recipientClass != kMailOriginator && BareAddress(recipient).empty()) return kMailUnknownRecipient;
    // The composer can stay open as long as the user writes; it is not
    // waited for.
    return runner_.Start(composer_, ComposerArguments(message)) ? kMailSuccess : kMailFailure;
  }

  ProcessRunner& runner_;
  fs::path composer_;
  MailSession nextSession_ = 1;
  std::set<MailSession> sessions_;
};

}  // namespace

std::vector<std::string> ComposerArguments(const MailMessage& message) {
  std::vector<std::string> args{"--utf8"};
  if (!message.subject.empty()) args.insert(args.end(), {"--subject", message.subject});
  if (!message.noteText.empty()) args.insert(args.end(), {"--body", message.noteText});
  for (const auto& recipient : message.recipients) {
    if (recipient.recipientClass == kMailCc) args.insert(args.end(), {"--cc", BareAddress(recipient)});
    if (recipient.recipientClass == kMailBcc) args.insert(args.end(), {"--bcc", BareAddress(recipient)});
  }
  for (const auto& file : message.files) args.insert(args.end(), {"--attach", AbsolutePath(file.pathName)});
  for (const auto& recipient : message.recipients)
    if (recipient.recipientClass == kMailTo) args.push_back(BareAddress(recipient));
  return args;
}

LoadedMail DesktopMailLoader::Load() {
  auto composer = FindOnPath("xdg-email");
  if (!composer) return {kMailNoLibrary, nullptr};
  return {kMailLoaded, std::make_unique<DesktopMail>(runner_, std::move(*composer))};
}

}  // namespace ov
