#include "ui/window/MountController.h"

#include <iostream>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/Text.h"
#ifdef OVNSS_HAVE_FUSE
#include "mount/FuseMount.h"
#include "save/SavedTree.h"
#endif

namespace ov::window {

#ifdef OVNSS_HAVE_FUSE

namespace {

// The mount's reader asks nobody: every bad sector is skipped.
class SkipAllPrompter : public Prompter {
public:
  BadSectorChoice AskBadSector() override { return BadSectorChoice::SkipAll; }
  ReplaceChoice AskReplaceFile(const std::string&) override { return ReplaceChoice::No; }
  WriteErrorChoice AskWriteError(const std::string&) override { return WriteErrorChoice::Skip; }
  bool AskYesNo(const std::string&, const std::string&) override { return false; }
  void ShowMessage(const std::string&, const std::string&, MessageIcon) override {}
};

}  // namespace

struct MountController::Served {
  SkipAllPrompter answers;
  SectorReader reader;
  SavedTree tree;
  FuseMount mount;
  std::thread loop;

  Served(Session& s)
      : reader(s.opener, answers),
        tree(s.tree, s.discovery().currentPool()),
        mount(tree, DiskView{&reader, s.disk().devicePath}, [](const std::string& line) {
          std::cerr << "ovnss: " << Latin1ToUtf8(line) << "\n";
        }) {
    reader.SetOsFamily(s.reader.osFamily());
    reader.policy() = static_cast<int>(BadSectorChoice::SkipAll);
  }
};

bool MountController::Available() { return FuseMount::Available(); }

bool MountController::mounted() const { return served_ != nullptr; }

bool MountController::Mount(std::filesystem::path folder) {
  if (served_) return true;
  std::error_code ec;
  madeFolder_ = folder.empty();
  if (madeFolder_) {
    // A fresh folder each time: an earlier one may still be held by a
    // program that had it open.
    for (int n = 1; folder.empty() || std::filesystem::exists(folder, ec); ++n) {
      const auto base = session_.runFolder.ok() ? session_.runFolder.path() : std::filesystem::temp_directory_path();
      folder = base / ("mount" + std::to_string(n));
    }
    if (!std::filesystem::create_directories(folder, ec)) {
      Show("Cannot mount the volume: cannot make " + folder.string() + " (" + ec.message() + ")");
      return false;
    }
  }
  auto served = std::make_unique<Served>(session_);
  // The device is opened here, on the window's thread, by a first read.
  std::vector<std::byte> sector(512);
  (void)served->reader.ReadSectors(session_.disk().devicePath, 0, 1, sector.data());
  std::string error;
  if (!served->mount.Mount(folder, &error)) {
    if (madeFolder_) std::filesystem::remove(folder, ec);
    Show("Cannot mount the volume: " + error);
    return false;
  }
  FuseMount* mount = &served->mount;
  served->loop = std::thread([mount] { mount->Serve(false); });
  served_ = std::move(served);
  mountPoint_ = folder;
  if (command_) command_->setEnabled(false);
  Show("Mounted read-only on " + folder.string());
  desktop_->ShellOpen(folder);
  return true;
}

void MountController::Unmount() {
  if (!served_) return;
  served_->mount.Stop();
  served_->loop.join();
  served_.reset();
  std::error_code ec;
  if (madeFolder_) std::filesystem::remove(mountPoint_, ec);
  mountPoint_.clear();
  Show("");
  if (command_) command_->setEnabled(step_ == 3);
}

#else

struct MountController::Served {};
bool MountController::Available() { return false; }
bool MountController::mounted() const { return false; }
bool MountController::Mount(std::filesystem::path) { return false; }
void MountController::Unmount() {}

#endif

MountController::MountController(Session& session, ProcessRunner& desktop, QAction* command, QLabel* status,
                                 QObject* parent)
    : QObject(parent), session_(session), desktop_(&desktop), command_(command), status_(status) {
  if (command_) {
    command_->setEnabled(false);
    command_->setVisible(Available());
  }
}

MountController::~MountController() { Unmount(); }

void MountController::StepChanged(int step) {
  step_ = step;
  if (step != 3) Unmount();
  if (command_) command_->setEnabled(step == 3 && !mounted() && Available());
}

void MountController::Show(const std::string& text) {
  if (status_) status_->setText(QString::fromStdString(text));
}

}  // namespace ov::window
