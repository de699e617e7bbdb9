// The window over a large volume, on the platform the environment names
// (offscreen by default): the time from "&Next" at the volume step to the
// directory tree shown with the root listed, against the core's scan and
// tree build alone, in one run; the time to show the largest folder; and the
// bytes the window holds per node beyond the core's own.
// Usage: ovnss-window-bench IMAGE   (bench/window-bench.sh builds the image)

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTreeView>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "nss/RecordScan.h"
#include "ui/window/MainWindow.h"
#include "ui/window/Workers.h"

using namespace ov;
using namespace ov::window;

namespace {

struct Parts {
  ov::window::WindowPrompter prompter;
};
struct BenchSession : Parts, Session {
  BenchSession() : Session(Parts::prompter) {}
};

double Ms(std::chrono::steady_clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: ovnss-window-bench IMAGE\n");
    return 2;
  }
  QApplication app(argc, argv);
  const std::filesystem::path image = std::filesystem::absolute(argv[1]);
  BenchSession session;
  session.Inventory(image);
  MainWindow window(session, std::filesystem::path(argv[0]).parent_path());
  window.show();
  Wizard& w = window.wizard();
  const auto name = session.DiskNameOf(image);
  QTreeWidgetItem* root = w.diskTree()->topLevelItem(0);
  for (int i = 0; name && i < root->childCount(); ++i) {
    if (root->child(i)->text(0).toStdString() == *name) w.ClickDisk(root->child(i));
  }
  w.ChooseMode(RecoveryMode::Quick);
  w.Next();
  w.ClickPool(w.poolTree()->topLevelItem(0)->child(0));
  w.Next();
  w.ClickVolume(w.volumeTree()->topLevelItem(0)->child(0));
  QApplication::processEvents();

  // Five pairs, each the core alone (the scan with the tree build, into a
  // tree of its own) and then the window ("&Next" to view 6 with the root
  // listed and drawn), the window going back to the volume step between
  // pairs; the medians are reported.
  const Discovery& d = session.discovery();
  std::vector<double> core, shown, ratios;
  for (int pair = 0; pair < 5; ++pair) {
    if (pair > 0) w.Back();
    {
      RecoveryTree alone;
      const auto t0 = std::chrono::steady_clock::now();
      ov::ScanVolume(d.disk(), d.currentPool(), d.SelectedVolume()->rootSector, d.pools().compactLayout(), alone,
                     nullptr);
      core.push_back(Ms(std::chrono::steady_clock::now() - t0));
    }
    const auto t0 = std::chrono::steady_clock::now();
    w.Next();
    // Sleeps in an event loop, as the window does: a loop of processEvents
    // would spin and take the processor from the scan's worker.
    QEventLoop loop;
    QObject::connect(&w, &Wizard::stepChanged, &loop, [&] {
      if (w.step() == 3) loop.quit();
    });
    if (w.step() != 3) loop.exec();
    QApplication::processEvents();
    w.detailsList()->viewport()->repaint();
    shown.push_back(Ms(std::chrono::steady_clock::now() - t0));
    ratios.push_back(shown.back() / core.back());
  }
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  const double coreMs = median(core), windowMs = median(shown);

  // The largest folder.
  const RecoveryTree& tree = session.tree;
  ItemHandle largest = kRootItem;
  std::size_t most = 0;
  for (ItemHandle h = 0; h < tree.ItemCount(); ++h) {
    const auto key = tree.ItemKey(h);
    const std::size_t n = tree.FoldersUnder(key).size() + tree.FilesUnder(key).size();
    if (n > most) most = n, largest = h;
  }
  auto t0 = std::chrono::steady_clock::now();
  w.ShowFolder(largest, true);
  w.detailsList()->viewport()->repaint();
  w.folderTree()->viewport()->repaint();
  const double folderMs = Ms(std::chrono::steady_clock::now() - t0);

  const std::size_t nodes = tree.folders().size() + tree.files().size();
  const std::size_t held = w.folderModel().HeldBytes() + w.fileModel().HeldBytes();
  std::printf("nodes %zu (folders %zu, files %zu)\n", nodes, tree.folders().size(), tree.files().size());
  std::printf("core scan and tree build  %.1f ms\n", coreMs);
  std::printf("window Next to view 6     %.1f ms  (median ratio %.2f x the core; pairs", windowMs, median(ratios));
  for (double r : ratios) std::printf(" %.2f", r);
  std::printf(")\n");
  std::printf("largest folder, %zu rows  %.1f ms\n", most, folderMs);
  std::printf("window bytes per node     %.2f\n", static_cast<double>(held) / static_cast<double>(nodes));
  std::fflush(stdout);
  std::_Exit(0);  // the measured objects need no tidy end
}
