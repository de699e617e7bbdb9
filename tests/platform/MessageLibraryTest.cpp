#include "platform/MessageLibrary.h"

#include "platform/Registry.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

namespace ov {
namespace {

namespace fs = std::filesystem;
using test::ScopedEnv;
using test::TempDir;

const fs::path kProgramFolder = fs::path(OVNSS_TEST_BINARY_DIR) / "bin";

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// True when the bytes are well-formed UTF-8 without overlong forms.
bool IsUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    if (n == 0 || i + n > s.size() || c == 0xC0 || c == 0xC1) return false;
    for (std::size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += n;
  }
  return true;
}

std::unique_ptr<MessageLibrary> HelpLibrary() {
  auto library = MessageLibrary::Load(kHelpTextLibrary, {kProgramFolder});
  EXPECT_NE(library, nullptr) << "OVTextLibA not found in " << kProgramFolder;
  return library;
}

TEST(MessageLibraryTest, EveryLanguageHoldsNineteenDistinctTextsInEightBitText) {
  auto library = HelpLibrary();
  ASSERT_NE(library, nullptr);
  ASSERT_TRUE(library->HasGetMsg());
  std::vector<std::string> english;
  for (const char* file : {"EnglishA.dat", "DutchA.dat", "FrenchA.dat", "GermanA.dat"}) {
    SCOPED_TRACE(file);
    const fs::path path = kProgramFolder / file;
    EXPECT_EQ(ReadFile(path), ReadFile(fs::path(OVNSS_TEXT_FILES_DIR) / file)) << "stale copy in the program folder";
    EXPECT_TRUE(IsUtf8(ReadFile(path)));
    std::set<std::string> seen;
    for (int n = 0; n <= 18; ++n) {
      const auto text = library->Fetch(n, path.string());
      ASSERT_TRUE(text.has_value()) << "text " << n;
      EXPECT_FALSE(text->empty());
      EXPECT_LT(text->size(), kMessageBufferSize) << "text " << n << " was cut";
      EXPECT_TRUE(seen.insert(*text).second) << "text " << n << " repeats";
      EXPECT_EQ(text->find('?'), std::string::npos) << "text " << n << " lost a character: " << *text;
      if (std::string(file) == "EnglishA.dat") {
        english.push_back(*text);
      } else {
        EXPECT_NE(*text, english[static_cast<std::size_t>(n)]) << "text " << n << " is not translated";
      }
    }
    EXPECT_NE(library->Fetch(16, path.string())->find(" \n("), std::string::npos);
    EXPECT_FALSE(library->Fetch(19, path.string()).has_value());
  }
  // Accented letters arrive as single Latin-1 bytes.
  const auto french = (kProgramFolder / "FrenchA.dat").string();
  EXPECT_EQ(library->Fetch(3, french), "S\xE9lectionner tous les fichiers");
  EXPECT_EQ(library->Fetch(18, french), "\xC0 propos d'Orlindavestrum");
  EXPECT_EQ(library->Fetch(18, (kProgramFolder / "GermanA.dat").string()), "\xDC" "ber Orlindavestrum");
  EXPECT_NE(library->Fetch(0, (kProgramFolder / "DutchA.dat").string())->find("\xE9\xE9n"), std::string::npos);
  EXPECT_EQ(library->Fetch(6, (kProgramFolder / "EnglishA.dat").string()), "Save the recovery information");
}

TEST(MessageLibraryTest, BadLanguageFilesGiveNoText) {
  auto library = HelpLibrary();
  ASSERT_NE(library, nullptr);
  TempDir dir;
  EXPECT_FALSE(library->Fetch(0, (dir / "Missing.dat").string()).has_value());
  std::ofstream(dir / "NoHeader.dat") << "0=Quick\n";
  EXPECT_FALSE(library->Fetch(0, (dir / "NoHeader.dat").string()).has_value());
  EXPECT_FALSE(library->Fetch(0, dir.path().string()).has_value()) << "a folder is no text file";
  std::ofstream(dir / "Odd.dat") << "; OVNSS texts 1\r\n0=first\r\n0=\xE2\x82\xAC and \xC3\n1\n=x\n2=" << std::string(300, 'a')
                                 << "\n";
  EXPECT_EQ(library->Fetch(0, (dir / "Odd.dat").string()), "? and ?") << "later line wins; no Latin-1 form gives ?";
  EXPECT_EQ(library->Fetch(2, (dir / "Odd.dat").string()), std::string(255, 'a'));
  EXPECT_FALSE(library->Fetch(1, (dir / "Odd.dat").string()).has_value());
}

TEST(MessageLibraryTest, MissingLibraryMissingExportAndUnterminatedBuffer) {
  TempDir empty;
  EXPECT_EQ(MessageLibrary::Load(kHelpTextLibrary, {empty.path()}), nullptr);

  auto noExport = MessageLibrary::Load(kHelpTextLibrary, {OVNSS_FAKE_TEXTLIB_NOEXPORT_DIR});
  ASSERT_NE(noExport, nullptr);
  EXPECT_FALSE(noExport->HasGetMsg());
  EXPECT_FALSE(noExport->Fetch(0, "EnglishA.dat").has_value());
  EXPECT_FALSE(noExport->Fetch(0).has_value());

  auto unterminated = MessageLibrary::Load(kHelpTextLibrary, {OVNSS_FAKE_TEXTLIB_UNTERMINATED_DIR});
  ASSERT_NE(unterminated, nullptr);
  EXPECT_EQ(unterminated->Fetch(0, "EnglishA.dat"), std::string(255, 'x'));
}

// The installer stages its text file and names it in "FilePath" before it
// loads the library; once installed, "FilePath" names the folder.
TEST(MessageLibraryTest, SetupLibraryFindsItsTextsThroughTheProductKey) {
  TempDir dir;
  ScopedEnv env;
  env.Set("OVNSS_REGISTRY", (dir / "registry.txt").string()).Set("OVNSS_TEMP_DIR", dir.path().string());
  auto library = MessageLibrary::Load(kSetupTextLibrary, {kProgramFolder});
  ASSERT_NE(library, nullptr);
  ASSERT_TRUE(library->HasGetMsg());
  EXPECT_FALSE(library->Fetch(0).has_value()) << "no product key yet";

  fs::create_directories(dir / "ovsetupdir");
  fs::copy_file(kProgramFolder / "WyndbarrowEnglish.dat", dir / "ovsetupdir" / "WyndbarrowEnglish.dat");
  FileRegistry registry(dir / "registry.txt");
  ASSERT_TRUE(registry.CreateKey(RegistryRoot::ClassesRoot, "OrlindavestrumNSS"));
  ASSERT_TRUE(registry.SetValue(RegistryRoot::ClassesRoot, "OrlindavestrumNSS", "FilePath",
                                dir.path().string() + "/ovsetupdir\\WyndbarrowEnglish.dat"));
  ASSERT_TRUE(registry.SetValue(RegistryRoot::ClassesRoot, "OrlindavestrumNSS", "Language", "English"));
  for (int base : {6, 8}) {
    SCOPED_TRACE(base);
    for (int n = 0; n < base; ++n) EXPECT_TRUE(library->Fetch(n).has_value()) << n;
    for (int offset : {2, 3, 4, 9, 10, 86}) {
      const auto text = library->Fetch(base + offset);
      ASSERT_TRUE(text.has_value()) << base + offset;
      EXPECT_FALSE(text->empty());
    }
  }
  EXPECT_EQ(library->Fetch(16), "Do you want a shortcut to Orlindavestrum for NSS on the desktop?");
  EXPECT_FALSE(library->Fetch(13).has_value());

  ASSERT_TRUE(registry.SetValue(RegistryRoot::ClassesRoot, "OrlindavestrumNSS", "FilePath",
                                (dir / "ovsetupdir").string()));
  EXPECT_EQ(library->Fetch(0), "Orlindavestrum Setup") << "a folder holds Wyndbarrow<Language>.dat";
  ASSERT_TRUE(registry.SetValue(RegistryRoot::ClassesRoot, "OrlindavestrumNSS", "Language", "French"));
  EXPECT_FALSE(library->Fetch(0).has_value()) << "there is no WyndbarrowFrench.dat";
}

}  // namespace
}  // namespace ov
