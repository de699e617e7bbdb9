#pragma once
// The registry store: the program's stand-in for the Windows registry.
//
// Keys form a tree below a few roots; each key holds text values. Key and
// value names compare ignoring case, as on Windows, and keep the spelling
// they were created with. A missing key or value reads as the empty text.
//
// `RegistryStore` keeps the whole tree in memory; `FileRegistry` backs it
// with one plain-text file that is re-read before every operation (so an
// outside program that changed it is seen) and replaced atomically after
// every change (a temporary file renamed over the old one), so a crash never
// leaves the file half-written.

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ov {

enum class RegistryRoot { ClassesRoot, CurrentUser, LocalMachine };

// First line of the registry's text form.
inline constexpr std::string_view kRegistryHeader = "; OVNSS registry 1";

class Registry {
public:
  virtual ~Registry() = default;

  // True when the key exists (opening it would succeed).
  virtual bool KeyExists(RegistryRoot root, std::string_view path) = 0;
  // Creates the key and any missing parents; true when it exists afterwards.
  virtual bool CreateKey(RegistryRoot root, std::string_view path) = 0;
  // Deletes a key that has no subkeys, with its values. False when the key is
  // missing or still has subkeys (the rule of the NT family).
  virtual bool DeleteKey(RegistryRoot root, std::string_view path) = 0;
  // The value's text, or nothing when the key or the value is missing.
  virtual std::optional<std::string> QueryValue(RegistryRoot root, std::string_view path,
                                                std::string_view name) = 0;
  // Sets a value of an existing key; false when the key is missing.
  virtual bool SetValue(RegistryRoot root, std::string_view path, std::string_view name,
                        std::string_view text) = 0;
  // Deletes one value; false when the key or the value is missing.
  virtual bool DeleteValue(RegistryRoot root, std::string_view path, std::string_view name) = 0;
  // Names of the values of a key, in the order they were first set.
  virtual std::vector<std::string> ValueNames(RegistryRoot root, std::string_view path) = 0;

  // Runs several changes as one: a file-backed store reads its file once,
  // applies them all and replaces the file once. False when the changes
  // could not be stored.
  virtual bool Batch(const std::function<void(Registry&)>& changes) {
    changes(*this);
    return true;
  }

  // The read rule used everywhere: a missing key or value is the empty text.
  std::string ReadText(RegistryRoot root, std::string_view path, std::string_view name) {
    return QueryValue(root, path, name).value_or(std::string());
  }
};

// The key tree itself, with its text form. Used in memory by tests and as the
// contents of the file-backed store.
//
// Key paths are written with backslashes ("OV Windows\Cylinder"); a path
// with an empty component (empty, leading, trailing or doubled backslash) or
// with a control character in a key name names no key: reads find nothing
// and changes fail.
class RegistryStore : public Registry {
public:
  RegistryStore();
  ~RegistryStore() override;
  RegistryStore(RegistryStore&&) noexcept;
  RegistryStore& operator=(RegistryStore&&) noexcept;
  RegistryStore(const RegistryStore&) = delete;
  RegistryStore& operator=(const RegistryStore&) = delete;

  bool KeyExists(RegistryRoot root, std::string_view path) override;
  bool CreateKey(RegistryRoot root, std::string_view path) override;
  bool DeleteKey(RegistryRoot root, std::string_view path) override;
  std::optional<std::string> QueryValue(RegistryRoot root, std::string_view path,
                                        std::string_view name) override;
  bool SetValue(RegistryRoot root, std::string_view path, std::string_view name,
                std::string_view text) override;
  bool DeleteValue(RegistryRoot root, std::string_view path, std::string_view name) override;
  std::vector<std::string> ValueNames(RegistryRoot root, std::string_view path) override;

  // The text form: the header line kRegistryHeader, then one
  // "[ROOT\key\path]" line per key (parents before children, empty keys
  // included) followed by its "name"="text" lines, with \\, \", \n and \r
  // escapes inside the quotes. ROOT is HKEY_CLASSES_ROOT, HKEY_CURRENT_USER
  // or HKEY_LOCAL_MACHINE. Blank lines and lines starting with ';' are
  // ignored when parsing.
  std::string Serialize() const;
  // Replaces the tree with the one the text describes. Blank text is an
  // empty registry; otherwise the first line must be the header. A key named
  // twice gathers the values of both sections, and a value named twice keeps
  // the later text. False (and the tree unchanged) when the text is not a
  // registry file.
  bool Parse(std::string_view text);
  void Clear();

  // A node of the tree; its layout is private to the store's source.
  struct Key;

private:
  Key* Find(RegistryRoot root, std::string_view path) const;
  std::unique_ptr<Key> roots_[3];
};

// One object serves one thread at a time; several objects (in one or more
// processes) may share the file. Each change is read, applied and written
// while the store's lock file (".registry.txt.lock" beside "registry.txt") is
// locked, so changes made at the same moment are all kept; readers take no
// lock and see the file before or after a change, never a part of one.
//
// Beneath the user's file may lie a machine-wide one, as the Windows
// registry's classes merge the machine's keys with the user's: its values are
// read where the user's file has none (a per-user value wins), but it is
// never written. A value set in a key that exists only machine-wide creates
// the key in the user's file; deleting a value or key removes only the
// user's copy. The machine layer serves HKEY_CLASSES_ROOT and
// HKEY_LOCAL_MACHINE; HKEY_CURRENT_USER is the user's alone. A missing,
// unreadable or malformed machine file adds nothing.
class FileRegistry : public Registry {
public:
  // `machineFile` empty: no machine-wide layer.
  explicit FileRegistry(std::filesystem::path file, std::filesystem::path machineFile = {});

  // The registry file named by OVNSS_REGISTRY, else
  // $XDG_CONFIG_HOME/ovnss/registry.txt (~/.config when XDG_CONFIG_HOME is unset).
  static std::filesystem::path DefaultLocation();
  // The machine-wide file named by OVNSS_MACHINE_REGISTRY (set but empty:
  // none), else /etc/ovnss/registry.txt.
  static std::filesystem::path DefaultMachineLocation();
  // The registry every program reads: the user's file over the machine-wide
  // one. Each program builds its store through this, so none of them misses
  // an installation that another one sees.
  static FileRegistry UserAndMachine();

  // A missing file is an empty registry, and its folder is created by the
  // first change. A file that exists but cannot be read or parsed reads as
  // empty, and every change fails without touching it, so that a person's
  // edits are never overwritten.

  bool KeyExists(RegistryRoot root, std::string_view path) override;
  bool CreateKey(RegistryRoot root, std::string_view path) override;
  bool DeleteKey(RegistryRoot root, std::string_view path) override;
  std::optional<std::string> QueryValue(RegistryRoot root, std::string_view path,
                                        std::string_view name) override;
  bool SetValue(RegistryRoot root, std::string_view path, std::string_view name,
                std::string_view text) override;
  bool DeleteValue(RegistryRoot root, std::string_view path, std::string_view name) override;
  std::vector<std::string> ValueNames(RegistryRoot root, std::string_view path) override;
  bool Batch(const std::function<void(Registry&)>& changes) override;

  const std::filesystem::path& file() const { return file_; }
  // True when the user's file holds no key and no value (or is missing).
  bool Empty();

  // Test seam: called after the temporary file is fully written and before it
  // replaces the registry file.
  std::function<void()> beforeReplace;

private:
  // Re-reads the file into the tree; false when the file exists but cannot
  // be read or parsed (the tree is then empty).
  bool Load();
  bool Save();
  // Runs a change against the freshly loaded trees and saves the user's when
  // it changed.
  bool Apply(const std::function<bool(Registry&)>& change);
  // Apply, under the lock when the change would write.
  bool Change(const std::function<bool(Registry&)>& change);
  // Runs `readModifyWrite` holding the lock; false when it cannot be taken.
  bool Locked(const std::function<bool()>& readModifyWrite);
  std::filesystem::path LockFile() const;
  class WriteLock;

  std::filesystem::path file_;
  std::filesystem::path machineFile_;
  RegistryStore store_;
  RegistryStore machine_;  // read-only
};

}  // namespace ov
