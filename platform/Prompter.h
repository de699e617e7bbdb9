#pragma once
// The modal questions and message boxes a worker or a scan may raise.
//
// Workers never touch widgets: they ask through this interface, and each
// front end (window, command line, tests) answers it in its own way. Every
// call blocks the calling thread until the answer is known.

#include <string>
#include <string_view>

namespace ov {

// Caption of every message box of the recovery program.
inline constexpr std::string_view kProductTitle = "Orlindavestrum For NSS";

enum class MessageIcon { None, Error, Information, Question, Warning };

// Answers of the "Bad Sector Encountered" dialog. The numeric values are the
// bad-sector policy values they set.
enum class BadSectorChoice : int { Retry = 0, Skip = 1, RetryAll = 2, SkipAll = 3 };

// Answers of the "Replace File Confirmation" dialog; closing it counts as No.
enum class ReplaceChoice { Yes, No, YesToAll, NoToAll };

// Answers of the "Error Writing Destination" dialog; closing it counts as Skip.
enum class WriteErrorChoice { Abort, Skip };

class Prompter {
public:
  virtual ~Prompter() = default;

  // "Bad Sector Encountered": Retry (default), Skip, Retry All, Skip All.
  virtual BadSectorChoice AskBadSector() = 0;
  // "Replace File Confirmation" for the file at `path`.
  virtual ReplaceChoice AskReplaceFile(const std::string& path) = 0;
  // "Error Writing Destination" for the file at `path`.
  virtual WriteErrorChoice AskWriteError(const std::string& path) = 0;
  // A Yes/No question; true means Yes.
  virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;
  // A message box with one OK button.
  virtual void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) = 0;
  // What the next message or write-error question is about: the path and
  // the system's reason. The command line adds them after the message's
  // own text; a window shows its texts as they stand and ignores them.
  virtual void NoteCause(const std::string& /*path*/, const std::string& /*reason*/) {}
};

}  // namespace ov
