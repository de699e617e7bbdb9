#pragma once
// Stand-ins for the desktop's outside programs (xdg-email, xdg-mime): small
// shell scripts written into a test's folder, which PATH then names alone.

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace ov::test {

inline void WriteScript(const std::filesystem::path& file, const std::string& body) {
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << "#!/bin/sh\n" << body;
  }
  std::filesystem::permissions(file, std::filesystem::perms::owner_all);
}

// A program that writes each of its arguments on a line of `record`, in one
// step (written aside, then renamed), so a reader never sees half of it.
inline void WriteRecordingProgram(const std::filesystem::path& file, const std::filesystem::path& record) {
  WriteScript(file, "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + record.string() + ".part'\n/bin/mv '" +
                        record.string() + ".part' '" + record.string() + "'\n");
}

// Polls until the file exists or five seconds pass.
inline bool EventuallyExists(const std::filesystem::path& file) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!std::filesystem::exists(file)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace ov::test
