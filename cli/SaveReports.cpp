#include "cli/SaveReports.h"

#include <chrono>
#include <fstream>
#include <iostream>

#include "platform/Text.h"
#include "records/Dfxml.h"

namespace ov::cli {

namespace {

std::int64_t Now() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

}  // namespace

SaveReports::SaveReports(const SaveExtras& extras, const std::filesystem::path& destination)
    : extras_(extras), destination_(destination), startTime_(IsoTime(Now())) {
  for (const auto& name : extras.hashes) {
    const auto kind = ParseHashKind(name);
    if (!kind) throw Failure("unknown --hash kind \"" + name + "\" (md5, sha1 or sha256)");
    kinds_.push_back(*kind);
  }
  if (!kinds_.empty() || !extras.dfxml.empty()) log_ = std::make_unique<SavedFileLog>(destination, kinds_);
}

void SaveReports::Finish(Session& s, const std::string& disk, nlohmann::json& out, bool json) {
  if (!log_) return;
  if (!kinds_.empty()) {
    nlohmann::json hashes = nlohmann::json::array();
    for (const SavedFile& f : log_->files()) {
      nlohmann::json entry = {{"path", f.relativePath}};
      for (HashKind k : log_->kinds()) entry[std::string(HashKindName(k))] = f.digests[static_cast<std::size_t>(k)];
      hashes.push_back(std::move(entry));
    }
    out["hashes"] = std::move(hashes);
    std::string error;
    const auto names = log_->WriteManifests(&error);
    if (!names) throw Failure("cannot write the hash manifest in " + destination_.string() + ": " + error);
    out["manifests"] = *names;
    if (!json) {
      for (const auto& name : *names) std::cout << "Hashes written to " << (destination_ / name).string() << "\n";
    }
  }
  if (!extras_.dfxml.empty()) {
    DfxmlRun run;
    run.version = "0.1.0";
    run.commandLine = extras_.commandLine;
    run.startTime = startTime_;
    run.imagePath = disk;
    if (const auto* volume = s.discovery().SelectedVolume()) run.volumeName = Latin1ToUtf8(volume->name);
    const PoolInfo& pool = s.discovery().currentPool();
    run.poolName = Latin1ToUtf8(pool.name);
    run.imageSectors = s.SelectedDiskSectors();
    std::ofstream file(extras_.dfxml, std::ios::binary | std::ios::trunc);
    if (file) WriteDfxmlReport(file, run, pool, log_->files(), log_->kinds());
    file.close();
    if (!file) throw Failure("cannot write the DFXML report " + extras_.dfxml);
    out["dfxml"] = extras_.dfxml;
    if (!json) std::cout << "DFXML report written to " << extras_.dfxml << "\n";
  }
}

}  // namespace ov::cli
