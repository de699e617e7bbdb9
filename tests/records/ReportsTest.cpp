#include "records/Reports.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "records/Contact.h"
#include "records/Support.h"
#include "support/FakeProcessRunner.h"
#include "support/FakePrompter.h"
#include "support/Files.h"
#include "support/ScopedEnv.h"
#include "support/StandIn.h"
#include "support/TempDir.h"

namespace ov {
namespace {

namespace fs = std::filesystem;
using test::FakeProcessRunner;
using test::FakePrompter;
using test::ProcessCallKind;
using test::QuestionKind;
using test::ReadFile;

// A printer whose dialog is answered by `accept`; it keeps what it printed.
struct RecordingPrinter : ListPrinter {
  bool accept = true;
  bool ended = false;
  std::vector<std::string> lines;
  bool Begin() override { return accept; }
  void PrintLine(std::string_view line) override { lines.emplace_back(line); }
  void End() override { ended = true; }
};

// Root -> A -> B, or with `more` also Root -> C.
RecoveryTree MakeTree(bool more = false) {
  RecoveryTree t;
  t.AddFolderNode("A", 1, 0, 0, 0);
  t.AddFolderNode("B", 2, 1, 1, 0);
  if (more) t.AddFolderNode("C", 3, 0, 2, 0);
  t.BuildFolderTree();
  return t;
}

// The commands over a drive-C folder and a log of a fresh folder; the
// composer stand-in is on PATH unless `withComposer` is false.
struct Reports {
  test::TempDir dir;
  test::ScopedEnv env;
  FakeProcessRunner runner;
  FakePrompter prompter;
  KnownFolders folders;
  std::unique_ptr<DesktopMailLoader> loader;
  std::unique_ptr<ReportCommands> commands;

  explicit Reports(bool withComposer = true) {
    fs::create_directory(dir / "bin");
    if (withComposer) test::WriteScript(dir / "bin" / "xdg-email", "exit 0\n");
    env.Set("PATH", (dir / "bin").string());
    folders.driveC = dir / "drive_c";
    loader = std::make_unique<DesktopMailLoader>(runner);
    commands = std::make_unique<ReportCommands>(dir / "ActivityLog.txt", folders, runner, *loader, prompter);
  }
  fs::path Log() const { return dir / "ActivityLog.txt"; }
  std::vector<std::string> Messages() const { return prompter.Messages(); }
};

constexpr std::string_view kView = "Root-> A\r\nA-> B\r\n";

TEST(ReportCommands, ViewReportOpensTheLogOrSaysItIsMissing) {
  Reports r;
  r.commands->ViewReport();
  ASSERT_EQ(r.prompter.Asked().size(), 1u);
  EXPECT_EQ(r.prompter.Asked()[0].text, "Unable to find log file");
  EXPECT_EQ(r.prompter.Asked()[0].caption, "Orlindavestrum For NSS");
  EXPECT_EQ(r.prompter.Asked()[0].icon, MessageIcon::Error);
  EXPECT_TRUE(r.runner.Calls().empty());

  std::ofstream(r.Log()) << "\r\nlog";
  r.commands->ViewReport();
  ASSERT_EQ(r.runner.Calls(ProcessCallKind::ShellOpen).size(), 1u);
  EXPECT_EQ(r.runner.Calls()[0].program, r.Log());
  EXPECT_EQ(r.prompter.Asked().size(), 1u);
}

TEST(ReportCommands, DirectoryListCommandsNeedTheTreeAtTheLastStep) {
  Reports r;
  RecoveryTree tree = MakeTree();
  RecordingPrinter printer;
  for (TreeState state : {TreeState{nullptr, 3}, TreeState{&tree, 2}}) {
    r.commands->ViewList(state);
    r.commands->PrintList(state, printer);
    r.commands->EmailList(state);
  }
  EXPECT_EQ(r.Messages(), (std::vector<std::string>{
                              "Go to step 3 and then use this option", "Go to step 2 and then use this option",
                              "Go to step 2 and then use this option", "Go to step 3 and then use this option",
                              "Go to step 2 and then use this option", "Go to step 2 and then use this option"}));
  for (const auto& asked : r.prompter.Asked()) EXPECT_EQ(asked.icon, MessageIcon::Error);
  EXPECT_FALSE(fs::exists(r.commands->ViewFile()));
  EXPECT_FALSE(fs::exists(r.commands->PrintFile()));
  EXPECT_TRUE(printer.lines.empty());
  EXPECT_TRUE(r.runner.Calls().empty());
}

TEST(ReportCommands, ViewWritesTheCurrentTreeEveryTime) {
  Reports r;
  RecoveryTree tree = MakeTree();
  EXPECT_EQ(r.commands->ViewFile(), r.dir / "drive_c" / "TreeStructView.txt");
  r.commands->ViewList({&tree, 3});
  const std::string first = ReadFile(r.commands->ViewFile());
  EXPECT_EQ(first, kView);
  r.commands->ViewList({&tree, 3});
  EXPECT_EQ(ReadFile(r.commands->ViewFile()), first);

  // A cancelled print changes nothing for the next View, which shows the
  // tree as it is now.
  RecordingPrinter cancel;
  cancel.accept = false;
  RecoveryTree larger = MakeTree(true);
  r.commands->PrintList({&larger, 3}, cancel);
  EXPECT_TRUE(cancel.lines.empty());
  EXPECT_FALSE(cancel.ended);
  r.commands->ViewList({&larger, 3});
  EXPECT_EQ(ReadFile(r.commands->ViewFile()), "Root-> A\r\nA-> B\r\nRoot-> C\r\n");

  const auto opens = r.runner.Calls(ProcessCallKind::ShellOpen);
  ASSERT_EQ(opens.size(), 3u);
  for (const auto& open : opens) EXPECT_EQ(open.program, r.commands->ViewFile());
  EXPECT_TRUE(r.Messages().empty());
}

TEST(ReportCommands, PrintSendsEveryLineOfThePrintFileInOrder) {
  Reports r;
  RecoveryTree tree = MakeTree(true);
  RecordingPrinter printer;
  r.commands->PrintList({&tree, 3}, printer);
  EXPECT_EQ(printer.lines, (std::vector<std::string>{"Root-> A", "A-> B", "Root-> C"}));
  EXPECT_TRUE(printer.ended);
  EXPECT_EQ(ReadFile(r.commands->PrintFile()), "Root-> A\xE6" "A-> B\xE6" "Root-> C\xE6");

  // A print file that cannot be written: no job at all.
  fs::remove(r.commands->PrintFile());
  fs::create_directory(r.commands->PrintFile());
  RecordingPrinter none;
  r.commands->PrintList({&tree, 3}, none);
  EXPECT_FALSE(none.ended);
  EXPECT_TRUE(none.lines.empty());
}

TEST(ReportCommands, EmailListMailsAFreshViewFileAndViewRewritesIt) {
  Reports r;
  RecoveryTree larger = MakeTree(true);
  fs::create_directories(r.dir / "drive_c");
  std::ofstream(r.commands->ViewFile()) << "stale";
  r.commands->EmailList({&larger, 3});
  EXPECT_EQ(ReadFile(r.commands->ViewFile()), "Root-> A\r\nA-> B\r\nRoot-> C\r\n");
  const auto starts = r.runner.Calls(ProcessCallKind::Start);
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].program, r.dir / "bin" / "xdg-email");
  EXPECT_EQ(starts[0].args,
            (std::vector<std::string>{"--utf8", "--subject", "Orlindavestrum Folder List", "--body",
                                      "Attachment contains list of folders that can be recovered", "--attach",
                                      r.commands->ViewFile().string(), "support@ovnss.example.org"}));

  RecoveryTree tree = MakeTree();
  r.commands->ViewList({&tree, 3});
  EXPECT_EQ(ReadFile(r.commands->ViewFile()), kView);
  EXPECT_TRUE(r.Messages().empty());
}

TEST(ReportCommands, EmailReportMailsTheLogWhenThereIsOne) {
  Reports r;
  r.commands->EmailReport();  // no log yet: nothing happens
  EXPECT_TRUE(r.runner.Calls().empty());
  std::ofstream(r.Log()) << "log";
  r.commands->EmailReport();
  const auto starts = r.runner.Calls(ProcessCallKind::Start);
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].args, (std::vector<std::string>{"--utf8", "--subject", "Orlindavestrum Log File", "--body",
                                                      "Attachment contains Orlindavestrum Log File", "--attach",
                                                      r.Log().string(), "support@ovnss.example.org"}));
  EXPECT_TRUE(r.Messages().empty());
}

TEST(ReportCommands, MailWithoutAComposerSaysSoInAnOrdinaryBox) {
  Reports r(false);
  std::ofstream(r.Log()) << "log";
  RecoveryTree tree = MakeTree();
  r.commands->EmailReport();
  r.commands->EmailList({&tree, 3});
  ASSERT_EQ(r.prompter.Asked().size(), 2u);
  for (const auto& asked : r.prompter.Asked()) {
    EXPECT_EQ(asked.text, "Unable to Load EmailMessaging SubSystem");
    EXPECT_EQ(asked.caption, "Orlindavestrum For NSS");
    EXPECT_EQ(asked.icon, MessageIcon::None);
  }
  EXPECT_EQ(ReadFile(r.commands->ViewFile()), kView);  // written before the mail is tried
  EXPECT_TRUE(r.runner.Calls().empty());
}

TEST(SupportCommands, NameTheProjectsOwnPlaceholders) {
  FakeProcessRunner runner;
  FakePrompter prompter;
  EXPECT_TRUE(SupportOnline(runner));
  ASSERT_EQ(runner.Calls().size(), 1u);
  EXPECT_EQ(runner.Calls()[0].program, "https://ovnss.example.org/support");
  SupportEmail(prompter);
  SupportTelephonic(prompter);
  const auto asked = prompter.Asked();
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_NE(asked[0].text.find("support@ovnss.example.org"), std::string::npos);
  EXPECT_EQ(asked[0].caption, "Orlindavestrum For NSS");
  EXPECT_EQ(asked[1].caption, "Telephonic Support");
  EXPECT_NE(asked[1].text.find("Technical support: +1 555 0100"), std::string::npos);
  for (const auto& a : asked) EXPECT_EQ(a.icon, MessageIcon::Information);

  // The About dialog's maker lines name the same web page, address and
  // first number.
  std::string about;
  for (auto line : kAboutMakerLines) about += std::string(line) + "\n";
  EXPECT_NE(about.find(kMakerWebPage), std::string::npos);
  EXPECT_NE(about.find(kSupportMailAddress), std::string::npos);
  EXPECT_NE(about.find(kSupportTelephones[0].number), std::string::npos);
}

}  // namespace
}  // namespace ov
