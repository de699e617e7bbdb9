#include "setup/InstallList.h"

#include <algorithm>

namespace ov::setup {

namespace {

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

}  // namespace

RowKind KindOf(std::string_view name) {
  if (name == "ovnss-uninstall" || name == "UninstallOV.exe") return RowKind::Uninstaller;
  if (SameIgnoringCase(name, "ovnss-drvlist") || SameIgnoringCase(name, "Drvlist.exe")) return RowKind::WindowsCopy;
  if (SameIgnoringCase(name, "ovnss-revertwmi") || SameIgnoringCase(name, "revertwmi.bat")) return RowKind::SystemCopy;
  return RowKind::Plain;
}

}  // namespace ov::setup
