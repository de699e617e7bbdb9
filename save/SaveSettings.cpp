#include "save/SaveSettings.h"

#include <algorithm>
#include <cctype>

namespace ov {

namespace {

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

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
  working_.earlierDay = std::clamp(day, 0, 30);
  working_.earlierMonth = std::clamp(month, 0, 11);
  working_.earlierYear = std::clamp(year, 0, 129);
}

void SettingsEditor::SetAfter(int day, int month, int year) {
  working_.afterDay = std::clamp(day, 0, 30);
  working_.afterMonth = std::clamp(month, 0, 11);
  working_.afterYear = std::clamp(year, 0, 60);
}

void SettingsEditor::Apply() { settings_ = working_; }

}  // namespace ov
