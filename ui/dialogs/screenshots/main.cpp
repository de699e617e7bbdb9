// dialogs-screenshots DIR: writes a PNG of every dialog of the saving,
// settings and recovery-information commands, and of the raw form before,
// during and after a scan of a built disk.

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QWidget>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "disk/Device.h"
#include "disk/SectorReader.h"
#include "mkimage/ImageBuilder.h"
#include "ui/dialogs/FileSavingDialog.h"
#include "ui/dialogs/RawFormPanel.h"
#include "ui/dialogs/ReplaceFileDialog.h"
#include "ui/dialogs/SavingDialog.h"
#include "ui/dialogs/SettingsDialog.h"
#include "ui/dialogs/SizeCalculationDialog.h"
#include "ui/dialogs/WaitDialog.h"
#include "ui/dialogs/WriteErrorDialog.h"

namespace {

using namespace ov;

QString folder;
int failures = 0;

void Shoot(QWidget& w, const char* name) {
  w.show();
  QApplication::processEvents();
  const QString path = QDir(folder).filePath(QLatin1String(name) + QStringLiteral(".png"));
  if (!w.grab().save(path)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    ++failures;
  }
  w.hide();
}

// Questions are answered without windows; the bad-sector question, asked in
// the middle of the scan, is where the "during" picture is taken.
class PicturePrompter : public Prompter {
public:
  std::function<void()> onBadSector;
  BadSectorChoice AskBadSector() override {
    if (onBadSector) QMetaObject::invokeMethod(qApp, onBadSector, Qt::BlockingQueuedConnection);
    return BadSectorChoice::SkipAll;
  }
  ReplaceChoice AskReplaceFile(const std::string&) override { return ReplaceChoice::YesToAll; }
  WriteErrorChoice AskWriteError(const std::string&) override { return WriteErrorChoice::Skip; }
  bool AskYesNo(const std::string&, const std::string&) override { return false; }
  void ShowMessage(const std::string& text, const std::string&, MessageIcon) override {
    std::fprintf(stderr, "%s\n", text.c_str());
  }
};

class ImageDisk : public DeviceOpener {
public:
  std::filesystem::path image;
  BadSectorMap bad;
  std::unique_ptr<Device> Open(std::string_view path) override {
    if (path != kDevicePathTable[0]) return nullptr;
    auto file = FileDevice::Open(image);
    if (!file) return nullptr;
    return std::make_unique<FaultyDevice>(std::move(file), bad);
  }
};

void Dialogs(PicturePrompter& prompter) {
  SaveSettings settings;
  settings.extensions = {"doc", "xls", "txt"};
  SettingsDialog settingsDialog(settings, prompter);
  Shoot(settingsDialog, "dialogs-settings");

  std::string destination = "/home/user/Recovered";
  FileSavingDialog saving(destination, settings, prompter);
  Shoot(saving, "dialogs-file-saving");

  std::atomic<std::uint32_t> files{1287};
  std::atomic<bool> stop{false};
  SizeCalculationDialog counting(files, stop, prompter);
  Shoot(counting, "dialogs-size-calculation");

  SaveProgress progress;
  SaveMailbox mailbox;
  SavingDialog savingDialog(progress, mailbox);
  mailbox.SetProgress(37);
  mailbox.SetText(SaveField::ProgressText, "37% Completed");
  mailbox.SetText(SaveField::FileName, "Budget 2004.xls");
  mailbox.SetText(SaveField::FilePath, "/home/user/Recovered/USERS/Shared/Budget 2004.xls");
  mailbox.SetText(SaveField::TotalFiles, "476 / 1287");
  mailbox.SetText(SaveField::CurrentFile, "12288 / 20480");
  mailbox.SetText(SaveField::DataWritten, "378 MB");
  mailbox.SetText(SaveField::DataPlanned, "1024 MB");
  mailbox.SetText(SaveField::TimeRemaining, "0 Min 52 Sec");
  mailbox.SetText(SaveField::TimeElapsed, "0 Min 31 Sec");
  savingDialog.Refresh();
  Shoot(savingDialog, "dialogs-saving");

  ReplaceFileDialog replace(QStringLiteral("/home/user/Recovered/USERS/Shared/Phone List.txt"));
  Shoot(replace, "dialogs-replace-file");
  WriteErrorDialog writeError(QStringLiteral("/media/full-stick/USERS/Shared/Budget 2004.xls"));
  Shoot(writeError, "dialogs-write-error");
  WaitDialog wait;
  Shoot(wait, "dialogs-wait");
}

// A disk with a document of each kind and an unreadable sector between
// them, where the scan is photographed.
constexpr const char* kRawDisk = R"({ "size": "16MiB", "documents": [
    { "kind": "word", "size": "22KiB", "at": 1600 },
    { "kind": "excel", "size": "30KiB", "at": 8000 },
    { "kind": "zip", "size": "40KiB", "at": 24000 } ],
  "unreadable": [ 16400 ] })";

void RawForm(PicturePrompter& prompter, const std::filesystem::path& work) {
  const auto image = work / "raw.img";
  const auto built = mkimage::BuildImageFromJson(kRawDisk, image);
  if (!built.ok()) {
    std::fprintf(stderr, "cannot build the raw disk: %s\n", built.error.c_str());
    ++failures;
    return;
  }
  ImageDisk opener;
  opener.image = image;
  for (const auto& [first, last] : built.manifest->unreadable) opener.bad.Add(first, last);
  SectorReader reader(opener, prompter);
  const auto out = work / "out";
  std::filesystem::create_directories(out);
  RawFormPanel panel(prompter, [&] { return out; });
  panel.resize(760, 520);
  panel.SetDisk(DiskView{&reader, std::string(kDevicePathTable[0])}, 32768, 0);
  panel.Open();
  Shoot(panel, "dialogs-raw-form-before");

  auto* kinds = panel.findChild<QTreeWidget*>(QStringLiteral("kinds"));
  for (int row : {0, 1, 3}) kinds->topLevelItem(row)->setCheckState(0, Qt::Checked);
  prompter.onBadSector = [&] {
    panel.Refresh();
    Shoot(panel, "dialogs-raw-form-during");
  };
  bool ended = false;
  QObject::connect(&panel, &RawFormPanel::scanEnded, [&] { ended = true; });
  panel.Press();
  while (!ended) QApplication::processEvents(QEventLoop::AllEvents, 50);
  prompter.onBadSector = nullptr;
  Shoot(panel, "dialogs-raw-form-after");
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: dialogs-screenshots DIR\n");
    return 2;
  }
  folder = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(folder);
  PicturePrompter prompter;
  Dialogs(prompter);
  const auto work = std::filesystem::temp_directory_path() / ("ovnss-dialogs-" + std::to_string(::getpid()));
  std::filesystem::create_directories(work);
  RawForm(prompter, work);
  std::error_code ec;
  std::filesystem::remove_all(work, ec);
  return failures == 0 ? 0 : 1;
}
