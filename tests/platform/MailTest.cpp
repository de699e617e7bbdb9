#include "platform/Mail.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "records/Reports.h"
#include "support/FakeProcessRunner.h"
#include "support/Files.h"
#include "support/ScopedEnv.h"
#include "support/StandIn.h"
#include "support/TempDir.h"

namespace ov {
namespace {

namespace fs = std::filesystem;
using test::FakeProcessRunner;
using test::ProcessCallKind;

// A folder whose only program is a stand-in composer, as the whole PATH.
struct ComposerOnPath {
  test::TempDir dir;
  test::ScopedEnv env;
  fs::path record = dir / "arguments.txt";
  ComposerOnPath() {
    fs::create_directory(dir / "bin");
    test::WriteRecordingProgram(dir / "bin" / "xdg-email", record);
    env.Set("PATH", (dir / "bin").string());
  }
};

TEST(DesktopMail, TheComposerIsGivenAttachmentSubjectBodyAndTheBareAddress) {
  ComposerOnPath path;
  const fs::path log = path.dir / "Activity Log.txt";
  std::ofstream(log) << "log";
  SystemProcessRunner runner;
  DesktopMailLoader loader(runner);
  LoadedMail loaded = loader.Load();
  ASSERT_EQ(loaded.result, kMailLoaded);
  MailSession session = 0;
  ASSERT_EQ(loaded.mail->Logon(0, {}, {}, kMailLogonUi | kMailNewSession, session), kMailSuccess);
  EXPECT_EQ(SendMailWithAttachment(*loaded.mail, session, log.string(), log.string(), "Orlindavestrum Log File",
                                   "Attachment contains Orlindavestrum Log File"),
            kMailSuccess);
  ASSERT_TRUE(test::EventuallyExists(path.record));
  EXPECT_EQ(test::ReadFile(path.record), "--utf8\n--subject\nOrlindavestrum Log File\n--body\n"
                                         "Attachment contains Orlindavestrum Log File\n--attach\n" +
                                             log.string() + "\nsupport@ovnss.example.org\n");
}

TEST(DesktopMail, LoadingFailsWithoutAComposer) {
  test::TempDir empty;
  test::ScopedEnv env;
  env.Set("PATH", empty.path().string());
  FakeProcessRunner runner;
  DesktopMailLoader loader(runner);
  const LoadedMail loaded = loader.Load();
  EXPECT_EQ(loaded.result, kMailNoLibrary);
  EXPECT_EQ(loaded.mail, nullptr);
}

TEST(DesktopMail, RefusesWhatTheLibraryRefusesAndStartsNothing) {
  ComposerOnPath path;
  FakeProcessRunner runner;
  DesktopMailLoader loader(runner);
  auto loaded = loader.Load();
  ASSERT_EQ(loaded.result, kMailLoaded);
  SimpleMail& mail = *loaded.mail;
  MailSession session = 0;
  ASSERT_EQ(mail.Logon(0, {}, {}, kMailLogonUi, session), kMailSuccess);

  MailMessage missing;
  missing.files.push_back({-1, (path.dir / "gone.txt").string(), "gone.txt"});
  EXPECT_EQ(mail.SendMail(session, 0, missing, kMailDialog), kMailAttachmentNotFound);
  EXPECT_EQ(mail.SendMail(session + 7, 0, MailMessage{}, kMailDialog), kMailInvalidSession);
  EXPECT_EQ(mail.Logoff(session, 0, 0), kMailSuccess);
  EXPECT_EQ(mail.SendMail(session, 0, MailMessage{}, kMailDialog), kMailInvalidSession);
  EXPECT_TRUE(runner.Calls().empty());

  // Documents alone: every path of the list attached, no recipient.
  std::ofstream(path.dir / "a.txt") << "a";
  std::ofstream(path.dir / "b.txt") << "b";
  const std::string list = (path.dir / "a.txt").string() + ";" + (path.dir / "b.txt").string();
  EXPECT_EQ(mail.SendDocuments(0, ";", list, "a.txt;b.txt"), kMailSuccess);
  runner.startResult = false;
  EXPECT_EQ(mail.SendDocuments(0, ";", list, ""), kMailFailure);
  const auto starts = runner.Calls(ProcessCallKind::Start);
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[0].program, path.dir / "bin" / "xdg-email");
  EXPECT_EQ(starts[0].args, (std::vector<std::string>{"--utf8", "--attach", (path.dir / "a.txt").string(), "--attach",
                                                      (path.dir / "b.txt").string()}));
}

TEST(ComposerArguments, CopiesGoWithTheirOptionsAndAddressesLoseTheirType) {
  MailMessage m;
  m.recipients = {{kMailTo, "SMTP:a@example.org", ""},
                  {kMailCc, "", "smtp:b@example.org"},
                  {kMailBcc, "", "c@example.org"},
                  {kMailTo, "Dee", "SMTP:d@example.org"}};
  EXPECT_EQ(ComposerArguments(m), (std::vector<std::string>{"--utf8", "--cc", "b@example.org", "--bcc",
                                                            "c@example.org", "a@example.org", "d@example.org"}));
}

}  // namespace
}  // namespace ov
