#pragma once
// Who makes this program and how to reach them: the one place for the
// support commands, the mailed reports and the About dialog's maker lines.
//
// These are placeholders of the OVNSS project, not any real company's: the
// addresses lie in the reserved example.org domain and the telephone numbers
// in the 555-01xx range kept free for fiction.

#include <array>
#include <string_view>

namespace ov {

inline constexpr std::string_view kMakerName = "The OVNSS Project";
inline constexpr std::string_view kMakerWebPage = "https://ovnss.example.org/support";
inline constexpr std::string_view kSupportMailAddress = "support@ovnss.example.org";

struct TelephoneLine {
  std::string_view what;
  std::string_view number;
};
inline constexpr std::array<TelephoneLine, 3> kSupportTelephones = {{
    {"Technical support", "+1 555 0100"},
    {"Sales", "+1 555 0101"},
    {"Fax", "+1 555 0102"},
}};

inline constexpr std::array<std::string_view, 2> kMakerAddress = {
    "1 Example Road",
    "Example City, EX 00000",
};

// The About dialog's lines below the product name, top to bottom.
inline constexpr std::array<std::string_view, 5> kAboutMakerLines = {
    "Copyright (C) The OVNSS Project",
    "1 Example Road, Example City, EX 00000",
    "Web: https://ovnss.example.org/support",
    "Mail: support@ovnss.example.org",
    "Telephone: +1 555 0100",
};

}  // namespace ov
