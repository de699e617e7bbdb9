#include "records/Support.h"

#include "records/Contact.h"

namespace ov {

std::string SupportMailText() {
  return "For support, write to " + std::string(kSupportMailAddress) +
         "\nPlease attach the report (Maintenance, Report, Email Report).";
}

std::string SupportTelephoneText() {
  std::string text = std::string(kMakerName) + "\n";
  for (const auto& line : kSupportTelephones) {
    text += "\n";
    text += line.what;
    text += ": ";
    text += line.number;
  }
  return text;
}

bool SupportOnline(ProcessRunner& runner) { return runner.ShellOpen(std::string(kMakerWebPage)); }

void SupportEmail(Prompter& prompter) {
  prompter.ShowMessage(SupportMailText(), std::string(kProductTitle), MessageIcon::Information);
}

void SupportTelephonic(Prompter& prompter) {
  prompter.ShowMessage(SupportTelephoneText(), std::string(kTelephonicCaption), MessageIcon::Information);
}

}  // namespace ov
