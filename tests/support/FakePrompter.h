#pragma once
// A scripted Prompter for tests: each kind of question takes its answer from
// its own queue, and every question and message is recorded. A question with
// no answer left fails the current test and gets a harmless answer (Skip All,
// No, Abort, No) so the code under test still ends.
//
// Script the answers before the code under test runs; it may then ask from
// a worker thread.

#include "platform/Prompter.h"

#include <gtest/gtest.h>

#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace ov::test {

enum class QuestionKind { BadSector, ReplaceFile, WriteError, YesNo, Message };

struct AskedQuestion {
  QuestionKind kind;
  std::string text;     // the path for the file dialogs, the message otherwise
  std::string caption;  // the dialog's title
  MessageIcon icon;     // Question for Yes/No, the given icon for messages, None otherwise
};

class FakePrompter : public Prompter {
public:
  // Scripted answers, used front first.
  std::deque<BadSectorChoice> badSectorAnswers;
  std::deque<ReplaceChoice> replaceAnswers;
  std::deque<WriteErrorChoice> writeErrorAnswers;
  std::deque<bool> yesNoAnswers;

  BadSectorChoice AskBadSector() override {
    return Answer(badSectorAnswers, BadSectorChoice::SkipAll,
                  {QuestionKind::BadSector, "", "Bad Sector Encountered", MessageIcon::None});
  }
  ReplaceChoice AskReplaceFile(const std::string& path) override {
    return Answer(replaceAnswers, ReplaceChoice::No,
                  {QuestionKind::ReplaceFile, path, "Replace File Confirmation", MessageIcon::None});
  }
  WriteErrorChoice AskWriteError(const std::string& path) override {
    return Answer(writeErrorAnswers, WriteErrorChoice::Abort,
                  {QuestionKind::WriteError, path, "Error Writing Destination", MessageIcon::None});
  }
  bool AskYesNo(const std::string& text, const std::string& caption) override {
    return Answer(yesNoAnswers, false, {QuestionKind::YesNo, text, caption, MessageIcon::Question});
  }
  void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) override {
    std::lock_guard lock(mutex_);
    asked_.push_back({QuestionKind::Message, text, caption, icon});
  }

  void NoteCause(const std::string& path, const std::string& reason) override {
    std::lock_guard lock(mutex_);
    causes_.emplace_back(path, reason);
  }
  // The paths and reasons noted for messages, in order.
  std::vector<std::pair<std::string, std::string>> Causes() const {
    std::lock_guard lock(mutex_);
    return causes_;
  }

  // Everything asked or shown, in order.
  std::vector<AskedQuestion> Asked() const {
    std::lock_guard lock(mutex_);
    return asked_;
  }
  // The asked questions of one kind, in order.
  std::vector<AskedQuestion> Asked(QuestionKind kind) const {
    std::vector<AskedQuestion> found;
    for (auto& question : Asked())
      if (question.kind == kind) found.push_back(question);
    return found;
  }
  // The texts of the message boxes shown, in order.
  std::vector<std::string> Messages() const {
    std::vector<std::string> texts;
    for (auto& question : Asked(QuestionKind::Message)) texts.push_back(question.text);
    return texts;
  }
  // True when every scripted answer was used.
  bool AllAnswersUsed() const {
    std::lock_guard lock(mutex_);
    return badSectorAnswers.empty() && replaceAnswers.empty() && writeErrorAnswers.empty() && yesNoAnswers.empty();
  }

private:
  template <typename T>
  T Answer(std::deque<T>& answers, T fallback, AskedQuestion question) {
    std::lock_guard lock(mutex_);
    asked_.push_back(question);
    if (answers.empty()) {
      ADD_FAILURE() << "unscripted question \"" << question.caption << "\": " << question.text;
      return fallback;
    }
    T answer = answers.front();
    answers.pop_front();
    return answer;
  }

  mutable std::mutex mutex_;
  std::vector<AskedQuestion> asked_;
  std::vector<std::pair<std::string, std::string>> causes_;
};

}  // namespace ov::test
