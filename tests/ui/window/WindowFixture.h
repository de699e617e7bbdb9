#pragma once
// A fresh window on the sample disk for each test: its own registry store,
// installation folder and temporary folder; the confirmations answered by
// the test.

#include <QApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "ui/dialogs/RawFormPanel.h"
#include "ui/window/MainWindow.h"
#include "ui/window/Workers.h"

namespace ov::window::test {

struct Parts {
  WindowPrompter prompter;
};
struct TestSession : Parts, Session {
  TestSession() : Session(Parts::prompter) {}
  using Parts::prompter;
};

inline bool WaitUntil(const std::function<bool()>& done, int ms = 20000) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

class WindowFixture : public ::testing::Test {
protected:
  void SetUp() override {
    env_.Set("OVNSS_REGISTRY", (dir_ / "registry.txt").string()).Set("OVNSS_TEMP_DIR", dir_.path().string());
    FileRegistry r(dir_ / "registry.txt");
    r.CreateKey(RegistryRoot::ClassesRoot, kProductKey);
    r.SetValue(RegistryRoot::ClassesRoot, kProductKey, "FilePath", dir_.path().string());
    session = std::make_unique<TestSession>();
    session->Inventory(std::filesystem::path(OVNSS_SAMPLE_DISK));
    window = std::make_unique<MainWindow>(*session, OVNSS_BIN_DIR);
    wizard().confirm = [this](const QString& q) {
      questions.push_back(q);
      return answer;
    };
    window->show();
  }
  void TearDown() override {
    WaitUntil([&] { return !wizard().workerRunning(); });
    window.reset();
    session.reset();
  }

  Wizard& wizard() { return window->wizard(); }
  Elements& el() { return window->elements(); }
  bool Visible(int id) { return el().widget(id)->isVisibleTo(window.get()); }
  bool Enabled(int id) { return el().widget(id)->isEnabled(); }
  bool CommandEnabled(int id) { return el().command(id)->isEnabled(); }

  QTreeWidgetItem* Child(QTreeWidget* t, int i) {
    QTreeWidgetItem* root = t->topLevelItem(0);
    return root && i < root->childCount() ? root->child(i) : nullptr;
  }
  void PickSampleDisk() {
    const auto name = session->DiskNameOf(OVNSS_SAMPLE_DISK);
    ASSERT_TRUE(name);
    QTreeWidgetItem* root = wizard().diskTree()->topLevelItem(0);
    for (int i = 0; i < root->childCount(); ++i) {
      if (root->child(i)->text(0).toStdString() == *name) return wizard().ClickDisk(root->child(i));
    }
    FAIL() << "the sample disk is not in the disk tree";
  }
  // From a fresh window to the pools, the volumes or the directory tree.
  void ToPools(RecoveryMode mode = RecoveryMode::Quick) {
    PickSampleDisk();
    wizard().ChooseMode(mode);
    wizard().Next();
    ASSERT_TRUE(WaitUntil([&] { return wizard().step() == 1 && !wizard().workerRunning(); }));
  }
  void ToVolumes() {
    ToPools();
    wizard().ClickPool(Child(wizard().poolTree(), 0));
    wizard().Next();
    ASSERT_EQ(wizard().step(), 2);
  }
  void ToTree() {
    ToVolumes();
    wizard().ClickVolume(Child(wizard().volumeTree(), 0));
    wizard().Next();
    ASSERT_TRUE(WaitUntil([&] { return wizard().step() == 3; }));
  }

  ov::test::TempDir dir_;
  ov::test::ScopedEnv env_;
  std::unique_ptr<TestSession> session;
  std::unique_ptr<MainWindow> window;
  std::vector<QString> questions;
  bool answer = false;
};

}  // namespace ov::window::test
