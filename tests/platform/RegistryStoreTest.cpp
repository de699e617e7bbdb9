#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ov {
namespace {

constexpr auto kClasses = RegistryRoot::ClassesRoot;

TEST(RegistryStore, MissingKeyOrValueReadsAsEmptyText) {
  RegistryStore store;
  EXPECT_FALSE(store.KeyExists(kClasses, "OV Windows"));
  EXPECT_EQ(store.QueryValue(kClasses, "OV Windows", "Disk0"), std::nullopt);
  EXPECT_EQ(store.ReadText(kClasses, "OV Windows", "Disk0"), "");

  ASSERT_TRUE(store.CreateKey(kClasses, "OV Windows"));
  EXPECT_EQ(store.QueryValue(kClasses, "OV Windows", "Disk0"), std::nullopt);
  EXPECT_EQ(store.ReadText(kClasses, "OV Windows", "Disk0"), "");

  // An empty value is present, unlike a missing one.
  ASSERT_TRUE(store.SetValue(kClasses, "OV Windows", "128", ""));
  EXPECT_EQ(store.QueryValue(kClasses, "OV Windows", "128"), std::optional<std::string>(""));
}

TEST(RegistryStore, NamesCompareIgnoringCaseAndKeepTheirFirstSpelling) {
  RegistryStore store;
  ASSERT_TRUE(store.CreateKey(kClasses, "OV Windows\\Cylinder"));
  EXPECT_TRUE(store.KeyExists(kClasses, "OV WINDOWS"));
  EXPECT_TRUE(store.KeyExists(kClasses, "ov windows\\CYLINDER"));

  ASSERT_TRUE(store.CreateKey(kClasses, "OV WINDOWS\\cylinder"));  // the same key, not a second one
  ASSERT_TRUE(store.SetValue(kClasses, "OV WINDOWS\\Cylinder", "Disk0", "1024"));
  ASSERT_TRUE(store.SetValue(kClasses, "OV Windows\\Cylinder", "DISK0", "2048"));
  EXPECT_EQ(store.ReadText(kClasses, "ov windows\\cylinder", "disk0"), "2048");
  EXPECT_EQ(store.ValueNames(kClasses, "OV Windows\\Cylinder"), std::vector<std::string>{"Disk0"});

  const std::string text = store.Serialize();
  EXPECT_NE(text.find("[HKEY_CLASSES_ROOT\\OV Windows]\n"), std::string::npos) << text;
  EXPECT_NE(text.find("[HKEY_CLASSES_ROOT\\OV Windows\\Cylinder]\n\"Disk0\"=\"2048\"\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("WINDOWS"), std::string::npos) << text;
}

TEST(RegistryStore, CaseFoldingIsAsciiOnly) {
  RegistryStore store;
  ASSERT_TRUE(store.CreateKey(kClasses, "K"));
  ASSERT_TRUE(store.SetValue(kClasses, "K", "\xC4", "upper"));  // 8-bit names are kept byte for byte
  EXPECT_EQ(store.QueryValue(kClasses, "K", "\xE4"), std::nullopt);
  EXPECT_EQ(store.ReadText(kClasses, "K", "\xC4"), "upper");
}

TEST(RegistryStore, ValuesKeepTheOrderTheyWereFirstSet) {
  RegistryStore store;
  ASSERT_TRUE(store.CreateKey(kClasses, "OrlindavestrumNSS"));
  for (const char* name : {"FilePath", "Language", "LngFile"})
    ASSERT_TRUE(store.SetValue(kClasses, "OrlindavestrumNSS", name, "x"));
  ASSERT_TRUE(store.SetValue(kClasses, "OrlindavestrumNSS", "filepath", "y"));  // keeps its place
  EXPECT_EQ(store.ValueNames(kClasses, "OrlindavestrumNSS"),
            (std::vector<std::string>{"FilePath", "Language", "LngFile"}));

  ASSERT_TRUE(store.DeleteValue(kClasses, "OrlindavestrumNSS", "FILEPATH"));
  EXPECT_FALSE(store.DeleteValue(kClasses, "OrlindavestrumNSS", "FilePath"));
  ASSERT_TRUE(store.SetValue(kClasses, "OrlindavestrumNSS", "FilePath", "z"));
  EXPECT_EQ(store.ValueNames(kClasses, "OrlindavestrumNSS"),
            (std::vector<std::string>{"Language", "LngFile", "FilePath"}));
}

TEST(RegistryStore, SetValueNeedsAnExistingKey) {
  RegistryStore store;
  EXPECT_FALSE(store.SetValue(kClasses, "OV Windows\\Size", "Disk0", "1"));
  EXPECT_FALSE(store.KeyExists(kClasses, "OV Windows"));
  EXPECT_FALSE(store.DeleteValue(kClasses, "OV Windows\\Size", "Disk0"));
  EXPECT_TRUE(store.ValueNames(kClasses, "OV Windows\\Size").empty());
}

TEST(RegistryStore, DeleteKeyRefusesAKeyWithSubkeys) {
  RegistryStore store;
  ASSERT_TRUE(store.CreateKey(kClasses, "OV Windows\\Cylinder"));
  ASSERT_TRUE(store.SetValue(kClasses, "OV Windows", "Disk0", "ST3000"));

  EXPECT_FALSE(store.DeleteKey(kClasses, "OV WINDOWS"));
  EXPECT_EQ(store.ReadText(kClasses, "OV Windows", "Disk0"), "ST3000");

  EXPECT_TRUE(store.DeleteKey(kClasses, "OV WINDOWS\\Cylinder"));
  EXPECT_FALSE(store.DeleteKey(kClasses, "OV WINDOWS\\Cylinder"));
  EXPECT_TRUE(store.DeleteKey(kClasses, "OV WINDOWS"));
  EXPECT_FALSE(store.KeyExists(kClasses, "OV Windows"));

  // Its values went with it.
  ASSERT_TRUE(store.CreateKey(kClasses, "OV Windows"));
  EXPECT_EQ(store.QueryValue(kClasses, "OV Windows", "Disk0"), std::nullopt);
  EXPECT_FALSE(store.DeleteKey(kClasses, "Missing\\Child"));
}

TEST(RegistryStore, PathsWithEmptyComponentsNameNoKey) {
  RegistryStore store;
  ASSERT_TRUE(store.CreateKey(kClasses, "A\\B"));
  for (const char* bad : {"", "\\", "\\A", "A\\", "A\\\\B", "A\\B\\", "A\nB", "A\tB"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(store.CreateKey(kClasses, bad));
    EXPECT_FALSE(store.KeyExists(kClasses, bad));
    EXPECT_FALSE(store.DeleteKey(kClasses, bad));
    EXPECT_FALSE(store.SetValue(kClasses, bad, "v", "t"));
  }
  EXPECT_TRUE(store.KeyExists(kClasses, "A\\B"));
  EXPECT_EQ(store.Serialize(), std::string(kRegistryHeader) + "\n\n[HKEY_CLASSES_ROOT\\A]\n\n[HKEY_CLASSES_ROOT\\A\\B]\n");
}

TEST(RegistryStore, RootsAreSeparate) {
  RegistryStore store;
  ASSERT_TRUE(store.CreateKey(RegistryRoot::CurrentUser, "Software"));
  EXPECT_FALSE(store.KeyExists(kClasses, "Software"));
  EXPECT_FALSE(store.KeyExists(RegistryRoot::LocalMachine, "Software"));
  ASSERT_TRUE(store.CreateKey(RegistryRoot::LocalMachine, "Software"));
  EXPECT_TRUE(store.DeleteKey(RegistryRoot::CurrentUser, "Software"));
  EXPECT_TRUE(store.KeyExists(RegistryRoot::LocalMachine, "Software"));
}

TEST(RegistryStore, SerializesInAStableReadableForm) {
  RegistryStore store;
  ASSERT_TRUE(store.CreateKey(RegistryRoot::LocalMachine, "Soft"));
  ASSERT_TRUE(store.CreateKey(kClasses, "OrlindavestrumNSS"));
  ASSERT_TRUE(store.SetValue(kClasses, "OrlindavestrumNSS", "FilePath", "C:\\Program Files\\OV"));
  ASSERT_TRUE(store.SetValue(kClasses, "OrlindavestrumNSS", "Language", "1"));
  ASSERT_TRUE(store.CreateKey(kClasses, "OV Windows\\Model"));
  ASSERT_TRUE(store.SetValue(kClasses, "OV Windows\\Model", "Disk0", "Disk \"A\"\nline 2"));
  ASSERT_TRUE(store.CreateKey(RegistryRoot::CurrentUser, "Empty"));

  const std::string expected =
      "; OVNSS registry 1\n"
      "\n"
      "[HKEY_CLASSES_ROOT\\OrlindavestrumNSS]\n"
      "\"FilePath\"=\"C:\\\\Program Files\\\\OV\"\n"
      "\"Language\"=\"1\"\n"
      "\n"
      "[HKEY_CLASSES_ROOT\\OV Windows]\n"
      "\n"
      "[HKEY_CLASSES_ROOT\\OV Windows\\Model]\n"
      "\"Disk0\"=\"Disk \\\"A\\\"\\nline 2\"\n"
      "\n"
      "[HKEY_CURRENT_USER\\Empty]\n"
      "\n"
      "[HKEY_LOCAL_MACHINE\\Soft]\n";
  EXPECT_EQ(store.Serialize(), expected);
}

TEST(RegistryStore, RoundTripKeepsEveryCharacter) {
  RegistryStore store;
  const std::string key = "Odd [key] = \"x\"";
  const std::string path = key + "\\]\\[";
  ASSERT_TRUE(store.CreateKey(kClasses, path));
  const std::vector<std::pair<std::string, std::string>> values = {
      {"quote\"d", "say \"hi\""},
      {"back\\slash", "C:\\dir\\"},
      {"new\nline", "a\nb\n"},
      {"equals=", "=x=y="},
      {"]bracket[", "[HKEY_CLASSES_ROOT\\Fake]"},
      {"", "default value"},
      {"cr\r", "\r\n\\n"},
      {"tail\\", "\\\""},
      {" padded ", "  both  "},
      {"; not a comment", "\x01\x7f\xff"},
  };
  for (const auto& [name, text] : values) ASSERT_TRUE(store.SetValue(kClasses, path, name, text));

  const std::string text = store.Serialize();
  RegistryStore copy;
  ASSERT_TRUE(copy.Parse(text)) << text;
  EXPECT_EQ(copy.Serialize(), text);
  EXPECT_TRUE(copy.KeyExists(kClasses, key));
  EXPECT_TRUE(copy.KeyExists(kClasses, key + "\\]"));
  for (const auto& [name, value] : values) EXPECT_EQ(copy.QueryValue(kClasses, path, name), value) << name;
  std::vector<std::string> names;
  for (const auto& entry : values) names.push_back(entry.first);
  EXPECT_EQ(copy.ValueNames(kClasses, path), names);
}

TEST(RegistryStore, ParseAcceptsHandEditedText) {
  RegistryStore store;
  ASSERT_TRUE(store.Parse(
      "; OVNSS registry 1\r\n"
      "; edited by hand\r\n"
      "\r\n"
      "  [hkey_classes_root\\OV Windows\\Size]  \r\n"
      "\t\"Disk0\" = \"500107862016\"\r\n"
      "[HKEY_CLASSES_ROOT\\OV WINDOWS]\n"
      "\"Disk0\"=\"first\"\n"
      "\"disk0\"=\"second\"\n"
      "[HKEY_CLASSES_ROOT\\OV Windows\\size]\n"
      "\"Disk1\"=\"1\""));
  EXPECT_EQ(store.ReadText(kClasses, "OV Windows\\Size", "Disk0"), "500107862016");
  EXPECT_EQ(store.ReadText(kClasses, "OV Windows\\Size", "Disk1"), "1");
  EXPECT_EQ(store.ReadText(kClasses, "OV Windows", "DISK0"), "second");
  EXPECT_EQ(store.ValueNames(kClasses, "OV Windows"), std::vector<std::string>{"Disk0"});
  // Parents named implicitly by a deeper section exist too, spelled as first seen.
  EXPECT_NE(store.Serialize().find("[HKEY_CLASSES_ROOT\\OV Windows]\n\"Disk0\""), std::string::npos);
}

TEST(RegistryStore, ParseOfBlankTextGivesAnEmptyTree) {
  RegistryStore store;
  ASSERT_TRUE(store.CreateKey(kClasses, "Old"));
  ASSERT_TRUE(store.Parse(""));
  EXPECT_FALSE(store.KeyExists(kClasses, "Old"));
  ASSERT_TRUE(store.CreateKey(kClasses, "Old"));
  ASSERT_TRUE(store.Parse(" \n\r\n\t"));
  EXPECT_FALSE(store.KeyExists(kClasses, "Old"));
  EXPECT_EQ(store.Serialize(), std::string(kRegistryHeader) + "\n");
}

TEST(RegistryStore, ParseRejectsMalformedTextAndKeepsTheTree) {
  const std::string header = std::string(kRegistryHeader) + "\n";
  const std::vector<std::string> bad = {
      "[HKEY_CLASSES_ROOT\\A]\n",                               // no header
      "; OVNSS registry 2\n[HKEY_CLASSES_ROOT\\A]\n",           // unknown version
      "\n" + header,                                            // header not first
      header + "\"v\"=\"t\"\n",                                 // value outside a key
      header + "[HKEY_NOWHERE\\A]\n",                           // unknown root
      header + "[HKEY_CLASSES_ROOT]\n",                         // a root is not a key
      header + "[HKEY_CLASSES_ROOT\\]\n",                       // empty key name
      header + "[HKEY_CLASSES_ROOT\\A\\\\B]\n",                 // empty component
      header + "[HKEY_CLASSES_ROOT\\A\n",                       // unclosed section
      header + "[HKEY_CLASSES_ROOT\\A]\n\"v\"=\"t\n",           // unterminated text
      header + "[HKEY_CLASSES_ROOT\\A]\n\"v=\"t\"\n",           // unterminated name
      header + "[HKEY_CLASSES_ROOT\\A]\n\"v\"=\"a\\tb\"\n",     // unknown escape
      header + "[HKEY_CLASSES_ROOT\\A]\n\"v\"=\"t\\\"\n",       // escape eats the closing quote
      header + "[HKEY_CLASSES_ROOT\\A]\n\"v\"=\"t\" x\n",       // trailing text
      header + "[HKEY_CLASSES_ROOT\\A]\n\"v\" \"t\"\n",         // no '='
      header + "[HKEY_CLASSES_ROOT\\A]\n\"v\"=t\n",             // unquoted text
      header + "[HKEY_CLASSES_ROOT\\A]\nv=\"t\"\n",             // unquoted name
      header + "[HKEY_CLASSES_ROOT\\A]\n\"v\"=\n",              // no text
      "garbage",
  };
  for (const auto& text : bad) {
    SCOPED_TRACE(text);
    RegistryStore store;
    ASSERT_TRUE(store.CreateKey(kClasses, "Keep"));
    ASSERT_TRUE(store.SetValue(kClasses, "Keep", "v", "1"));
    const std::string before = store.Serialize();
    EXPECT_FALSE(store.Parse(text));
    EXPECT_EQ(store.Serialize(), before);
  }
}

TEST(RegistryStore, MovedStoreKeepsItsTree) {
  RegistryStore store;
  ASSERT_TRUE(store.CreateKey(kClasses, "A"));
  RegistryStore moved = std::move(store);
  EXPECT_TRUE(moved.KeyExists(kClasses, "A"));
}

}  // namespace
}  // namespace ov
