#include "save/SaveSettings.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <ctime>

namespace ov {

namespace {

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

bool LeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && LeapYear(year) ? 29 : kDays[month - 1];
}

// Seconds since 1970 of the local midnight that starts the day the list
// positions name (the day cut to the month's last), or, with `next`, the
// day after it: mktime carries a day past the month's end into the next.
std::int64_t LocalMidnight(int dayRow, int monthRow, int yearRow, bool next) {
  const int year = kFirstListYear + yearRow;
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = monthRow;
  tm.tm_mday = std::min(dayRow + 1, DaysInMonth(year, monthRow + 1)) + (next ? 1 : 0);
  tm.tm_isdst = -1;
  return static_cast<std::int64_t>(std::mktime(&tm));
}

}  // namespace

bool SaveSettings::AdmitsTime(std::uint32_t time) const {
  if (time == 0) return true;
  const std::int64_t stamp = time;
  if (stamp < LocalMidnight(afterDay, afterMonth, afterYear, false)) return false;
  const SaveSettings defaults;
  const bool earlierIsDefault = earlierDay == defaults.earlierDay && earlierMonth == defaults.earlierMonth &&
                                earlierYear == defaults.earlierYear;
  return earlierIsDefault || stamp < LocalMidnight(earlierDay, earlierMonth, earlierYear, true);
}

std::optional<std::array<int, 3>> DatePositions(std::string_view text, int yearRows) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  auto number = [&](std::size_t at, std::size_t length) -> std::optional<int> {
    int value = 0;
    const char* first = text.data() + at;
    const auto [end, error] = std::from_chars(first, first + length, value);
    if (error != std::errc() || end != first + length) return std::nullopt;
    return value;
  };
  const auto year = number(0, 4), month = number(5, 2), day = number(8, 2);
  if (!year || !month || !day) return std::nullopt;
  if (*year < kFirstListYear || *year >= kFirstListYear + yearRows) return std::nullopt;
  if (*month < 1 || *month > kMonthRows) return std::nullopt;
  if (*day < 1 || *day > DaysInMonth(*year, *month)) return std::nullopt;
  return std::array<int, 3>{*day - 1, *month - 1, *year - kFirstListYear};
}

bool SaveSettings::Admits(std::string_view name) const {
  if (extensions.empty()) return true;
  const std::size_t dot = name.rfind('.');
  const std::string_view extension = dot == std::string_view::npos ? name : name.substr(dot + 1);
  return std::any_of(extensions.begin(), extensions.end(),
                     [&](const std::string& e) { return EqualIgnoringCase(e, extension); });
}

SettingsEditor::SettingsEditor(SaveSettings& settings, Prompter& prompter)
    : settings_(settings), prompter_(prompter), working_(settings), listBox_(settings.extensions) {}

void SettingsEditor::Message(std::string_view text, MessageIcon icon) {
  prompter_.ShowMessage(std::string(text), std::string(kProductTitle), icon);
}

bool SettingsEditor::Add() {
  if (working_.extensions.size() >= kMaxExtensions) {
    Message("Cannot add more extensions", MessageIcon::Error);
    return false;
  }
  const std::string text = editText.substr(0, 39);
  if (text.size() > kMaxExtensionLength) {
    Message("Extension should not exceed more than 4 characters", MessageIcon::Error);
    return false;
  }
  if (!text.empty() && text.front() == ' ') {
    Message("Extension should not contain blank space", MessageIcon::Information);
    return false;
  }
  if (text.empty()) return false;
  if (text.find('.') != std::string::npos) {
    Message("Do not include \".\" (DOT) in extension. Enter extensions like this : tmp,html,bak etc..",
            MessageIcon::Error);
    return false;
  }
  if (text.find('*') != std::string::npos) {
    Message("Do not include \"*\" in extension. Enter extensions like this : tmp,html,bak etc..",
            MessageIcon::Error);
    return false;
  }
  if (std::find(listBox_.begin(), listBox_.end(), text) != listBox_.end()) {
    Message("This extension already exist. Enter different extension", MessageIcon::Information);
    return false;
  }
  working_.extensions.push_back(text);
  listBox_.insert(listBox_.begin(), text);
  if (selectedRow_ >= 0) ++selectedRow_;
  editText.clear();
  removeEnabled_ = true;
  return true;
}

void SettingsEditor::Remove() {
  if (listBox_.empty()) {
    removeEnabled_ = false;
    return;
  }
  if (selectedRow_ < 0 || selectedRow_ >= static_cast<int>(listBox_.size())) return;
  const std::string entry = listBox_[static_cast<std::size_t>(selectedRow_)];
  listBox_.erase(listBox_.begin() + selectedRow_);
  auto& list = working_.extensions;
  list.erase(std::find(list.begin(), list.end(), entry));
  selectedRow_ = listBox_.empty() ? -1 : 0;
}

void SettingsEditor::SelectRow(int row) {
  selectedRow_ = row >= 0 && row < static_cast<int>(listBox_.size()) ? row : -1;
}

void SettingsEditor::SetEarlier(int day, int month, int year) {
  working_.earlierDay = std::clamp(day, 0, kDayRows - 1);
  working_.earlierMonth = std::clamp(month, 0, kMonthRows - 1);
  working_.earlierYear = std::clamp(year, 0, kEarlierYearRows - 1);
}

void SettingsEditor::SetAfter(int day, int month, int year) {
  working_.afterDay = std::clamp(day, 0, kDayRows - 1);
  working_.afterMonth = std::clamp(month, 0, kMonthRows - 1);
  working_.afterYear = std::clamp(year, 0, kAfterYearRows - 1);
}

void SettingsEditor::Apply() { settings_ = working_; }

}  // namespace ov
