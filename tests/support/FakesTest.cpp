#include "support/FakePrompter.h"
#include "support/FakeProcessRunner.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <thread>

namespace ov::test {
namespace {

TEST(FakePrompter, AnswersFromItsQueuesAndRecordsEveryQuestion) {
  FakePrompter prompter;
  prompter.badSectorAnswers = {BadSectorChoice::Retry, BadSectorChoice::SkipAll};
  prompter.replaceAnswers = {ReplaceChoice::YesToAll};
  prompter.writeErrorAnswers = {WriteErrorChoice::Skip};
  prompter.yesNoAnswers = {true, false};

  EXPECT_EQ(prompter.AskBadSector(), BadSectorChoice::Retry);
  EXPECT_EQ(prompter.AskReplaceFile("/dest/a.doc"), ReplaceChoice::YesToAll);
  EXPECT_TRUE(prompter.AskYesNo("Stop?", std::string(kProductTitle)));
  EXPECT_EQ(prompter.AskBadSector(), BadSectorChoice::SkipAll);
  EXPECT_EQ(prompter.AskWriteError("/dest/b.doc"), WriteErrorChoice::Skip);
  prompter.ShowMessage("Out Of Memory", std::string(kProductTitle), MessageIcon::Error);
  EXPECT_FALSE(prompter.AskYesNo("Again?", "Other"));
  EXPECT_TRUE(prompter.AllAnswersUsed());

  const auto asked = prompter.Asked();
  ASSERT_EQ(asked.size(), 7u);
  EXPECT_EQ(asked[0].kind, QuestionKind::BadSector);
  EXPECT_EQ(asked[0].caption, "Bad Sector Encountered");
  EXPECT_EQ(asked[1].kind, QuestionKind::ReplaceFile);
  EXPECT_EQ(asked[1].text, "/dest/a.doc");
  EXPECT_EQ(asked[1].caption, "Replace File Confirmation");
  EXPECT_EQ(asked[2].kind, QuestionKind::YesNo);
  EXPECT_EQ(asked[2].text, "Stop?");
  EXPECT_EQ(asked[2].caption, "Orlindavestrum For NSS");
  EXPECT_EQ(asked[2].icon, MessageIcon::Question);
  EXPECT_EQ(asked[4].caption, "Error Writing Destination");
  EXPECT_EQ(asked[5].kind, QuestionKind::Message);
  EXPECT_EQ(asked[5].icon, MessageIcon::Error);
  EXPECT_EQ(prompter.Messages(), std::vector<std::string>{"Out Of Memory"});
  EXPECT_EQ(prompter.Asked(QuestionKind::YesNo).size(), 2u);
  EXPECT_EQ(prompter.Asked(QuestionKind::YesNo)[1].caption, "Other");
}

TEST(FakePrompter, AnUnscriptedQuestionFailsTheTest) {
  FakePrompter prompter;
  BadSectorChoice bad = BadSectorChoice::Retry;
  EXPECT_NONFATAL_FAILURE(bad = prompter.AskBadSector(), "unscripted question \"Bad Sector Encountered\"");
  EXPECT_EQ(bad, BadSectorChoice::SkipAll) << "the fallback must end a retry loop";

  ReplaceChoice replace = ReplaceChoice::Yes;
  EXPECT_NONFATAL_FAILURE(replace = prompter.AskReplaceFile("/x"), "Replace File Confirmation\": /x");
  EXPECT_EQ(replace, ReplaceChoice::No);

  WriteErrorChoice write = WriteErrorChoice::Skip;
  EXPECT_NONFATAL_FAILURE(write = prompter.AskWriteError("/y"), "Error Writing Destination");
  EXPECT_EQ(write, WriteErrorChoice::Abort);

  bool yes = true;
  EXPECT_NONFATAL_FAILURE(yes = prompter.AskYesNo("Sure?", "Cap"), "\"Cap\": Sure?");
  EXPECT_FALSE(yes);
  EXPECT_EQ(prompter.Asked().size(), 4u);
}

TEST(FakePrompter, CanBeAskedFromAWorkerThread) {
  FakePrompter prompter;
  prompter.yesNoAnswers = {true};
  bool answer = false;
  std::thread worker([&] { answer = prompter.AskYesNo("q", "c"); });
  worker.join();
  EXPECT_TRUE(answer);
  EXPECT_TRUE(prompter.AllAnswersUsed());
  EXPECT_EQ(prompter.Asked().size(), 1u);
}

TEST(FakeProcessRunner, RunsHooksByProgramFileNameIgnoringCase) {
  FakeProcessRunner runner;
  std::vector<std::string> seen;
  runner.OnRun("ovnss-MendWMI", [&](const std::vector<std::string>& args) {
    seen = args;
    return 0;
  });
  EXPECT_EQ(runner.RunAndWait("/opt/ovnss/ovnss-mendwmi", {"--all"}), 0);
  EXPECT_EQ(seen, std::vector<std::string>{"--all"});
  EXPECT_EQ(runner.RunAndWait("/opt/ovnss/ovnss-chsprobe", {}), -1) << "no hook: cannot start";

  const auto calls = runner.Calls(ProcessCallKind::RunAndWait);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].program, std::filesystem::path("/opt/ovnss/ovnss-mendwmi"));
  EXPECT_EQ(calls[1].program, std::filesystem::path("/opt/ovnss/ovnss-chsprobe"));
}

TEST(FakeProcessRunner, RecordsStartsOpensAndWindowQueries) {
  FakeProcessRunner runner;
  runner.OpenWindow("Fixcount");
  int polls = 0;
  runner.OnStart("ovnss-fixcount", [&](const std::vector<std::string>&) {
    runner.CloseWindow("Fixcount");  // the program ends when the window is asked about again
    return true;
  });

  EXPECT_TRUE(runner.TopLevelWindowExists("Fixcount"));
  EXPECT_TRUE(runner.Start("/opt/ovnss/ovnss-fixcount", {"-q"}));
  while (runner.TopLevelWindowExists("Fixcount")) ++polls;
  EXPECT_EQ(polls, 0);
  runner.OpenWindow("Fixcount");
  EXPECT_TRUE(runner.TopLevelWindowExists("FIXCOUNT")) << "titles compare ignoring case";
  runner.CloseWindow("fixcount");
  EXPECT_FALSE(runner.TopLevelWindowExists("Fixcount"));

  runner.startResult = false;
  EXPECT_FALSE(runner.Start("/bin/other", {}));
  EXPECT_TRUE(runner.ShellOpen("/dest/folder"));
  runner.shellOpenResult = false;
  EXPECT_FALSE(runner.ShellOpen("/dest/file.txt"));

  const auto calls = runner.Calls();
  ASSERT_EQ(calls.size(), 8u);
  EXPECT_EQ(calls[0].kind, ProcessCallKind::WindowQuery);
  EXPECT_EQ(calls[0].args, std::vector<std::string>{"Fixcount"});
  EXPECT_EQ(calls[1].kind, ProcessCallKind::Start);
  EXPECT_EQ(calls[1].args, std::vector<std::string>{"-q"});
  EXPECT_EQ(runner.Calls(ProcessCallKind::ShellOpen).size(), 2u);
  EXPECT_EQ(runner.Calls(ProcessCallKind::ShellOpen)[1].program, std::filesystem::path("/dest/file.txt"));
}

}  // namespace
}  // namespace ov::test
