// dialogs-bench save|carve IMAGE DEST [RUNS]: times the window's save (the
// "Saving" window over its worker) or its raw scan (the raw form over its
// worker) against the same core work run inline, as the command line runs
// it, on the same image, alternating, DEST emptied and dirty pages written
// back before each timed run. Prints each run and the medians.

#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "disk/Device.h"
#include "disk/SectorReader.h"
#include "nss/Discovery.h"
#include "nss/RecordScan.h"
#include "ui/dialogs/RawFormPanel.h"
#include "ui/dialogs/SaveFlow.h"

namespace {

using namespace ov;
using Clock = std::chrono::steady_clock;

class Quiet : public Prompter {
public:
  BadSectorChoice AskBadSector() override { return BadSectorChoice::SkipAll; }
  ReplaceChoice AskReplaceFile(const std::string&) override { return ReplaceChoice::YesToAll; }
  WriteErrorChoice AskWriteError(const std::string&) override { return WriteErrorChoice::Skip; }
  bool AskYesNo(const std::string&, const std::string&) override { return false; }
  void ShowMessage(const std::string& text, const std::string&, MessageIcon) override {
    std::fprintf(stderr, "%s\n", text.c_str());
  }
};

class ImageOpener : public DeviceOpener {
public:
  explicit ImageOpener(std::filesystem::path image) : image_(std::move(image)) {}
  std::unique_ptr<Device> Open(std::string_view path) override {
    return path == kDevicePathTable[0] ? FileDevice::Open(image_) : nullptr;
  }

private:
  std::filesystem::path image_;
};

void Fresh(const std::filesystem::path& dest) {
  std::filesystem::remove_all(dest);
  std::filesystem::create_directories(dest);
  ::sync();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

template <typename Run>
double Timed(Run run) {
  const auto start = Clock::now();
  run();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 4) {
    std::fprintf(stderr, "usage: dialogs-bench save|carve IMAGE DEST [RUNS]\n");
    return 2;
  }
  const std::string what = argv[1];
  const std::filesystem::path image = argv[2], dest = argv[3];
  const int runs = argc > 4 ? std::atoi(argv[4]) : 3;
  Quiet prompter;
  ImageOpener opener(image);
  SectorReader reader(opener, prompter);
  const DiskView disk{&reader, std::string(kDevicePathTable[0])};
  std::vector<double> inline_, window;

  if (what == "save") {
    Discovery discovery(disk);
    QuickPartitionScan(disk, discovery.pools());
    discovery.OpenSelectedPool(prompter);
    RecoveryTree tree;
    ScanVolume(disk, discovery.currentPool(), discovery.volumes().at(0).rootSector, false, tree, nullptr);
    // The whole volume, as the command line's save of "\" takes it.
    std::vector<SaveRow> rows;
    for (auto p : tree.FoldersUnder(0)) rows.push_back({true, true, tree.folders()[p].treeItem, 0});
    for (auto p : tree.FilesUnder(0)) rows.push_back({true, false, tree.files()[p].index, tree.files()[p].size});
    SaveSettings settings;
    std::string destination;
    std::uint64_t bytes = 0;
    for (int i = 0; i < runs; ++i) {
      Fresh(dest);
      inline_.push_back(Timed([&] {
        SaveProgress progress;
        SaveListener listener;
        Extractor extractor(disk, discovery.currentPool(), tree, settings, prompter, progress, listener);
        SaveRun(extractor, tree, settings, progress, prompter).Run(SaveSource::List, dest, rows);
        bytes = progress.bytesWritten;
      }));
      Fresh(dest);
      window.push_back(Timed([&] {
        SaveFlow flow(SaveContext{disk, discovery.currentPool(), tree, settings, destination, prompter}, nullptr);
        flow.Save(SaveSource::List, dest, rows);
      }));
      std::printf("run %d: inline %.3f s, window %.3f s (%.1f MiB)\n", i + 1, inline_.back(), window.back(),
                  static_cast<double>(bytes) / (1 << 20));
    }
  } else if (what == "carve") {
    const std::uint64_t sectors = std::filesystem::file_size(image) / 512;
    for (int i = 0; i < runs; ++i) {
      Fresh(dest);
      inline_.push_back(Timed([&] {
        RawScanRequest request;
        request.form.ticked = {true, true, true, true};
        request.diskSectors = sectors;
        request.destination = dest;
        RawScanListener listener;
        std::atomic<bool> stop{false};
        RawScan(disk, request, prompter, listener, stop);
      }));
      Fresh(dest);
      window.push_back(Timed([&] {
        RawFormPanel panel(prompter, [&] { return dest; });
        panel.SetDisk(disk, sectors, 0);
        panel.Open();
        auto* kinds = panel.findChild<QTreeWidget*>(QStringLiteral("kinds"));
        for (int row = 0; row < 4; ++row) kinds->topLevelItem(row)->setCheckState(0, Qt::Checked);
        // The window's thread sleeps in its event loop while the worker scans.
        QEventLoop loop;
        QObject::connect(&panel, &RawFormPanel::scanEnded, &loop, &QEventLoop::quit);
        panel.Press();
        loop.exec();
      }));
      std::printf("run %d: inline %.3f s, window %.3f s\n", i + 1, inline_.back(), window.back());
    }
  } else {
    std::fprintf(stderr, "unknown measure %s\n", what.c_str());
    return 2;
  }
  const double a = Median(inline_), b = Median(window);
  std::printf("median: inline %.3f s, window %.3f s, window speed = %.3f x inline\n", a, b, b > 0 ? a / b : 0);
  return 0;
}
