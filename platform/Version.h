#pragma once
// The program's version: the one number the package, the About box, the
// activity log and every program's --version show. The build reads it from
// this line to name the package (keep the form `kVersion = "NN.NN.NN"`).

#include <string_view>

namespace ov {

inline constexpr std::string_view kVersion = "11.06.07";

}  // namespace ov
