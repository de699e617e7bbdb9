#pragma once
// Files and folders written under a chosen output folder, and nowhere else.
//
// The chosen folder is opened once; everything below it is made relative to
// its descriptor by plain names (no separators, not "." or ".."), and no
// symbolic link is ever followed: a link where a folder or file is to go is
// refused with a reason naming it. A file is written under a temporary name
// beside its own and put under its name only when closed whole, so a
// stopped or failed file never passes for a saved one: an unfinished file
// is removed. An existing file of that name is replaced by the rename.
// Closing a file leaves its data to the system's own writeback, as any
// program's writes are: starting the writeback at each close would make the
// next flush on that file system (the registry's, when a command ends) wait
// for every file written so far.
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
  // An unfinished file (not closed, or discarded) is removed.
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
  // The time the file is to carry (modification and access), in seconds
  // since 1970, set when it is closed; without it, the time of writing.
  void SetTime(std::int64_t seconds) { time_ = seconds; }
  // Closes the file and puts it under its name; false (with error()) when
  // either fails, and the unfinished file is then removed.
  bool Close();
  // Closes and removes the file: nothing of it stays.
  void Discard();
  const std::string& error() const { return error_; }
  // Where the file goes once closed.
  const std::filesystem::path& path() const { return path_; }

private:
  friend class OutputFolder;
  OutputFile(int fd, int folderFd, std::string temporary, std::string name, std::filesystem::path path)
      : fd_(fd), folderFd_(folderFd), temporary_(std::move(temporary)), name_(std::move(name)), path_(std::move(path)) {}
  int fd_;
  int folderFd_;  // the folder's, which outlives the file
  std::string temporary_;
  std::string name_;
  std::filesystem::path path_;
  std::optional<std::int64_t> time_;
  bool finished_ = false;
  std::string error_;
};

class OutputFolder {
public:
  // Opens an existing folder; nothing (and the reason in `error`) when it
  // cannot be opened as a folder. The chosen folder itself may be reached
  // through links: the user named it.
  static std::unique_ptr<OutputFolder> Open(const std::filesystem::path& folder, std::string* error = nullptr);
  // The same, creating every missing folder of the path first.
  static std::unique_ptr<OutputFolder> Make(const std::filesystem::path& folder, std::string* error = nullptr);
  ~OutputFolder();
  OutputFolder(const OutputFolder&) = delete;
  OutputFolder& operator=(const OutputFolder&) = delete;

  // Creates the file `name` in the folder for writing, under a temporary
  // name until it is closed. Nothing, with the reason in `error`, when it
  // cannot be created or something other than a file holds the name (a
  // symbolic link, a folder, a device).
  std::unique_ptr<OutputFile> Create(std::string_view name, std::string* error = nullptr);
  // Opens the folder `name` inside this one, creating it when missing.
  // Nothing, with the reason in `error`, when it cannot be made or opened,
  // or a symbolic link or a file holds the name.
  std::unique_ptr<OutputFolder> Folder(std::string_view name, std::string* error = nullptr);

  // What holds `name` in the folder, links not followed.
  enum class Entry { None, File, Link, Other };
  Entry Find(std::string_view name) const;

  // Gives the folder a time (modification and access), in seconds since
  // 1970; false with the reason in `error` when it cannot.
  bool SetTime(std::int64_t seconds, std::string* error = nullptr);

  const std::filesystem::path& path() const { return path_; }

  // True when `name` is a plain file name usable in a folder.
  static bool IsPlainName(std::string_view name);

  // The reason given for a symbolic link that is not followed.
  static constexpr std::string_view kLinkRefused = "a symbolic link is in the way; it is not followed";

private:
  OutputFolder(int fd, std::filesystem::path path) : fd_(fd), path_(std::move(path)) {}
  int fd_;
  std::filesystem::path path_;
};

}  // namespace ov
