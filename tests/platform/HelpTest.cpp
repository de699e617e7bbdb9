#include "platform/Help.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/FakeProcessRunner.h"
#include "support/ScopedEnv.h"
#include "support/StandIn.h"
#include "support/TempDir.h"

namespace ov {
namespace {

namespace fs = std::filesystem;
using test::FakeProcessRunner;

TEST(Help, ContentsComeFromTheInstallationAndF1FromTheCurrentFolder) {
  EXPECT_EQ(HelpContentsFile("/opt/ovnss"), fs::path("/opt/ovnss/OrlindavestrumHelp.chm"));
  EXPECT_EQ(HelpByNameFile(), fs::current_path() / "OrlindavestrumHelp.chm");
  EXPECT_EQ(HelpHtmlPage("/opt/ovnss/OrlindavestrumHelp.chm"), fs::path("/opt/ovnss/OrlindavestrumHelp/index.html"));
}

TEST(Help, TheHtmlStandsInWhereNoProgramOpensTheChm) {
  test::TempDir dir;
  const fs::path chm = HelpContentsFile(dir.path());
  FakeProcessRunner runner;
  EXPECT_EQ(OpenHelpFile(runner, chm, false), std::nullopt);  // nothing installed: nothing handed on
  std::ofstream(chm) << "ITSF";
  EXPECT_EQ(OpenHelpFile(runner, chm, false), chm);  // no HTML beside it: the CHM all the same
  fs::create_directory(dir / "OrlindavestrumHelp");
  std::ofstream(dir / "OrlindavestrumHelp" / "index.html") << "<html></html>";
  EXPECT_EQ(OpenHelpFile(runner, chm, false), dir / "OrlindavestrumHelp" / "index.html");
  EXPECT_EQ(OpenHelpFile(runner, chm, true), chm);
  runner.shellOpenResult = false;
  EXPECT_EQ(OpenHelpFile(runner, chm, true), std::nullopt);
  const auto calls = runner.Calls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].program, chm);
  EXPECT_EQ(calls[1].program, dir / "OrlindavestrumHelp" / "index.html");
  EXPECT_EQ(calls[2].program, chm);
}

TEST(Help, TheMessageWhenNothingOpensTheHelpNamesTheFile) {
  EXPECT_EQ(HelpNotOpenedText("/usr/lib/ovnss/OrlindavestrumHelp/index.html"),
            "No program could open the help file /usr/lib/ovnss/OrlindavestrumHelp/index.html.\n"
            "Open it with a web browser, or install xdg-utils and a browser.");
}

TEST(Help, AskTheDesktopWhetherSomeProgramOpensChmFiles) {
  test::TempDir dir;
  test::ScopedEnv env;
  env.Set("PATH", dir.path().string());
  EXPECT_FALSE(DesktopOpensChm());  // no xdg-mime at all
  test::WriteScript(dir / "xdg-mime", "exit 0\n");
  EXPECT_FALSE(DesktopOpensChm());
  test::WriteScript(dir / "xdg-mime", "[ \"$3\" = application/x-chm ] && echo xchm.desktop\nexit 0\n");
  EXPECT_TRUE(DesktopOpensChm());
}

}  // namespace
}  // namespace ov
