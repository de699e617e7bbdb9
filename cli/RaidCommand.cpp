#include "cli/RaidCommand.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <iostream>
#include <memory>

#include <nlohmann/json.hpp>

#include "disk/RaidDetect.h"
#include "disk/RaidSetFile.h"

namespace ov::cli {

namespace {

using nlohmann::json;

struct RaidArgs {
  std::vector<std::string> members;
  std::string out, level, chunk, layout, order;
  std::optional<std::uint64_t> offset;
};

// "64K", "64KiB", "65536", "1M" as bytes; nothing when malformed.
std::optional<std::uint64_t> ParseChunk(std::string text) {
  std::uint64_t factor = 1;
  for (const char* unit : {"KiB", "K", "k"})
    if (text.size() > std::strlen(unit) && text.ends_with(unit)) factor = 1024, text.resize(text.size() - std::strlen(unit));
  for (const char* unit : {"MiB", "M", "m"})
    if (text.size() > std::strlen(unit) && text.ends_with(unit)) factor = 1024 * 1024, text.resize(text.size() - std::strlen(unit));
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 12) return std::nullopt;
  return std::stoull(text) * factor;
}

json AnswerJson(const RaidAnswer& a, const std::vector<std::optional<std::filesystem::path>>& members) {
  json j;
  j["level"] = LevelName(a.geometry.level);
  j["chunkBytes"] = IsStriped(a.geometry.level) ? json(std::uint64_t{a.geometry.chunkSectors} * kSectorSize) : json();
  j["layout"] = a.geometry.level == RaidLevel::Raid5 ? json(LayoutName(a.geometry.layout)) : json();
  j["offsetSectors"] = a.geometry.offsetSectors;
  j["members"] = json::array();
  for (int m : a.order) j["members"].push_back(m < 0 ? json() : json(members[static_cast<std::size_t>(m)]->string()));
  j["found"] = a.found;
  j["missed"] = a.missed;
  j["fit"] = a.Fit();
  if (a.geometry.level == RaidLevel::Raid5) j["parityConflicts"] = a.parityConflicts;
  return j;
}

int Detect(const RaidArgs& args, const Common& c) {
  RaidDetectOptions options;
  auto usage = [](const std::string& text) {
    std::cerr << "ovnss-cli: " << text << "\n";
    return 2;
  };
  if (!args.level.empty()) {
    options.level = ParseLevel(args.level);
    if (!options.level) return usage("--level must be 0, 1, 5, 10 or span, not " + args.level);
  }
  if (!args.chunk.empty()) {
    const auto bytes = ParseChunk(args.chunk);
    if (!bytes || *bytes % kSectorSize != 0 || *bytes > std::uint64_t{kMaxChunkSectors} * kSectorSize ||
        !ValidChunkSectors(static_cast<std::uint32_t>(*bytes / kSectorSize)))
      return usage("--chunk must be a power of two from 4K to 4M, not " + args.chunk);
    options.chunkSectors = static_cast<std::uint32_t>(*bytes / kSectorSize);
  }
  if (!args.layout.empty()) {
    options.layout = ParseLayout(args.layout);
    if (!options.layout) return usage("--layout must be left-symmetric, left-asymmetric, right-symmetric or right-asymmetric");
  }
  options.offsetSectors = args.offset;
  options.orderAsGiven = args.order == "as-given";

  std::vector<std::optional<std::filesystem::path>> members;
  for (const auto& m : args.members) {
    if (m == "missing") members.emplace_back();
    else members.emplace_back(std::filesystem::path(m));
  }
  const bool showProgress = !c.json && ::isatty(STDERR_FILENO);
  std::atomic<bool> stop{false};
  const auto result = DetectRaidFiles(
      members, options,
      [&](int percent) {
        if (showProgress) std::fprintf(stderr, "\rDetecting the set... %3d%%", percent);
      },
      stop);
  if (showProgress) std::fprintf(stderr, "\r%*s\r", 30, "");

  if (!result.ok) {
    if (c.json) {
      json j{{"error", result.error}};
      if (!result.ties.empty()) {
        j["candidates"] = json::array();
        for (const auto& t : result.ties) j["candidates"].push_back(AnswerJson(t, members));
      }
      std::cout << j.dump(2) << "\n";
    }
    std::cerr << "ovnss-cli: " << result.error << "\n";
    return 1;
  }
  json j = AnswerJson(result.answer, members);
  j["evidence"] = result.levelEvidence;
  if (!args.out.empty()) {
    RaidSet set;
    set.geometry = result.answer.geometry;
    for (int m : result.answer.order)
      set.members.push_back(m < 0 ? std::nullopt : std::optional(std::filesystem::absolute(*members[static_cast<std::size_t>(m)])));
    std::string error;
    if (!WriteRaidSetFile(args.out, set, error)) {
      std::cerr << "ovnss-cli: " << error << "\n";
      return 1;
    }
    j["setFile"] = args.out;
  }
  if (c.json) {
    std::cout << j.dump(2) << "\n";
    return 0;
  }
  const auto& a = result.answer;
  std::cout << "Level:   RAID " << LevelName(a.geometry.level) << "\n";
  if (IsStriped(a.geometry.level)) std::cout << "Chunk:   " << a.geometry.chunkSectors / 2 << " KiB\n";
  if (a.geometry.level == RaidLevel::Raid5) std::cout << "Layout:  " << LayoutName(a.geometry.layout) << "\n";
  std::cout << "Offset:  " << a.geometry.offsetSectors << " sectors\n";
  std::cout << "Members:";
  for (int m : a.order) std::cout << "\n  " << (m < 0 ? std::string("missing") : members[static_cast<std::size_t>(m)]->string());
  std::cout << "\nFit:     " << a.found << " structures found, " << a.missed << " missed (" << result.levelEvidence << ")\n";
  if (!args.out.empty()) std::cout << "Set file written: " << args.out << "\n";
  return 0;
}

}  // namespace

std::function<int()> AddRaidCommand(CLI::App& app, Common& c) {
  auto args = std::make_shared<RaidArgs>();
  auto* raid = app.add_subcommand("raid", "RAID sets: find how member disks make one set");
  raid->require_subcommand(1);
  auto* detect = raid->add_subcommand(
      "detect", "find level, chunk size, layout, member order and data offset of a RAID set from its members");
  detect->add_option("members", args->members, "member disks or images in any order; \"missing\" for an absent one")
      ->required();
  detect->add_option("--out", args->out, "write a set file that --disk takes in place of a disk");
  detect->add_flag("--json", c.json, "machine-readable output on standard output");
  detect->add_option("--level", args->level, "the level, when known: 0, 1, 5, 10 or span");
  detect->add_option("--chunk", args->chunk, "the chunk size, when known (4K .. 4M)");
  detect->add_option("--layout", args->layout,
                     "RAID 5 parity layout, when known: left-symmetric, left-asymmetric, right-symmetric, right-asymmetric");
  detect->add_option("--offset", args->offset, "data offset in sectors, when known");
  detect->add_option("--order", args->order, "as-given: the members are given in set order")
      ->check(CLI::IsMember({"as-given"}));
  return [detect, args, &c]() { return *detect ? Detect(*args, c) : -1; };
}

}  // namespace ov::cli
