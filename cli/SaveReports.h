#pragma once
// What a save leaves besides the files, when asked: the hash manifests
// (--hash) and the DFXML report (--dfxml), both made from the bytes as they
// are written.

#include <nlohmann/json.hpp>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli/TerminalSession.h"
#include "save/Hashes.h"

namespace ov::cli {

struct SaveExtras {
  std::vector<std::string> hashes;  // md5, sha1, sha256
  std::string dfxml;                // the report file
  std::string commandLine;          // for the report
};

class SaveReports {
public:
  // Fails for an unknown hash kind.
  SaveReports(const SaveExtras& extras, const std::filesystem::path& destination);

  // The save's observer; nothing when nothing was asked for.
  SaveObserver* observer() { return log_ ? log_.get() : nullptr; }

  // After the save: writes the manifests and the report, and adds to `out`
  // "hashes" (each whole file's path and digests), "manifests" and "dfxml".
  // Text output gets one line per file written.
  void Finish(Session& s, const std::string& disk, nlohmann::json& out, bool json);

private:
  SaveExtras extras_;
  std::filesystem::path destination_;
  std::vector<HashKind> kinds_;
  std::unique_ptr<SavedFileLog> log_;
  std::string startTime_;
};

}  // namespace ov::cli
