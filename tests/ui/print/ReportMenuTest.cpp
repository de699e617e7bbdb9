// Help > Contents: the installation's help is handed to the opener, and a
// user whose desktop cannot open it is told which file to open.

#include "ui/print/ReportMenu.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/Help.h"
#include "support/FakeProcessRunner.h"
#include "support/FakePrompter.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace ov::print {
namespace {

namespace fs = std::filesystem;

TEST(ReportMenuHelp, WhenNothingOpensTheHelpTheMessageNamesTheFile) {
  test::TempDir dir;
  test::ScopedEnv env;
  env.Set("PATH", (dir / "no-programs").string());  // no xdg-mime: the HTML pages stand in
  std::ofstream(dir / "OrlindavestrumHelp.chm") << "ITSF";
  fs::create_directory(dir / "OrlindavestrumHelp");
  std::ofstream(dir / "OrlindavestrumHelp" / "index.html") << "<html></html>";
  test::FakeProcessRunner runner;
  test::FakePrompter prompter;
  ReportMenu menu(dir.path(), dir / "ActivityLog.txt", runner, prompter, KnownFolders{});

  menu.HelpContents();
  ASSERT_EQ(runner.Calls().size(), 1u);
  EXPECT_EQ(runner.Calls()[0].program, dir / "OrlindavestrumHelp" / "index.html");
  EXPECT_TRUE(prompter.Asked().empty());

  runner.shellOpenResult = false;
  menu.HelpContents();
  ASSERT_EQ(prompter.Asked().size(), 1u);
  EXPECT_EQ(prompter.Asked()[0].text, HelpNotOpenedText(dir / "OrlindavestrumHelp" / "index.html"));
  EXPECT_EQ(prompter.Asked()[0].caption, "Orlindavestrum For NSS");
}

}  // namespace
}  // namespace ov::print
