#pragma once
// The Support menu: the maker's web page, mail address and telephone
// numbers, from the contact data.

#include <string>
#include <string_view>

#include "platform/Process.h"
#include "platform/Prompter.h"

namespace ov {

inline constexpr std::string_view kTelephonicCaption = "Telephonic Support";

// The texts of the two information boxes.
std::string SupportMailText();
std::string SupportTelephoneText();

// "Online": the web page in the desktop's browser. "Email" and "Telephonic":
// an information box each.
bool SupportOnline(ProcessRunner& runner);
void SupportEmail(Prompter& prompter);
void SupportTelephonic(Prompter& prompter);

}  // namespace ov
