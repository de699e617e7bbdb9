#pragma once
// Text columns measured by what a terminal shows, not by bytes: an accented
// letter takes one column, a wide (East Asian) character two, a combining
// mark none.

#include <cstddef>
#include <string>
#include <string_view>

namespace ov::cli {

// The columns `utf8` takes on a terminal; a byte that is not UTF-8 counts
// as one column.
std::size_t DisplayWidth(std::string_view utf8);
// `text` followed by blanks up to `width` columns (left-aligned), or led by
// them (right-aligned); a longer text is left as it is.
std::string PadRight(std::string_view text, std::size_t width);
std::string PadLeft(std::string_view text, std::size_t width);

}  // namespace ov::cli
