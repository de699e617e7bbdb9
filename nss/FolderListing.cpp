#include "nss/FolderListing.h"

#include <array>
#include <charconv>
#include <climits>
#include <cstdint>
#include <ctime>
#include <fstream>
#include <initializer_list>

#include "platform/Text.h"

namespace ov {

namespace {

struct TypeRule {
  std::string_view endings[6];
  FileType type;
};

// Tried in order; the first matching ending wins. Each ending is a dot
// followed by letters.
constexpr TypeRule kTypeRules[] = {
    {{".doc", ".DOC"}, {"Microsoft Word File", 4}},
    {{".ppt", ".PPT"}, {"Microsoft Power Point File", 5}},
    {{".xls", ".XLS"}, {"Microsoft Excel File", 3}},
    {{".pdf", ".PDF"}, {"Acrobat Reader File", 15}},
    {{".exe", ".EXE"}, {"Executable File", 7}},
    {{".ttf", ".TTF"}, {"Font File", 8}},
    {{".zip", ".ZIP", ".rar", ".RAR"}, {"Winzip File", 2}},
    {{".htm", ".HTM", ".html", ".HTML", ".asp", ".ASP"}, {"Internet File", 12}},
    {{".chm", ".CHM"}, {"Help File", 13}},
    {{".reg", ".REG"}, {"Registry File", 16}},
    {{".wav", ".WAV", ".au", ".AU"}, {"Sound File", 17}},
    {{".avi", ".AVI"}, {"Video File", 18}},
    {{".cpp", ".CPP", ".c", ".C"}, {"C++ Source File", 9}},
    {{".h", ".H"}, {"Header File", 11}},
    {{".txt", ".TXT"}, {"Text File", 20}},
};
constexpr FileType kPlainFile{"File", 19};
constexpr int kFolderImage = 1;

std::tm Local(std::uint32_t time) {
  const std::time_t t = time;
  std::tm tm{};
  localtime_r(&t, &tm);
  return tm;
}

constexpr std::int64_t kDaySeconds = 86400;

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// The fields a row shows (day, month, year, hour, minute) of `seconds`
// since 1970 read as a wall-clock time.
std::tm WallFields(std::int64_t seconds) {
  std::int64_t days = seconds / kDaySeconds;
  std::int64_t rest = seconds % kDaySeconds;
  if (rest < 0) rest += kDaySeconds, --days;
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  std::tm tm{};
  tm.tm_year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2) - 1900);
  tm.tm_mon = static_cast<int>(m) - 1;
  tm.tm_mday = static_cast<int>(d);
  tm.tm_hour = static_cast<int>(rest / 3600);
  tm.tm_min = static_cast<int>(rest / 60 % 60);
  tm.tm_sec = static_cast<int>(rest % 60);
  return tm;
}

// Local time of the time stamps of one listing, with a conversion by the
// system's time zone rules only once per day met. A day (of UTC) whose
// first and last seconds have their local times at the same distance from
// them has every second at that distance (the rules never change the
// distance and change it back within a day), so its stamps follow from the
// distance alone; any other day converts each stamp.
class LocalClock {
public:
  std::tm Of(std::uint32_t time) {
    const std::int64_t day = time / kDaySeconds;
    Day& d = days_[static_cast<std::size_t>(day) % kDays];
    if (d.day != day) {
      d.day = day;
      const std::int64_t first = day * kDaySeconds;
      d.shift = Shift(first);
      d.even = d.shift != INT64_MIN && d.shift == Shift(first + kDaySeconds - 1);
    }
    if (!d.even) return Local(time);
    return WallFields(std::int64_t{time} + d.shift);
  }

private:
  // The local time of `t` less `t`, in seconds.
  static std::int64_t Shift(std::int64_t t) {
    const std::time_t at = static_cast<std::time_t>(t);
    std::tm tm{};
    if (localtime_r(&at, &tm) == nullptr) return INT64_MIN;
    return (DaysFromCivil(tm.tm_year + 1900LL, static_cast<unsigned>(tm.tm_mon + 1), static_cast<unsigned>(tm.tm_mday)) *
                kDaySeconds +
            tm.tm_hour * 3600LL + tm.tm_min * 60LL + tm.tm_sec) -
           t;
  }

  struct Day {
    std::int64_t day = -1;
    std::int64_t shift = 0;
    bool even = false;
  };
  // Days next to each other take places next to each other, so the stamps
  // of some eleven years never drive each other's days out.
  static constexpr std::size_t kDays = 4096;
  std::vector<Day> days_ = std::vector<Day>(kDays);
};

// Up to eight bytes of text as one number.
std::uint64_t Packed(std::string_view text) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < text.size() && i < sizeof value; ++i) {
    value |= std::uint64_t{static_cast<unsigned char>(text[i])} << (8 * i);
  }
  return value;
}

// Numbers joined by one-character separators, without leading zeros, in
// one piece of text.
std::string Joined(std::initializer_list<long> numbers, char separator) {
  char text[64];
  char* at = text;
  for (long n : numbers) {
    if (at != text) *at++ = separator;
    at = std::to_chars(at, text + sizeof text, n).ptr;
  }
  return std::string(text, at);
}

std::string DateText(const std::tm& tm) { return Joined({tm.tm_mday, tm.tm_mon + 1, tm.tm_year + 1900L}, '-'); }

std::string TimeText(const std::tm& tm) { return Joined({tm.tm_hour, tm.tm_min}, ':'); }

void FillRow(ListRow& row, const TreeNode& node, bool folder, LocalClock& clock) {
  row.folder = folder;
  row.name = Latin1ToUtf8(node.name());
  if (folder) {
    row.type = "Folder";
    row.image = kFolderImage;
    row.id = std::to_string(node.treeItem);
  } else {
    const FileType t = FileTypeOf(node.name());
    row.type = t.text;
    row.image = t.image;
    row.id = std::to_string(node.index);
  }
  row.size = std::to_string(static_cast<std::uint32_t>(node.size));
  const std::tm tm = clock.Of(node.time);
  row.date = DateText(tm);
  row.time = TimeText(tm);
}

}  // namespace

FileType FileTypeOf(std::string_view name) {
  // Every ending is a dot and letters, so the only one a name can end with
  // is its own part from the last dot on.
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return kPlainFile;
  const std::string_view ending = name.substr(dot);
  if (ending.size() > sizeof(std::uint64_t)) return kPlainFile;
  // The table's endings as numbers, compared in one step each, in table
  // order (an unused place is 0, which no ending packs to).
  static const auto packed = [] {
    std::array<std::array<std::uint64_t, std::size(TypeRule{}.endings)>, std::size(kTypeRules)> table{};
    for (std::size_t r = 0; r < table.size(); ++r) {
      for (std::size_t i = 0; i < table[r].size(); ++i) table[r][i] = Packed(kTypeRules[r].endings[i]);
    }
    return table;
  }();
  const std::uint64_t wanted = Packed(ending);
  for (std::size_t r = 0; r < packed.size(); ++r) {
    for (std::uint64_t e : packed[r]) {
      if (e == wanted) return kTypeRules[r].type;
    }
  }
  return kPlainFile;
}

std::string ListDate(std::uint32_t time) { return DateText(Local(time)); }

std::string ListTime(std::uint32_t time) { return TimeText(Local(time)); }

ListRows ListFolder(const RecoveryTree& tree, std::uint64_t key) {
  ListRows rows;
  const auto& folders = tree.FoldersUnder(key);
  const auto& files = tree.FilesUnder(key);
  rows.reserve(folders.size() + files.size());
  LocalClock clock;
  for (auto p : folders) FillRow(rows.emplace_back(), tree.folders()[p], true, clock);
  for (auto p : files) FillRow(rows.emplace_back(), tree.files()[p], false, clock);
  return rows;
}

FolderView ShowFolder(RecoveryTree& tree, ItemHandle item) {
  FolderView view;
  if (!tree.IsItem(item)) return view;
  view.pathText = "\\" + Latin1ToUtf8(tree.ItemPath(item));
  tree.currentFolderItem = item;
  view.rows = ListFolder(tree, tree.ItemKey(item));
  return view;
}

std::vector<std::string> FolderStructureLines(const RecoveryTree& tree) {
  std::vector<std::string> lines;
  ForEachFolderStructureLine(tree, [&](const std::string& line) { lines.push_back(line); });
  return lines;
}

void ForEachFolderStructureLine(const RecoveryTree& tree, const std::function<void(const std::string&)>& line) {
  // Depth first with an explicit stack of (item, next child) frames.
  struct Frame {
    ItemHandle item;
    std::size_t next;
  };
  std::vector<Frame> frames{{kRootItem, 0}};
  while (!frames.empty()) {
    Frame& top = frames.back();
    const auto& children = tree.Item(top.item).children;
    if (top.next == children.size()) {
      frames.pop_back();
      continue;
    }
    const ItemHandle child = children[top.next++];
    std::string parentText = top.item == kRootItem ? tree.ItemText(top.item) : tree.ItemPath(top.item);
    if (parentText.compare(0, 9, "Partition") == 0) parentText = "Root Directory ";
    line(Latin1ToUtf8(parentText) + "-> " + Latin1ToUtf8(tree.ItemText(child)));
    frames.push_back({child, 0});
  }
}

bool DumpTree(const RecoveryTree& tree, const std::filesystem::path& file, std::string_view lineEnd) {
  std::error_code ec;
  std::filesystem::create_directories(file.parent_path(), ec);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  ForEachFolderStructureLine(tree, [&](const std::string& line) { out << line << lineEnd; });
  out.close();
  return static_cast<bool>(out);
}

}  // namespace ov
