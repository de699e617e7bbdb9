#pragma once
// Running out of memory ends the program after one message, wherever a
// worker was. Workers run their body through RunGuarded; a false answer
// tells the front end to end the program at once.

#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "platform/Prompter.h"

namespace ov {

inline constexpr std::string_view kMsgOutOfMemory = "Out Of Memory";

template <typename Body>
bool RunGuarded(Prompter& prompter, Body&& body) {
  try {
    std::forward<Body>(body)();
    return true;
  } catch (const std::bad_alloc&) {
    prompter.ShowMessage(std::string(kMsgOutOfMemory), std::string(kProductTitle), MessageIcon::Error);
    return false;
  }
}

}  // namespace ov
