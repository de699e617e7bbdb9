// "Mount Volume" at the tree step: the volume shown comes up read-only in
// the file manager with the bytes the disk was built with, and Back takes
// it away again.

#include <QMenuBar>
#include <QStatusBar>

#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "Person.h"
#include "save/Hashes.h"
#include "ui/window/MountController.h"

namespace ov::window::test {
namespace {

// The desktop as the controller sees it: what it was asked to open.
class Desktop : public ProcessRunner {
public:
  int RunAndWait(const std::filesystem::path&, const std::vector<std::string>&) override { return -1; }
  bool ShellOpen(const std::filesystem::path& target) override {
    opened.push_back(target);
    return true;
  }
  bool Start(const std::filesystem::path&, const std::vector<std::string>&) override { return false; }
  bool TopLevelWindowExists(std::string_view) override { return false; }
  std::vector<std::filesystem::path> opened;
};

// The image builder's digest of a file of the sample disk.
std::string BuiltDigest(const std::string& volume, const std::string& folder, const std::string& name) {
  auto path = std::filesystem::path(OVNSS_SAMPLE_DISK).replace_extension(".manifest.json");
  std::ifstream in(path);
  const auto manifest = nlohmann::json::parse(in);
  for (const auto& pool : manifest["pools"])
    for (const auto& v : pool["volumes"])
      for (const auto& f : v["files"])
        if (v["name"] == volume && f["folder"] == folder && f["name"] == name) return f["sha256"];
  return "(not in the manifest)";
}

bool Mounted(const std::filesystem::path& point) {
  std::ifstream mounts("/proc/self/mounts");
  std::string line;
  while (std::getline(mounts, line))
    if (line.find(" " + point.string() + " ") != std::string::npos) return true;
  return false;
}

TEST_F(Person, MountVolumeShowsTheVolumeAndBackUnmountsIt) {
  if (!MountController::Available()) GTEST_SKIP() << "FUSE is not available here: /dev/fuse cannot be opened";
  Desktop desktop;
  window->mounts().SetDesktop(desktop);
  EXPECT_FALSE(el().command(kCmdMountVolume)->isEnabled()) << "offered before the tree";
  ToPools();
  ToVolumes();
  ToTree();
  ASSERT_TRUE(Screen::Menu(window->menuBar(), {QStringLiteral("Options"), QStringLiteral("Mount Volume")}));
  EXPECT_FALSE(el().command(kCmdMountVolume)->isEnabled()) << "offered again while mounted";
  auto shown = [&] {
    QString text;
    for (auto* label : window->statusBar()->findChildren<QLabel*>())
      if (label->accessibleName() == QStringLiteral("Status")) text = label->text();
    return text.toStdString();
  };
  if (!window->mounts().mounted()) GTEST_SKIP() << "the mount was refused: " << shown();
  const auto point = window->mounts().mountPoint();
  ASSERT_EQ(desktop.opened, std::vector<std::filesystem::path>{point});
  EXPECT_TRUE(Mounted(point));
  EXPECT_EQ(shown(), "Mounted read-only on " + point.string());

  std::ifstream in(point / "Shared" / "Minutes March 2004.doc", std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), {}};
  EXPECT_EQ(bytes.size(), 18432u);
  MultiHash hash({HashKind::Sha256});
  hash.Update(std::as_bytes(std::span(bytes.data(), bytes.size())));
  EXPECT_EQ(hash.Finish()[static_cast<int>(HashKind::Sha256)], BuiltDigest("HOME", "Shared", "Minutes March 2004.doc"));
  EXPECT_FALSE(std::ofstream(point / "new.txt")) << "a file was made on a read-only mount";

  ASSERT_TRUE(Screen::Click(Button(kBackButton)));
  EXPECT_EQ(wizard().step(), 2);
  EXPECT_FALSE(window->mounts().mounted());
  EXPECT_FALSE(Mounted(point));
  EXPECT_FALSE(std::filesystem::exists(point / "Shared"));
  EXPECT_EQ(shown(), "");
  EXPECT_FALSE(el().command(kCmdMountVolume)->isEnabled()) << "offered away from the tree";
}

TEST_F(Person, ExitUnmountsTheVolume) {
  if (!MountController::Available()) GTEST_SKIP() << "FUSE is not available here: /dev/fuse cannot be opened";
  Desktop desktop;
  window->mounts().SetDesktop(desktop);
  ToPools();
  ToVolumes();
  ToTree();
  ASSERT_TRUE(Screen::Menu(window->menuBar(), {QStringLiteral("Options"), QStringLiteral("Mount Volume")}));
  if (!window->mounts().mounted()) GTEST_SKIP() << "the mount was refused";
  const auto point = window->mounts().mountPoint();
  ASSERT_TRUE(Mounted(point));
  answer = true;
  ASSERT_TRUE(Screen::Menu(window->menuBar(), {QStringLiteral("Options"), QStringLiteral("Exit")}));
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_FALSE(window->mounts().mounted());
  EXPECT_FALSE(Mounted(point));
  EXPECT_FALSE(std::filesystem::exists(point)) << "the folder made for the mount is left behind";
}

}  // namespace
}  // namespace ov::window::test
