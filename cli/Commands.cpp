#include "cli/Commands.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cstdio>
#include <iostream>

#include "cli/Columns.h"
#include "cli/JsonStream.h"
#include "cli/TextPdf.h"
#include "nss/FolderListing.h"
#include "platform/Text.h"
#include "records/BodyFile.h"
#include "records/RecoveryInfo.h"
#include "save/FileRuns.h"
#include "save/RawScan.h"
#include "save/SaveRun.h"

namespace ov::cli {

namespace {

using nlohmann::json;

void Print(const json& j) { std::cout << j.dump(2) << "\n" << std::flush; }

Mode ParseMode(const std::string& m) {
  if (m == "quick") return Mode::Quick;
  if (m == "advance") return Mode::Advance;
  throw UsageError("unknown mode \"" + m + "\" (quick or advance)");
}

void RequireDisk(const Common& c) {
  if (c.disk.empty()) throw UsageError("--disk is required");
}

// A text as a JSON string, written by hand: listings write millions.
void AppendJsonString(std::string& out, std::string_view text) {
  out += '"';
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += ch;
    }
  }
  out += '"';
}

// Stops a listing that Ctrl-C or SIGTERM ended.
void StopWhenInterrupted() {
  if (Interrupted()) throw Failure("stopped");
}

// A path inside the volume: "\A\b.txt" or "/A/b.txt".
std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (char ch : path) {
    if (ch == '\\' || ch == '/') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part.push_back(ch);
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

struct Target {
  ItemHandle folder = kRootItem;  // the folder named, or the folder holding the file
  const TreeNode* file = nullptr;
};

Target Resolve(const RecoveryTree& tree, const std::string& path) {
  Target t;
  const auto parts = SplitPath(path);
  for (std::size_t i = 0; i < parts.size(); ++i) {
    bool found = false;
    for (ItemHandle child : tree.Item(t.folder).children) {
      if (Latin1ToUtf8(tree.ItemText(child)) == parts[i]) {
        t.folder = child;
        found = true;
        break;
      }
    }
    if (found) continue;
    if (i + 1 == parts.size()) {
      for (auto p : tree.FilesUnder(tree.ItemKey(t.folder))) {
        if (Latin1ToUtf8(tree.files()[p].name()) == parts[i]) {
          t.file = &tree.files()[p];
          return t;
        }
      }
    }
    throw Failure("no such folder or file in the volume: " + path);
  }
  return t;
}

std::string PathOf(const RecoveryTree& tree, ItemHandle folder) {
  return "\\" + Latin1ToUtf8(tree.ItemPath(folder));
}

std::string Join(const std::string& folderPath, const std::string& name) {
  return folderPath == "\\" ? "\\" + name : folderPath + "\\" + name;
}

}  // namespace

void Configure(Session& s, const Common& c) {
  if (c.badSectors == "retry-all") {
    s.prompter.badSectorAnswer = BadSectorChoice::RetryAll;
  } else if (c.badSectors == "skip-all") {
    s.prompter.badSectorAnswer = BadSectorChoice::SkipAll;
  } else if (c.badSectors.empty() || c.badSectors == "ask") {
    // Asked on a terminal; Retry All without one.
  } else {
    throw UsageError("unknown --bad-sectors answer \"" + c.badSectors + "\" (ask, retry-all or skip-all)");
  }
  if (!c.map.empty() && c.disk.empty()) throw UsageError("--map needs --disk");
  if (!c.map.empty() && c.disks.size() > 1) throw UsageError("--map belongs to one disk; give one --disk with it");
  s.rescueMap = c.map;
}

void NameDisks(Common& c) {
  c.disk.clear();
  for (const auto& d : c.disks) c.disk += (c.disk.empty() ? "" : " + ") + d;
}

void OpenGivenDisks(Session& s, const Common& c) {
  if (c.disks.size() > 1) {
    s.OpenDisks(std::vector<std::filesystem::path>(c.disks.begin(), c.disks.end()));
  } else {
    s.OpenDisk(c.disk);
  }
}

void OpenVolume(Session& s, const Common& c) {
  RequireDisk(c);
  if (!c.from.empty()) {
    // The saved findings stand in for the pool search and the scan; the
    // disk is still read for the files' data.
    OpenGivenDisks(s, c);
    auto loaded = LoadRecoveryInfo(c.from, s.discovery(), s.tree, s.prompter);
    // The program's own message said why.
    if (!loaded) throw Failure(loaded.message.empty() ? "cannot load " + c.from : "");
    return;
  }
  if (c.pool.empty()) throw UsageError("--pool is required (or --from)");
  if (c.volume.empty()) throw UsageError("--volume is required (or --from)");
  OpenGivenDisks(s, c);
  FindPools(s, ParseMode(c.mode), c.disk);
  s.OpenPool(c.pool);
  s.ScanVolume(c.volume);
}

int Disks(const Common& c) {
  Session s;
  Configure(s, c);
  DiskInventory* listed = nullptr;
  if (c.disks.empty()) listed = &s.Inventory();
  for (const auto& disk : c.disks) listed = &s.Inventory(std::filesystem::path(disk));
  DiskInventory& inv = *listed;
  json out = {{"disks", json::array()}};
  for (const auto& d : inv.disks()) {
    const auto rows = inv.DiskDetails(d.number);
    json disk = {{"name", d.valueName},
                 {"number", d.number},
                 {"path", s.registry.ReadText(RegistryRoot::ClassesRoot, kDevicePathKey, d.valueName)},
                 {"sectors", inv.DiskSizeInSectors(d.number)},
                 {"details", rows}};
    if (auto refusal = DiskInventory::ScanRefusal(d.number)) disk["refused"] = *refusal;
    out["disks"].push_back(disk);
    if (!c.json) {
      std::cout << d.valueName << "\n";
      for (const auto& row : rows) std::cout << "  " << row << "\n";
    }
  }
  if (c.json) Print(out);
  return 0;
}

int Pools(const Common& c) {
  RequireDisk(c);
  Session s;
  Configure(s, c);
  OpenGivenDisks(s, c);
  Discovery& d = FindPools(s, ParseMode(c.mode), c.disk, true);
  json out = {{"pools", json::array()}};
  for (std::size_t i = 0; i < d.pools().pools().size(); ++i) {
    const PoolInfo& p = d.pools().pools()[i];
    json segments = json::array();
    const auto placed = PoolSegments(p, d.layout());
    for (std::size_t k = 0; k < std::min<std::size_t>(p.segmentCount, kMaxSegments); ++k) {
      json segment = {{"start", p.segmentStart[k]}, {"length", p.segmentLength[k]}};
      if (d.pools().severalDisks()) {
        // Which disk holds it, and where on that disk.
        segment["missing"] = placed[k].missing;
        segment["disk"] = placed[k].missing ? json(nullptr) : json(placed[k].disk);
        segment["diskPath"] = placed[k].missing ? json(nullptr) : json(placed[k].diskName);
        segment["diskStart"] = placed[k].missing ? json(nullptr) : json(placed[k].diskSector);
      }
      segments.push_back(std::move(segment));
    }
    out["pools"].push_back(
        {{"index", i}, {"name", Latin1ToUtf8(p.name)}, {"segmentSize", p.segmentSize}, {"segments", segments}});
    if (!c.json) {
      std::cout << i << "  " << Latin1ToUtf8(p.name) << "\n";
      for (const auto& row : PoolDetails(p)) std::cout << "   " << Latin1ToUtf8(row) << "\n";
      if (d.pools().severalDisks()) {
        for (const auto& row : PoolSegmentRows(p, d.layout())) std::cout << "   " << Latin1ToUtf8(row) << "\n";
      }
    }
  }
  if (d.pools().severalDisks()) {
    out["disks"] = json::array();
    for (const auto& disk : d.layout()) out["disks"].push_back({{"path", disk.name}, {"sectors", disk.sectors}, {"first", disk.first}});
    out["problems"] = json::array();
    for (const auto& problem : d.pools().problems()) out["problems"].push_back(Latin1ToUtf8(problem));
  }
  if (c.json) Print(out);
  if (d.pools().pools().empty()) throw Failure(NoPools(c.disk));
  return s.prompter.errorShown() ? 1 : 0;
}

int Volumes(const Common& c) {
  RequireDisk(c);
  if (c.pool.empty()) throw UsageError("--pool is required");
  Session s;
  Configure(s, c);
  OpenGivenDisks(s, c);
  FindPools(s, ParseMode(c.mode), c.disk);
  s.OpenPool(c.pool);
  json out = {{"volumes", json::array()}};
  const auto& volumes = s.discovery().volumes();
  for (std::size_t i = 0; i < volumes.size(); ++i) {
    out["volumes"].push_back(
        {{"index", i}, {"name", Latin1ToUtf8(volumes[i].name)}, {"rootSector", volumes[i].rootSector}});
    if (!c.json) std::cout << i << "  " << Latin1ToUtf8(volumes[i].name) << "\n";
  }
  if (c.json) Print(out);
  return s.prompter.errorShown() ? 1 : 0;
}

namespace {

// The columns of the text listing, by display width.
void AppendRow(std::string& out, std::string_view path, std::string_view type, std::string_view size,
               std::string_view date, std::string_view time, std::string_view id) {
  out += PadRight(path, 40);
  out += ' ';
  out += PadRight(type, 26);
  out += ' ';
  out += PadLeft(size, 12);
  out += ' ';
  out += PadRight(date, 10);
  out += ' ';
  out += PadRight(time, 6);
  out += ' ';
  out += id;
  out += '\n';
}

// One entry of the JSON listing, its members in name order.
void AppendEntry(std::string& out, bool& first, std::string_view path, std::string_view name, std::string_view type,
                 std::uint64_t size, std::uint32_t time, std::uint64_t id, bool unreadable = false) {
  out += first ? "\n    {\"id\":" : ",\n    {\"id\":";
  first = false;
  out += std::to_string(id);
  out += ",\"name\":";
  AppendJsonString(out, name);
  out += ",\"path\":";
  AppendJsonString(out, path);
  out += ",\"size\":";
  out += std::to_string(size);
  out += ",\"time\":";
  out += std::to_string(time);
  out += ",\"type\":";
  AppendJsonString(out, type);
  // Only a file whose data lies in part on a missing segment says so.
  if (unreadable) out += ",\"unreadable\":true";
  out += '}';
}

// The text listing's mark for such a file, after its row.
constexpr std::string_view kUnreadableMark = "  [unreadable: on a missing pool segment]";

// Writes what was gathered once it is large enough, and at the end.
void Flush(std::string& out, bool force) {
  if (!force && out.size() < (1u << 16)) return;
  std::cout.write(out.data(), static_cast<std::streamsize>(out.size()));
  out.clear();
}

}  // namespace

int Ls(const Common& c, const std::string& path, bool recursive, bool bodyfile) {
  Session s;
  Configure(s, c);
  OpenVolume(s, c);
  const RecoveryTree& tree = s.tree;
  const Target t = Resolve(tree, path);
  if (bodyfile) {
    WriteBodyFile(tree, t.folder, t.file, recursive, std::cout);
    return 0;
  }
  // Written folder by folder as the walk goes: nothing of the whole volume
  // is gathered first.
  std::string out;
  bool first = true;
  if (c.json) {
    out += "{\n  \"fileCount\": " + std::to_string(tree.fileCount) + ",\n  \"folderCount\": " +
           std::to_string(tree.folderCount) + ",\n  \"entries\": [";
  } else {
    AppendRow(out, "Name", "Type", "Size", "Date", "Time", "ID");
  }
  const PoolInfo& pool = s.discovery().currentPool();
  auto addFile = [&](const TreeNode& f, const std::string& folderPath) {
    const std::string name = Latin1ToUtf8(f.name());
    AppendEntry(out, first, Join(folderPath, name), name, FileTypeOf(f.name()).text, f.size, f.time, f.index,
                FileReachesMissingSegment(pool, f));
  };
  // A text row of a file that cannot be read whole is marked.
  auto markUnreadable = [&](const ListRow& row) {
    if (row.folder || !pool.HasMissingSegments()) return;
    std::uint32_t index = 0;
    std::from_chars(row.id.data(), row.id.data() + row.id.size(), index);
    if (const TreeNode* f = tree.FileByIndex(index); f && FileReachesMissingSegment(pool, *f)) {
      if (!out.empty() && out.back() == '\n') out.pop_back();
      out += kUnreadableMark;
      out += '\n';
    }
  };
  if (t.file) {
    const std::string folderPath = PathOf(tree, t.folder);
    if (c.json) {
      addFile(*t.file, folderPath);
    } else {
      for (const auto& row : ListFolder(tree, t.file->parentId)) {
        if (!row.folder && row.id == std::to_string(t.file->index)) {
          AppendRow(out, Join(folderPath, row.name), row.type, row.size, row.date, row.time, row.id);
          markUnreadable(row);
        }
      }
    }
  } else {
    // The folder's own rows, then (recursively) every placed folder below it.
    std::vector<ItemHandle> stack{t.folder};
    while (!stack.empty()) {
      StopWhenInterrupted();
      const ItemHandle item = stack.back();
      stack.pop_back();
      const std::string folderPath = PathOf(tree, item);
      if (c.json) {
        for (auto p : tree.FoldersUnder(tree.ItemKey(item))) {
          const TreeNode& f = tree.folders()[p];
          const std::string name = Latin1ToUtf8(f.name());
          AppendEntry(out, first, Join(folderPath, name), name, "Folder", 0, f.time, f.treeItem);
        }
        for (auto p : tree.FilesUnder(tree.ItemKey(item))) addFile(tree.files()[p], folderPath);
      } else {
        for (const auto& row : ListFolder(tree, tree.ItemKey(item))) {
          AppendRow(out, Join(folderPath, row.name), row.type, row.size, row.date, row.time, row.id);
          markUnreadable(row);
        }
      }
      Flush(out, false);
      if (!recursive) break;
      const auto& children = tree.Item(item).children;
      for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back(*it);
    }
  }
  if (c.json) out += first ? "]\n}\n" : "\n  ]\n}\n";
  Flush(out, true);
  std::cout.flush();
  return 0;
}

int Tree(const Common& c, const std::string& pdf, const std::string& viewFile) {
  Session s;
  Configure(s, c);
  OpenVolume(s, c);
  if (pdf.empty() && viewFile.empty()) {
    // Line by line as the walk goes.
    std::string out;
    if (c.json) {
      JsonStream doc(std::cout);
      doc.Member("fileCount", s.tree.fileCount);
      doc.Member("folderCount", s.tree.folderCount);
      doc.BeginArray("lines");
      ForEachFolderStructureLine(s.tree, [&](const std::string& line) {
        StopWhenInterrupted();
        doc.Element(line);
      });
      doc.EndArray();
      return 0;
    }
    ForEachFolderStructureLine(s.tree, [&](const std::string& line) {
      out += line;
      out += '\n';
      if (out.size() >= (1u << 16)) StopWhenInterrupted();
      Flush(out, false);
    });
    Flush(out, true);
    std::cout.flush();
    return 0;
  }
  std::uint64_t lines = 0;
  ForEachFolderStructureLine(s.tree, [&](const std::string&) { ++lines; });
  json out = {{"lines", lines}};
  if (!viewFile.empty()) {
    // The window's view file: its lines with CR LF ends.
    std::string error;
    const std::filesystem::path file(viewFile);
    auto folder = OutputFolder::Open(file.has_parent_path() ? file.parent_path() : std::filesystem::path("."), &error);
    auto written = folder ? folder->Create(file.filename().string(), &error) : nullptr;
    if (!written) throw Failure("cannot write the view file " + viewFile + ": " + error);
    std::string text;
    bool ok = true;
    ForEachFolderStructureLine(s.tree, [&](const std::string& line) {
      text += line;
      text += "\r\n";
      if (text.size() >= (1u << 16) && ok) {
        ok = written->Write(std::as_bytes(std::span(text.data(), text.size())));
        text.clear();
      }
    });
    if (!ok || !written->Write(std::as_bytes(std::span(text.data(), text.size()))) || !written->Close()) {
      throw Failure("cannot write the view file " + viewFile + ": " + written->error());
    }
    out["viewFile"] = viewFile;
    if (!c.json) std::cout << "Directory list written to " << viewFile << " (" << lines << " lines)\n";
  }
  if (!pdf.empty()) {
    std::string error;
    TextPdf document;
    if (!document.Open(pdf, error)) throw Failure("cannot write the PDF file " + pdf + ": " + error);
    ForEachFolderStructureLine(s.tree, [&](const std::string& line) { document.Line(line); });
    const int pages = document.Finish(error);
    if (pages == 0) throw Failure("cannot write the PDF file " + pdf + ": " + error);
    out["pdf"] = pdf;
    out["pages"] = pages;
    if (!c.json) std::cout << "Directory list printed to " << pdf << " (" << pages << (pages == 1 ? " page" : " pages") << ")\n";
  }
  if (c.json) Print(out);
  return 0;
}

void ConfigureReplace(Session& s, const std::string& replace) {
  if (replace == "yes-to-all") {
    s.prompter.replaceAnswer = ReplaceChoice::YesToAll;
  } else if (replace == "no-to-all") {
    s.prompter.replaceAnswer = ReplaceChoice::NoToAll;
  } else if (!replace.empty() && replace != "ask") {
    throw UsageError("unknown --replace answer \"" + replace + "\" (ask, yes-to-all or no-to-all)");
  } else if (replace == "ask" && !(IsTerminal(0) && IsTerminal(2))) {
    throw UsageError("--replace ask needs a terminal to ask on; pass --replace yes-to-all or --replace no-to-all");
  }
}

// The rows that save a whole volume: each placed root folder with its
// subtree, and the files of the root.
std::vector<SaveRow> WholeVolume(const RecoveryTree& tree) {
  std::vector<SaveRow> rows;
  for (auto p : tree.FoldersUnder(0)) {
    if (tree.folders()[p].treeItem != kNoItem) rows.push_back({true, true, tree.folders()[p].treeItem, 0});
  }
  for (auto p : tree.FilesUnder(0)) rows.push_back({true, false, tree.files()[p].index, tree.files()[p].size});
  return rows;
}

// Saves the rows into `dest`; the progress holds what happened.
void SaveRows(Session& s, const SaveSettings& settings, const std::vector<SaveRow>& rows,
              const std::filesystem::path& dest, SaveProgress& progress, SaveObserver* observer = nullptr) {
  SaveProgressBar bar(progress);
  Extractor extractor(s.disk(), s.discovery().currentPool(), s.tree, settings, s.prompter, progress, bar);
  extractor.observer = observer;
  SaveRun run(extractor, s.tree, settings, progress, s.prompter);
  WatchInterrupt(&progress.abortRun);
  s.prompter.stopOnUnanswerable = &progress.abortRun;
  // The run clears the flag when it starts: a signal that came before is
  // not lost.
  run.Run(SaveSource::List, dest, rows, progress.abortRun, [&] {
    if (Interrupted()) progress.abortRun = true;
  });
  s.prompter.stopOnUnanswerable = nullptr;
  WatchInterrupt(static_cast<std::atomic<bool>*>(nullptr));
  bar.Finish();
}

// How a save ended, after its summary: a question nobody could answer is a
// usage error, a stop names the partial file it removed, links refused and
// files not written are failures.
void EndOfSave(const Session& s, const SaveProgress& progress) {
  if (s.prompter.unanswered()) throw UsageError("");
  if (Interrupted()) {
    std::string text = "stopped";
    for (const auto& f : progress.removedFiles) text += "; the partial file " + f.string() + " was removed";
    throw Failure(text);
  }
  const std::uint32_t failed =
      progress.Count(SaveOutcome::WriteFailed) + progress.Count(SaveOutcome::CreateFailed);
  if (failed > 0) throw Failure(std::to_string(failed) + " file(s) could not be written");
  if (!progress.refusedLinks.empty()) {
    throw Failure(std::to_string(progress.refusedLinks.size()) + " place(s) held a symbolic link and were not saved");
  }
  if (s.prompter.errorShown()) throw Failure("");
}

// The saved files that hold unread sectors, for --json.
json UnreadFilesJson(const SaveProgress& p) {
  json files = json::array();
  for (const auto& f : p.unreadFiles) files.push_back({{"path", Latin1ToUtf8(f.path)}, {"unreadSectors", f.unreadSectors}});
  return files;
}

json PathsJson(const std::vector<std::filesystem::path>& paths) {
  json list = json::array();
  for (const auto& p : paths) list.push_back(p.string());
  return list;
}

// One line per saved file that holds unread sectors, so the user knows
// which files to distrust, and per file not saved because part of it lies
// on a disk that was not given.
void PrintUnreadFiles(const SaveProgress& p, const std::string& indent = "") {
  for (const auto& f : p.unreadFiles) {
    std::cout << indent << Latin1ToUtf8(f.path) << ": " << f.unreadSectors
              << " unread sector(s), saved as zeros\n";
  }
  for (const auto& f : p.missingSegmentFiles) {
    std::cout << indent << Latin1ToUtf8(f.path) << ": unreadable, its data lies on a missing pool segment; not saved\n";
  }
}

json MissingSegmentFilesJson(const SaveProgress& p) {
  json files = json::array();
  for (const auto& f : p.missingSegmentFiles) files.push_back(Latin1ToUtf8(f.path));
  return files;
}

std::uint32_t Failed(const SaveProgress& p) {
  return p.Count(SaveOutcome::WriteFailed) + p.Count(SaveOutcome::CreateFailed);
}

int Save(const Common& c, const std::string& dest, const std::string& ext, const std::string& replace,
         const std::string& after, const std::string& before, const std::vector<std::string>& paths,
         const SaveExtras& extras) {
  if (dest.empty()) throw UsageError("--dest is required");
  SaveReports reports(extras, dest);
  SaveSettings settings;
  if (!after.empty()) {
    const auto day = DatePositions(after, kAfterYearRows);
    if (!day) throw UsageError("--after " + after + " is not a day from 1970-01-01 to 2030-12-31 (YYYY-MM-DD)");
    settings.afterDay = (*day)[0];
    settings.afterMonth = (*day)[1];
    settings.afterYear = (*day)[2];
  }
  if (!before.empty()) {
    const auto day = DatePositions(before, kEarlierYearRows);
    if (!day) throw UsageError("--before " + before + " is not a day from 1970-01-01 to 2099-12-31 (YYYY-MM-DD)");
    settings.earlierDay = (*day)[0];
    settings.earlierMonth = (*day)[1];
    settings.earlierYear = (*day)[2];
  }
  Session s;
  Configure(s, c);
  ConfigureReplace(s, replace);
  settings.selectionMode = SelectionMode::SaveSelected;
  std::string entry;
  for (char ch : ext + ",") {
    if (ch == ',') {
      if (!entry.empty()) settings.extensions.push_back(entry);
      entry.clear();
    } else {
      entry.push_back(ch);
    }
  }
  OpenVolume(s, c);
  const RecoveryTree& tree = s.tree;

  std::vector<SaveRow> rows;
  for (const auto& path : paths.empty() ? std::vector<std::string>{"\\"} : paths) {
    const Target t = Resolve(tree, path);
    if (t.file) {
      rows.push_back({true, false, t.file->index, t.file->size});
    } else if (t.folder == kRootItem) {
      const auto whole = WholeVolume(tree);
      rows.insert(rows.end(), whole.begin(), whole.end());
    } else {
      rows.push_back({true, true, t.folder, 0});
    }
  }

  SaveProgress progress;
  SaveRows(s, settings, rows, dest, progress, reports.observer());
  const std::uint32_t written = progress.Count(SaveOutcome::Written);
  json reported = json::object();
  reports.Finish(s, c.disk, reported, c.json);
  if (c.json) {
    json summary = {{"files", written},
           {"bytes", progress.bytesWritten - progress.bytesRemoved},
           {"failed", Failed(progress)},
           {"skipped", progress.Count(SaveOutcome::Skipped)},
           {"declined", progress.Count(SaveOutcome::Declined)},
           {"filtered", progress.Count(SaveOutcome::Filtered)},
           {"untranslatable", progress.Count(SaveOutcome::Untranslatable)},
           {"refusedLinks", PathsJson(progress.refusedLinks)},
           {"removedPartialFiles", PathsJson(progress.removedFiles)},
           {"unreadFiles", UnreadFilesJson(progress)},
           {"missingSegmentFiles", MissingSegmentFilesJson(progress)}};
    summary.update(reported);
    Print(summary);
  } else {
    PrintUnreadFiles(progress);
    std::cout << written << " file(s), " << progress.bytesWritten - progress.bytesRemoved << " bytes saved to " << dest;
    if (!progress.unreadFiles.empty()) {
      std::cout << "; " << progress.unreadFiles.size() << " file(s) hold unread sectors";
    }
    std::cout << "\n" << std::flush;
  }
  EndOfSave(s, progress);
  if (!progress.missingSegmentFiles.empty())
    throw Failure(std::to_string(progress.missingSegmentFiles.size()) +
                  " file(s) lie in part on pool segments of disks not given and were not saved");
  return 0;
}

int Recover(const Common& c, const std::string& dest, const std::string& replace) {
  if (dest.empty()) throw UsageError("--dest is required");
  Session s;
  Configure(s, c);
  ConfigureReplace(s, replace);
  OpenGivenDisks(s, c);
  Discovery& d = FindPools(s, ParseMode(c.mode), c.disk);
  const SaveSettings settings;
  json summary = {{"pools", 0}, {"volumes", 0}, {"folders", 0}, {"files", 0},
                  {"bytes", 0}, {"failed", 0}, {"unreadFiles", json::array()}, {"missingSegmentFiles", json::array()}};
  const std::size_t pools = d.pools().poolCount();
  summary["pools"] = pools;
  std::uint64_t refused = 0;
  for (std::size_t p = 0; p < pools; ++p) {
    s.OpenPool(std::to_string(p));
    const std::string poolName = Latin1ToUtf8(d.currentPool().name);
    for (std::size_t v = 0; v < d.volumes().size(); ++v) {
      s.ScanVolume(std::to_string(v));
      const std::string volumeName = Latin1ToUtf8(d.volumes()[v].name);
      if (!c.json) {
        std::cout << "\n" << poolName << " / " << volumeName << ": " << s.tree.folderCount << " folder(s), "
                  << s.tree.fileCount << " file(s)\n";
        std::string out;
        ForEachFolderStructureLine(s.tree, [&](const std::string& line) {
          out += "  " + line + "\n";
          Flush(out, false);
        });
        Flush(out, true);
        std::cout.flush();
      }
      // The pool's and the volume's folders are made as every folder of a
      // save is: a symbolic link in their place is not followed.
      const std::string poolFolder = SafeFileName(d.currentPool().name);
      const std::string volumeFolder = SafeFileName(d.volumes()[v].name);
      std::string error;
      auto top = OutputFolder::Make(dest, &error);
      auto inPool = top ? top->Folder(poolFolder, &error) : nullptr;
      auto inVolume = inPool ? inPool->Folder(volumeFolder, &error) : nullptr;
      if (!inVolume) {
        const std::filesystem::path place =
            inPool ? inPool->path() / volumeFolder : top ? top->path() / poolFolder : std::filesystem::path(dest);
        s.prompter.NoteCause(place.string(), error);
        s.prompter.ShowMessage(std::string(kMsgInvalidPathList), std::string(kProductTitle), MessageIcon::Error);
        ++refused;
        continue;
      }
      SaveProgress progress;
      SaveRows(s, settings, WholeVolume(s.tree), inVolume->path(), progress);
      if (!c.json) PrintUnreadFiles(progress, "  ");
      for (const auto& f : progress.unreadFiles) {
        summary["unreadFiles"].push_back({{"pool", poolName},
                                          {"volume", volumeName},
                                          {"path", Latin1ToUtf8(f.path)},
                                          {"unreadSectors", f.unreadSectors}});
      }
      for (const auto& f : progress.missingSegmentFiles) {
        summary["missingSegmentFiles"].push_back(
            {{"pool", poolName}, {"volume", volumeName}, {"path", Latin1ToUtf8(f.path)}});
      }
      summary["volumes"] = summary["volumes"].get<std::uint64_t>() + 1;
      summary["folders"] = summary["folders"].get<std::uint64_t>() + s.tree.folderCount;
      summary["files"] = summary["files"].get<std::uint64_t>() + progress.Count(SaveOutcome::Written);
      summary["bytes"] = summary["bytes"].get<std::uint64_t>() + progress.bytesWritten - progress.bytesRemoved;
      summary["failed"] = summary["failed"].get<std::uint64_t>() + Failed(progress);
      refused += progress.refusedLinks.size();
      if (s.prompter.unanswered() || Interrupted()) EndOfSave(s, progress);
    }
  }
  if (c.json) {
    Print(summary);
  } else {
    std::cout << "\nRecovered from " << c.disk << " into " << dest << ": " << summary["pools"] << " pool(s), "
              << summary["volumes"] << " volume(s), " << summary["folders"] << " folder(s), " << summary["files"]
              << " file(s), " << summary["bytes"] << " bytes";
    if (!summary["unreadFiles"].empty()) std::cout << "; " << summary["unreadFiles"].size() << " file(s) hold unread sectors";
    if (!summary["missingSegmentFiles"].empty())
      std::cout << "; " << summary["missingSegmentFiles"].size() << " file(s) unreadable on missing pool segments";
    std::cout << "\n" << std::flush;
  }
  if (summary["failed"].get<std::uint64_t>() > 0) throw Failure("some files could not be written");
  if (!summary["missingSegmentFiles"].empty())
    throw Failure(std::to_string(summary["missingSegmentFiles"].size()) +
                  " file(s) lie in part on pool segments of disks not given and were not saved");
  if (refused > 0) throw Failure(std::to_string(refused) + " place(s) could not be made or held a symbolic link; nothing was saved there");
  if (s.prompter.errorShown()) throw Failure("");
  return 0;
}

namespace {

constexpr const char* kKindNames[] = {"Word", "Excel", "PowerPoint", "Zip"};
constexpr const char* kKindOptions[] = {"word", "excel", "powerpoint", "zip"};

// Raw scan progress as a bar, and the documents it dealt with.
struct CarveListener : RawScanListener {
  explicit CarveListener(std::uint64_t sectors) : bar("Carving"), total(sectors) {}
  void OnProgress(int percent, const std::string&) override {
    bar.Update(total * static_cast<std::uint64_t>(percent) / 100, total, false);
  }
  void OnDocument(const RawDocument& d) override { documents.push_back(d); }
  ProgressBar bar;
  std::uint64_t total;
  std::vector<RawDocument> documents;
};

}  // namespace

int Carve(const Common& c, const std::string& dest, const std::string& kinds, const std::string& start,
          const std::string& end, bool exact) {
  RequireDisk(c);
  if (dest.empty()) throw UsageError("--dest is required");
  RawScanRequest request;
  request.destination = dest;
  request.exact = exact;
  std::string word;
  for (char ch : (kinds.empty() ? std::string("word,excel,powerpoint,zip") : kinds) + ",") {
    if (ch != ',') {
      word.push_back(ch);
      continue;
    }
    if (word.empty()) continue;
    bool known = false;
    for (std::size_t k = 0; k < kRawKindCount; ++k) {
      if (word == kKindOptions[k]) request.form.ticked[k] = known = true;
    }
    if (!known) throw UsageError("unknown kind \"" + word + "\" for --kinds (word, excel, powerpoint or zip)");
    word.clear();
  }
  // The form's own checks judge the numbers; what is no number at all is
  // said here with the option that gave it.
  auto decimal = [](const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
  };
  if (!start.empty() && !decimal(start)) throw UsageError(std::string(kMsgInvalidStartSector) + ": --start " + start);
  if (!end.empty() && !decimal(end)) throw UsageError(std::string(kMsgInvalidEndSector) + ": --end " + end);
  Session s;
  Configure(s, c);
  OpenGivenDisks(s, c);
  request.diskSectors = s.inventory().DiskSizeInSectors(s.diskNumber());
  if (!start.empty() || !end.empty()) {
    request.form.entireDisk = false;
    request.form.startField = start.empty() ? "0" : start;
    request.form.endField = end.empty() ? std::to_string(request.diskSectors) : end;
  }
  // The checks show their own messages on standard error: a range the
  // form refuses is a usage error, a destination that cannot be made a
  // reported one.
  if (CheckRawForm(request.form, request.diskSectors, s.prompter) != RawFormCheck::Ok) throw UsageError("");
  if (CheckRawDestination(dest, s.prompter) != RawDestinationCheck::Ready) throw Failure("");

  CarveListener listener(request.diskSectors);
  std::atomic<bool> stop{false};
  WatchInterrupt(&stop);
  const RawScanResult result = RawScan(s.disk(), request, s.prompter, listener, stop);
  WatchInterrupt(static_cast<std::atomic<bool>*>(nullptr));
  listener.bar.Finish();

  json documents = json::array();
  for (const auto& d : listener.documents) {
    if (d.outcome != RawDocumentOutcome::Written && d.outcome != RawDocumentOutcome::Truncated &&
        d.outcome != RawDocumentOutcome::CutAtDiskEnd)
      continue;
    json entry = {{"name", d.file.filename().string()},
                  {"kind", kKindNames[KindIndex(d.kind)]},
                  {"start", d.startSector},
                  {"end", d.endSector},
                  {"size", d.bytesWritten}};
    if (exact) {
      entry["exact"] = d.exact;
      if (d.outcome == RawDocumentOutcome::CutAtDiskEnd) entry["cut"] = true;
      if (!d.fallback.empty()) entry["fallback"] = d.fallback;
    }
    documents.push_back(std::move(entry));
    if (!c.json) {
      std::cout << d.file.filename().string() << "  " << kKindNames[KindIndex(d.kind)] << "  sectors " << d.startSector
                << " - " << d.endSector << "  " << d.bytesWritten << " bytes"
                << (d.outcome == RawDocumentOutcome::Truncated ? "  (cut at 5 MiB)" : "")
                << (d.outcome == RawDocumentOutcome::CutAtDiskEnd ? "  (cut at the end of the disk)" : "")
                << (d.fallback.empty() ? "" : "  (length unknown, " + d.fallback + ": ended by the signature rules)")
                << "\n";
    }
  }
  if (c.json) {
    json summary = {{"documents", documents}};
    if (exact) summary["fallbacks"] = result.fallbacks;
    Print(summary);
  } else {
    for (std::size_t k = 0; k < kRawKindCount; ++k) {
      if (request.form.ticked[k]) std::cout << RawCounterRowText(static_cast<RawFileKind>(k), result.recovered[k]) << "\n";
    }
    if (exact) std::cout << "Documents ended by the signature rules (length unknown): " << result.fallbacks << "\n";
  }
  for (const auto& f : result.failures) {
    std::cerr << kMessagePrefix << "cannot write " << f.file.string() << ": " << f.error << "\n";
  }
  if (result.end == RawScanEnd::Stopped) throw Failure("stopped");
  if (result.end == RawScanEnd::InvalidRange) throw Failure("");
  if (!result.failures.empty()) throw Failure(std::to_string(result.failures.size()) + " document(s) could not be written");
  return 0;
}

int SaveInfo(const Common& c, const std::string& out) {
  if (out.empty()) throw UsageError("--out is required");
  Session s;
  Configure(s, c);
  OpenVolume(s, c);
  // The command line writes the path it is given, as any program does.
  auto saved = SaveRecoveryInfoAt(out, s.discovery(), s.tree, s.prompter);
  // The program's own message said why.
  if (!saved) throw Failure(saved.message.empty() ? "cannot write " + out : "");
  if (c.json) {
    Print({{"path", saved.path}, {"folderCount", s.tree.folderCount}, {"fileCount", s.tree.fileCount}});
  } else {
    std::cout << "Recovery information written to " << saved.path << "\n";
  }
  return 0;
}

int Partitions(const Common& c) {
  RequireDisk(c);
  Session s;
  Configure(s, c);
  OpenGivenDisks(s, c);
  const std::string name = "Disk" + std::to_string(s.diskNumber());
  auto number = [&](std::string_view key) {
    return std::strtoull(s.registry.ReadText(RegistryRoot::ClassesRoot, key, name).c_str(), nullptr, 10);
  };
  const DiskGeometry g{number(kCylinderKey), number(kHeadKey), number(kSectorsPerTrackKey)};
  SearchProgress progress("Searching partitions", g.cylinders);
  const auto entries = SearchMorePartitions(s.disk(), g, progress, s.prompter);
  progress.Finish();
  json out = {{"partitions", json::array()}};
  for (const auto& e : entries) {
    out["partitions"].push_back({{"label", e.label}, {"firstSector", e.firstSector}, {"sectorCount", e.sectorCount}});
    if (!c.json) std::cout << e.label << "  first sector " << e.firstSector << ", " << e.sectorCount << " sectors\n";
  }
  if (c.json) Print(out);
  return 0;
}

}  // namespace ov::cli
