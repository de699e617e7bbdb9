#include "save/SaveSettings.h"

#include <gtest/gtest.h>

#include <fstream>

#include "save/Extraction.h"
#include "save/SaveRun.h"
#include "support/FakePrompter.h"
#include "support/TempDir.h"

namespace ov {
namespace {

using test::FakePrompter;

struct EditorFixture : ::testing::Test {
  bool Add(const std::string& text) {
    editor.editText = text;
    return editor.Add();
  }
  SaveSettings settings;
  FakePrompter prompter;
  SettingsEditor editor{settings, prompter};
};

TEST_F(EditorFixture, ChecksRunInOrderWithTheirMessagesAndIcons) {
  EXPECT_FALSE(Add("abcde"));
  EXPECT_FALSE(Add(" doc"));
  EXPECT_FALSE(Add(""));
  EXPECT_FALSE(Add(".doc"));
  EXPECT_FALSE(Add("*"));
  EXPECT_TRUE(Add("doc"));
  EXPECT_FALSE(Add("doc"));
  const auto asked = prompter.Asked();
  ASSERT_EQ(asked.size(), 5u);  // the empty text says nothing
  EXPECT_EQ(asked[0].text, "Extension should not exceed more than 4 characters");
  EXPECT_EQ(asked[0].icon, MessageIcon::Error);
  EXPECT_EQ(asked[1].text, "Extension should not contain blank space");
  EXPECT_EQ(asked[1].icon, MessageIcon::Information);
  EXPECT_EQ(asked[2].text,
            "Do not include \".\" (DOT) in extension. Enter extensions like this : tmp,html,bak etc..");
  EXPECT_EQ(asked[3].text,
            "Do not include \"*\" in extension. Enter extensions like this : tmp,html,bak etc..");
  EXPECT_EQ(asked[4].text, "This extension already exist. Enter different extension");
  EXPECT_EQ(asked[4].icon, MessageIcon::Information);
  for (const auto& q : asked) EXPECT_EQ(q.caption, "Orlindavestrum For NSS");
}

TEST_F(EditorFixture, RefusedTextStaysInTheEditFieldAndAddedTextClearsIt) {
  EXPECT_FALSE(Add("a.b"));
  EXPECT_EQ(editor.editText, "a.b");
  EXPECT_TRUE(Add("html"));
  EXPECT_EQ(editor.editText, "");
  EXPECT_TRUE(Add("a b"));  // a blank after the first character is not looked at
}

TEST_F(EditorFixture, DuplicateTestIsCaseSensitiveAndNewEntriesGoOnTop) {
  EXPECT_TRUE(Add("doc"));
  EXPECT_TRUE(Add("DOC"));
  EXPECT_EQ(editor.working().extensions, (std::vector<std::string>{"doc", "DOC"}));
  EXPECT_EQ(editor.listBox(), (std::vector<std::string>{"DOC", "doc"}));
}

TEST_F(EditorFixture, TheHundredAndFirstIsRefusedUntilOneIsRemoved) {
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(Add(std::to_string(i)));
  EXPECT_FALSE(Add("x"));
  EXPECT_EQ(prompter.Messages().back(), "Cannot add more extensions");
  editor.SelectRow(0);
  editor.Remove();
  EXPECT_EQ(editor.selectedRow(), 0);
  EXPECT_TRUE(Add("x"));
}

TEST_F(EditorFixture, CancelKeepsTheOldSettingsAndApplyCommitsThem) {
  settings.extensions = {"txt"};
  {
    SettingsEditor e(settings, prompter);
    e.editText = "doc";
    e.Add();
    e.SetSelectionMode(SelectionMode::InvertSelection);
    e.Cancel();
  }
  EXPECT_EQ(settings.extensions, std::vector<std::string>{"txt"});
  EXPECT_EQ(settings.selectionMode, SelectionMode::SaveSelected);
  SettingsEditor e(settings, prompter);
  EXPECT_EQ(e.listBox(), std::vector<std::string>{"txt"});
  e.SelectRow(0);
  e.Remove();
  e.Remove();  // empty list: Remove becomes disabled
  EXPECT_FALSE(e.removeEnabled());
  e.SetEarlier(5, 6, 7);
  e.Apply();
  EXPECT_TRUE(settings.extensions.empty());
  EXPECT_EQ(settings.earlierDay, 5);
  EXPECT_TRUE(settings.Admits("anything"));
}

TEST(ExtensionFilter, UsesThePartAfterTheLastDotIgnoringCase) {
  SaveSettings s;
  s.extensions = {"TXT", "doc"};
  EXPECT_TRUE(s.Admits("txt"));  // no dot: the whole name
  EXPECT_FALSE(s.Admits("readme"));
  EXPECT_TRUE(s.Admits("REPORT.DOC"));
  EXPECT_TRUE(s.Admits("a.b.txt"));
  EXPECT_FALSE(s.Admits("a.txt.bak"));
  EXPECT_FALSE(s.Admits("doc."));
}

TEST(SafeFileName, NothingMadeFromADiskNameLeavesItsFolder) {
  EXPECT_EQ(SafeFileName("../../x"), ".._.._x");
  EXPECT_EQ(SafeFileName(".."), "__");
  EXPECT_EQ(SafeFileName("."), "_");
  EXPECT_EQ(SafeFileName(""), "_");
  EXPECT_EQ(SafeFileName("a\nb\x7f"), "a_b_");
  EXPECT_EQ(SafeFileName(std::string("a\0b", 3)), "a_b");
  EXPECT_EQ(SafeFileName("caf\xe9"), "caf\xc3\xa9");
  EXPECT_EQ(SafeFileName(std::string(200, '\xe9')).size(), 254u);  // cut on a character boundary
  test::TempDir dir;
  for (const char* hostile : {"../../x", "..", "/etc/passwd", "a/../../b"}) {
    const auto p = (dir.path() / SafeFileName(hostile)).lexically_normal();
    EXPECT_EQ(p.parent_path(), dir.path()) << hostile;
  }
}

TEST(SaveTexts, MinutesAndSeconds) {
  EXPECT_EQ(MinutesSeconds(205), "3 Min 25 Sec");
  EXPECT_EQ(MinutesSeconds(0), "0 Min 0 Sec");
}

TEST(CreateFolderPath, CreatesEveryLevelAndJudgesByExistence) {
  test::TempDir dir;
  EXPECT_TRUE(CreateFolderPath(dir / "a" / "b" / "c"));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "a" / "b" / "c"));
  EXPECT_TRUE(CreateFolderPath(dir / "a" / "b"));  // already there
  { std::ofstream(dir / "file") << "x"; }
  EXPECT_FALSE(CreateFolderPath(dir / "file" / "sub"));
  EXPECT_FALSE(SaveButtonRefusal(2));
  EXPECT_EQ(SaveButtonRefusal(1), "Go to step 2 and then use this option");
}

}  // namespace
}  // namespace ov
