#include "save/Extraction.h"

#include <sys/resource.h>

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sstream>

#include "nss/Discovery.h"
#include "nss/RecordScan.h"
#include "save/SaveRun.h"
#include "support/FakeProcessRunner.h"
#include "support/TestDisk.h"
#include "support/Files.h"

namespace ov {
namespace {

using test::QuestionKind;
using test::TestDisk;

using test::ReadFile;

std::string Bytes(const mkimage::ManifestFile& f) {
  return std::string(reinterpret_cast<const char*>(f.data.data()), f.data.size());
}

// A scanned volume of a builder disk with everything a save needs.
struct Scanned {
  explicit Scanned(const std::string& json) : disk(json), discovery(disk.view()) {
    if (!disk.ok()) return;
    QuickPartitionScan(disk.view(), discovery.pools());
    discovery.OpenSelectedPool(disk.prompter);
    if (discovery.volumes().empty()) return;
    ScanVolume(disk.view(), discovery.currentPool(), discovery.volumes()[0].rootSector,
               discovery.pools().compactLayout(), tree, nullptr);
    extractor = std::make_unique<Extractor>(disk.view(), discovery.currentPool(), tree, settings, disk.prompter,
                                            progress, listener);
    extractor->clock = [this] { return now; };
  }
  const mkimage::ManifestVolume& volume() const { return disk.manifest().pools[0].volumes[0]; }
  const TreeNode& File(const std::string& name) const {
    for (const auto& f : tree.files()) {
      if (f.name() == name) return f;
    }
    throw std::runtime_error("no file " + name);
  }
  SaveOutcome Save(const std::string& name, const std::filesystem::path& folder) {
    return extractor->SaveFile(folder, File(name).index, 0);
  }

  struct Listener : SaveListener {
    std::map<SaveField, std::vector<std::string>> texts;
    std::function<void(SaveField)> onText;
    void SetText(SaveField f, const std::string& t) override {
      texts[f].push_back(t);
      if (onText) onText(f);
    }
  };

  TestDisk disk;
  Discovery discovery;
  RecoveryTree tree;
  SaveSettings settings;
  SaveProgress progress;
  Listener listener;
  std::unique_ptr<Extractor> extractor;
  std::int64_t now = 1000;
};

constexpr const char* kFiles = R"({ "partitions": [ { "type": "nss", "sections": [
    { "pool": "P", "segment": 1, "sectors": "8MiB" }, { "pool": "P", "segment": 0, "sectors": 2048 } ] } ],
  "pools": [ { "name": "P", "volumes": [ { "name": "V", "items": [
    { "file": "thousand.txt", "size": 1000, "content": "random" },
    { "file": "big.bin", "size": "3MiB", "content": "random", "segment": 1 },
    { "file": "report.DOC", "document": "word", "size": "20KiB" },
    { "file": "readme", "text": "no dot" },
    { "file": "txt", "text": "the name is the extension" },
    { "file": "../../x", "text": "hostile" },
    { "file": "empty", "size": 0 } ] } ] } ] })";

TEST(SaveFile, WritesExactlyTheFilesBytesAndReadsOnlyTheSectorsItNeeds) {
  Scanned s(kFiles);
  ASSERT_TRUE(s.extractor);
  test::TempDir out;
  EXPECT_EQ(s.Save("thousand.txt", out.path()), SaveOutcome::Written);
  EXPECT_EQ(ReadFile(out / "thousand.txt"), Bytes(*mkimage::FindFile(s.volume(), "", "thousand.txt")));
  const std::uint64_t first = mkimage::FindFile(s.volume(), "", "thousand.txt")->diskSector;
  std::uint64_t sectorsRead = 0;
  for (const auto& call : s.disk.device()->calls()) {
    if (call.first >= first && call.first < first + 8) sectorsRead += call.count;
  }
  EXPECT_EQ(sectorsRead, 2u);  // 512 + 488 bytes; the other six sectors of the block are not read
  EXPECT_EQ(s.Save("empty", out.path()), SaveOutcome::Written);
  EXPECT_EQ(std::filesystem::file_size(out / "empty"), 0u);
}

TEST(SaveFile, FilesOfEveryPlaceComeOutByteForByte) {
  Scanned s(kFiles);
  test::TempDir out;
  for (const auto& f : s.volume().files) {
    EXPECT_EQ(s.extractor->SaveFile(out.path(), f.index, 0), SaveOutcome::Written) << f.name;
    EXPECT_EQ(ReadFile(out / SafeFileName(f.name)), Bytes(f)) << f.name;
  }
}

TEST(SaveFile, DataCrossingASegmentBoundaryIsReadFromBothSegments) {
  // Segment 0 is 2048 sectors (256 blocks); a file placed at pool block 250
  // runs from segment 0 into segment 1, which lies elsewhere on the disk.
  Scanned s(R"({ "partitions": [ { "type": "nss", "sections": [
      { "pool": "P", "segment": 1, "sectors": "2MiB", "dataOffset": 64 }, { "pool": "P", "segment": 0, "sectors": 2048 } ] } ],
    "pools": [ { "name": "P", "volumes": [ { "name": "V", "items": [
      { "file": "across.bin", "size": "64KiB", "content": "random", "firstBlock": 250,
        "crossSegments": true } ] } ] } ] })");
  ASSERT_TRUE(s.extractor);
  test::TempDir out;
  EXPECT_EQ(s.Save("across.bin", out.path()), SaveOutcome::Written);
  EXPECT_EQ(ReadFile(out / "across.bin"), Bytes(s.volume().files[0]));
}

TEST(SaveFile, TheExtensionFilterUsesTheLastDotOrTheWholeNameIgnoringCase) {
  Scanned s(kFiles);
  test::TempDir out;
  s.settings.extensions = {"TXT", "doc"};
  EXPECT_EQ(s.Save("txt", out.path()), SaveOutcome::Written);
  EXPECT_EQ(s.Save("readme", out.path()), SaveOutcome::Filtered);
  EXPECT_EQ(s.Save("report.DOC", out.path()), SaveOutcome::Written);
  EXPECT_FALSE(std::filesystem::exists(out / "readme"));
  EXPECT_TRUE(s.disk.prompter.Asked().empty());
}

TEST(SaveFile, ATrailingSeparatorMakesNoDifference) {
  Scanned s(kFiles);
  test::TempDir out;
  s.progress.replacePolicy = ReplacePolicy::NoToAll;
  EXPECT_EQ(s.Save("txt", out.path().string() + "/"), SaveOutcome::Written);
  EXPECT_EQ(s.Save("txt", out.path()), SaveOutcome::Declined);  // same target, now existing
}

TEST(SaveFile, AHostileNameStaysInsideTheDestination) {
  Scanned s(kFiles);
  test::TempDir root;
  const auto dest = root / "dest";
  std::filesystem::create_directories(dest);
  EXPECT_EQ(s.Save("../../x", dest), SaveOutcome::Written);
  EXPECT_EQ(ReadFile(dest / ".._.._x"), "hostile");
  EXPECT_FALSE(std::filesystem::exists(root / "x"));
}

TEST(SaveFile, ReplaceAnswersAndTheirPolicies) {
  Scanned s(kFiles);
  test::TempDir out;
  std::ofstream(out / "txt") << "old";
  std::ofstream(out / "readme") << "old";
  s.disk.prompter.replaceAnswers = {ReplaceChoice::No, ReplaceChoice::NoToAll};
  EXPECT_EQ(s.Save("txt", out.path()), SaveOutcome::Declined);
  EXPECT_EQ(s.Save("txt", out.path()), SaveOutcome::Declined);
  EXPECT_EQ(s.Save("readme", out.path()), SaveOutcome::Declined);  // No to All: no question
  EXPECT_EQ(ReadFile(out / "txt"), "old");
  ASSERT_EQ(s.disk.prompter.Asked(QuestionKind::ReplaceFile).size(), 2u);
  EXPECT_EQ(s.disk.prompter.Asked(QuestionKind::ReplaceFile)[0].text, (out / "txt").string());

  s.progress.replacePolicy = ReplacePolicy::Yes;
  s.disk.prompter.replaceAnswers = {ReplaceChoice::YesToAll};
  EXPECT_EQ(s.Save("txt", out.path()), SaveOutcome::Written);
  EXPECT_EQ(s.Save("readme", out.path()), SaveOutcome::Written);  // Yes to All: no question
  EXPECT_EQ(ReadFile(out / "readme"), "no dot");
  EXPECT_EQ(s.disk.prompter.Asked(QuestionKind::ReplaceFile).size(), 3u);
}

TEST(SaveFile, ProgressTextsFollowTheirFormats) {
  Scanned s(kFiles);
  test::TempDir out;
  s.progress.plannedFiles = 7;
  s.progress.startTime = 990;  // ten seconds ago
  EXPECT_EQ(s.Save("thousand.txt", out.path()), SaveOutcome::Written);
  auto& t = s.listener.texts;
  EXPECT_EQ(t[SaveField::ProgressText].back(), "0% Completed");
  EXPECT_EQ(t[SaveField::DataWritten].back(), "0 MB");
  EXPECT_EQ(t[SaveField::DataPlanned].back(), "1 MB");  // a zero plan shows 1
  EXPECT_EQ(s.progress.plannedBytes.load(), 1u);
  EXPECT_EQ(t[SaveField::TotalFiles].back(), "1 / 7");
  EXPECT_EQ(t[SaveField::CurrentFile].back(), "1000 / 1000");
  EXPECT_EQ(t[SaveField::FileName].back(), "thousand.txt");
  EXPECT_EQ(t[SaveField::FilePath].back(), (out / "thousand.txt").string());
  EXPECT_EQ(t[SaveField::TimeElapsed].back(), "0 Min 10 Sec");
  EXPECT_EQ(t[SaveField::TimeRemaining].back(), "0 Min 0 Sec");
}

TEST(SaveFile, SkipInTheMiddleRemovesThePartialFileAndTheNextFileGoesOn) {
  Scanned s(kFiles);
  test::TempDir out;
  std::ofstream(out / "big.bin") << "an earlier save";
  s.progress.replacePolicy = ReplacePolicy::YesToAll;
  bool sawTemporary = false;
  s.listener.onText = [&](SaveField f) {
    if (f != SaveField::CurrentFile) return;
    // Written beside its name, which keeps the earlier file meanwhile.
    sawTemporary = std::distance(std::filesystem::directory_iterator(out.path()), {}) == 2;
    s.progress.skipFile = true;
  };
  EXPECT_EQ(s.Save("big.bin", out.path()), SaveOutcome::Skipped);
  EXPECT_TRUE(sawTemporary);
  EXPECT_EQ(ReadFile(out / "big.bin"), "an earlier save");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out.path()), {}), 1);
  EXPECT_EQ(s.progress.removedFiles, std::vector<std::filesystem::path>{out / "big.bin"});
  EXPECT_GT(s.progress.bytesRemoved, 0u);
  EXPECT_EQ(s.progress.bytesRemoved, s.progress.bytesWritten);
  s.listener.onText = nullptr;
  EXPECT_FALSE(s.progress.skipFile.load());
  EXPECT_EQ(s.Save("txt", out.path()), SaveOutcome::Written);
}

TEST(SaveFile, AFullDestinationReachesTheWriteErrorQuestionAndLeavesNoShortFile) {
  Scanned s(kFiles);
  test::TempDir out;
  // The destination takes at most 64 KiB per file.
  struct rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  auto previous = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 64 * 1024;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  s.disk.prompter.writeErrorAnswers = {WriteErrorChoice::Abort};
  const SaveOutcome outcome = s.Save("big.bin", out.path());
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(outcome, SaveOutcome::WriteFailed);
  EXPECT_TRUE(std::filesystem::is_empty(out.path()));  // nothing, not even the temporary file
  ASSERT_EQ(s.disk.prompter.Causes().size(), 1u);
  EXPECT_EQ(s.disk.prompter.Causes()[0].second, "File too large");
  EXPECT_TRUE(s.progress.abortRun.load());
  ASSERT_EQ(s.disk.prompter.Asked(QuestionKind::WriteError).size(), 1u);
}

TEST(SaveFile, AnUncreatableTargetAsksTheWriteErrorQuestion) {
  Scanned s(kFiles);
  test::TempDir out;
  s.disk.prompter.writeErrorAnswers = {WriteErrorChoice::Skip};
  EXPECT_EQ(s.Save("txt", out / "missing" / "folder"), SaveOutcome::CreateFailed);
  EXPECT_TRUE(s.progress.skipFile.load());
  EXPECT_FALSE(s.progress.abortRun.load());
}

TEST(OpenRecoveredFile, CopiesToTheTemporaryFolderAndOpensIt) {
  Scanned s(kFiles);
  test::TempDir temp;
  test::FakeProcessRunner runner;
  EXPECT_TRUE(s.extractor->OpenRecoveredFile(s.File("readme").index, 0, temp.path(), runner));
  EXPECT_EQ(ReadFile(temp / "readme"), "no dot");
  ASSERT_EQ(runner.Calls(test::ProcessCallKind::ShellOpen).size(), 1u);
  EXPECT_EQ(runner.Calls(test::ProcessCallKind::ShellOpen)[0].program, temp / "readme");
  runner.shellOpenResult = false;
  EXPECT_FALSE(s.extractor->OpenRecoveredFile(s.File("readme").index, 0, temp.path(), runner));
  ASSERT_EQ(s.disk.prompter.Messages().size(), 1u);
  EXPECT_NE(s.disk.prompter.Messages()[0].find((temp / "readme").string()), std::string::npos);
  EXPECT_FALSE(s.extractor->OpenRecoveredFile(999, 0, temp.path(), runner));
}

}  // namespace
}  // namespace ov
