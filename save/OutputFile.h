#pragma once
// A file written into a chosen output folder, and nowhere else.
//
// The folder is opened once; files are created relative to it by a plain
// name (no separators, not "." or ".."), so a name can never lead out of
// the folder. An existing file of that name is replaced; an existing
// symbolic link of that name is removed and replaced by a file, never
// followed. Closing a file leaves its data to the system's own writeback,
// as any program's writes are: starting the writeback at each close would
// make the next flush on that file system (the registry's, when a command
// ends) wait for every file written so far.
//
// Failures are answered with the operating system's reason, for the caller
// to report.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "disk/DiskView.h"

namespace ov {

class OutputFolder;

class OutputFile {
public:
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Writes all of `bytes`; false (with error()) when the write fails.
  bool Write(std::span<const std::byte> bytes);
  // Appends up to `bytes` bytes of the disk from sector `first`, copied
  // inside the system where the disk's source allows it (an image file),
  // without passing through this program. Answers how many were appended:
  // all, or a whole number of sectors after which the caller reads and
  // writes the rest; nothing (with error()) when the file itself failed.
  std::optional<std::uint64_t> CopyFrom(const DiskView& disk, std::uint64_t first, std::uint64_t bytes);
  // Closes the file; false (with error()) when closing fails. Called by the
  // destructor when not called before.
  bool Close();
  const std::string& error() const { return error_; }

private:
  friend class OutputFolder;
  explicit OutputFile(int fd) : fd_(fd) {}
  int fd_;
  std::string error_;
};

class OutputFolder {
public:
  // Opens an existing folder; nothing (and the reason in `error`) when it
  // cannot be opened as a folder.
  static std::unique_ptr<OutputFolder> Open(const std::filesystem::path& folder, std::string* error = nullptr);
  ~OutputFolder();
  OutputFolder(const OutputFolder&) = delete;
  OutputFolder& operator=(const OutputFolder&) = delete;

  // Creates (or replaces) the file `name` in the folder for writing.
  // Nothing, with the reason in `error`, when it cannot be created.
  std::unique_ptr<OutputFile> Create(std::string_view name, std::string* error = nullptr);

  const std::filesystem::path& path() const { return path_; }

  // True when `name` is a plain file name usable in a folder.
  static bool IsPlainName(std::string_view name);

private:
  OutputFolder(int fd, std::filesystem::path path) : fd_(fd), path_(std::move(path)) {}
  int fd_;
  std::filesystem::path path_;
};

}  // namespace ov
