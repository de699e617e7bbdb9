#include "platform/Registry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <utility>

namespace ov {

struct RegistryStore::Key {
  std::string name;
  std::vector<std::unique_ptr<Key>> children;                // in creation order
  std::vector<std::pair<std::string, std::string>> values;  // name, text; in first-set order
};

namespace {

using Key = RegistryStore::Key;

constexpr std::array<std::string_view, 3> kRootNames = {
    "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"};

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

bool IsControl(char c) {
  auto u = static_cast<unsigned char>(c);
  return u < 0x20 || u == 0x7f;
}

// Splits "A\B\C" into its key names. Nothing when the path is empty, has an
// empty component or a key name with a control character (which the text
// form could not hold on its section line).
std::optional<std::vector<std::string_view>> SplitPath(std::string_view path) {
  if (path.empty()) return std::nullopt;
  std::vector<std::string_view> parts;
  for (;;) {
    const auto cut = path.find('\\');
    const auto part = path.substr(0, cut);
    if (part.empty() || std::any_of(part.begin(), part.end(), IsControl)) return std::nullopt;
    parts.push_back(part);
    if (cut == std::string_view::npos) break;
    path.remove_prefix(cut + 1);
  }
  return parts;
}

Key* ChildOf(const Key& key, std::string_view name) {
  for (const auto& child : key.children)
    if (SameName(child->name, name)) return child.get();
  return nullptr;
}

auto FindValue(Key& key, std::string_view name) {
  return std::find_if(key.values.begin(), key.values.end(),
                      [&](const auto& value) { return SameName(value.first, name); });
}

std::size_t RootIndex(RegistryRoot root) {
  const auto index = static_cast<std::size_t>(root);
  return index < kRootNames.size() ? index : 0;
}

void AppendQuoted(std::string& out, std::string_view text) {
  out += '"';
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c; break;
    }
  }
  out += '"';
}

void AppendKey(std::string& out, const std::string& parentPath, const Key& key) {
  const std::string path = parentPath + '\\' + key.name;
  out += '[';
  out += path;
  out += "]\n";
  for (const auto& [name, text] : key.values) {
    AppendQuoted(out, name);
    out += '=';
    AppendQuoted(out, text);
    out += '\n';
  }
  for (const auto& child : key.children) {
    out += '\n';
    AppendKey(out, path, *child);
  }
}

// Reads a quoted, escaped text at the start of `line` and drops it from the
// line. Nothing when the quotes are missing or an escape is unknown.
std::optional<std::string> TakeQuoted(std::string_view& line) {
  if (line.empty() || line.front() != '"') return std::nullopt;
  std::string text;
  for (std::size_t i = 1; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '"') {
      line.remove_prefix(i + 1);
      return text;
    }
    if (c != '\\') {
      text += c;
      continue;
    }
    if (++i == line.size()) return std::nullopt;
    switch (line[i]) {
      case '\\': text += '\\'; break;
      case '"': text += '"'; break;
      case 'n': text += '\n'; break;
      case 'r': text += '\r'; break;
      default: return std::nullopt;
    }
  }
  return std::nullopt;
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

RegistryStore::RegistryStore() { Clear(); }
RegistryStore::~RegistryStore() = default;
RegistryStore::RegistryStore(RegistryStore&&) noexcept = default;
RegistryStore& RegistryStore::operator=(RegistryStore&&) noexcept = default;

void RegistryStore::Clear() {
  for (std::size_t i = 0; i < kRootNames.size(); ++i) {
    roots_[i] = std::make_unique<Key>();
    roots_[i]->name = std::string(kRootNames[i]);
  }
}

RegistryStore::Key* RegistryStore::Find(RegistryRoot root, std::string_view path) const {
  const auto parts = SplitPath(path);
  if (!parts) return nullptr;
  Key* key = roots_[RootIndex(root)].get();
  for (auto part : *parts) {
    key = ChildOf(*key, part);
    if (key == nullptr) return nullptr;
  }
  return key;
}

bool RegistryStore::KeyExists(RegistryRoot root, std::string_view path) { return Find(root, path) != nullptr; }

bool RegistryStore::CreateKey(RegistryRoot root, std::string_view path) {
  const auto parts = SplitPath(path);
  if (!parts) return false;
  Key* key = roots_[RootIndex(root)].get();
  for (auto part : *parts) {
    Key* child = ChildOf(*key, part);
    if (child == nullptr) {
      key->children.push_back(std::make_unique<Key>());
      child = key->children.back().get();
      child->name = std::string(part);
    }
    key = child;
  }
  return true;
}

bool RegistryStore::DeleteKey(RegistryRoot root, std::string_view path) {
  const auto parts = SplitPath(path);
  if (!parts) return false;
  Key* parent = roots_[RootIndex(root)].get();
  for (std::size_t i = 0; i + 1 < parts->size(); ++i) {
    parent = ChildOf(*parent, (*parts)[i]);
    if (parent == nullptr) return false;
  }
  auto& siblings = parent->children;
  const auto it = std::find_if(siblings.begin(), siblings.end(),
                               [&](const auto& child) { return SameName(child->name, parts->back()); });
  if (it == siblings.end() || !(*it)->children.empty()) return false;
  siblings.erase(it);
  return true;
}

std::optional<std::string> RegistryStore::QueryValue(RegistryRoot root, std::string_view path,
                                                     std::string_view name) {
  Key* key = Find(root, path);
  if (key == nullptr) return std::nullopt;
  const auto it = FindValue(*key, name);
  if (it == key->values.end()) return std::nullopt;
  return it->second;
}

bool RegistryStore::SetValue(RegistryRoot root, std::string_view path, std::string_view name,
                             std::string_view text) {
  Key* key = Find(root, path);
  if (key == nullptr) return false;
  const auto it = FindValue(*key, name);
  if (it != key->values.end())
    it->second = std::string(text);  // the name keeps its first spelling and place
  else
    key->values.emplace_back(std::string(name), std::string(text));
  return true;
}

bool RegistryStore::DeleteValue(RegistryRoot root, std::string_view path, std::string_view name) {
  Key* key = Find(root, path);
  if (key == nullptr) return false;
  const auto it = FindValue(*key, name);
  if (it == key->values.end()) return false;
  key->values.erase(it);
  return true;
}

std::vector<std::string> RegistryStore::ValueNames(RegistryRoot root, std::string_view path) {
  std::vector<std::string> names;
  if (Key* key = Find(root, path)) {
    for (const auto& value : key->values) names.push_back(value.first);
  }
  return names;
}

std::string RegistryStore::Serialize() const {
  std::string out(kRegistryHeader);
  out += '\n';
  for (const auto& root : roots_) {
    for (const auto& key : root->children) {
      out += '\n';
      AppendKey(out, root->name, *key);
    }
  }
  return out;
}

bool RegistryStore::Parse(std::string_view text) {
  RegistryStore parsed;
  bool first = true;
  std::optional<RegistryRoot> currentRoot;
  std::string currentPath;

  if (std::all_of(text.begin(), text.end(), [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; })) {
    *this = std::move(parsed);
    return true;
  }

  while (!text.empty()) {
    const auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);  // tolerate CRLF line ends

    if (first) {
      if (TrimBlanks(line) != kRegistryHeader) return false;
      first = false;
      continue;
    }
    line = TrimBlanks(line);
    if (line.empty() || line.front() == ';') continue;

    if (line.front() == '[') {
      if (line.size() < 2 || line.back() != ']') return false;
      const auto inner = line.substr(1, line.size() - 2);
      const auto cut = inner.find('\\');
      if (cut == std::string_view::npos) return false;
      const auto rootName = inner.substr(0, cut);
      const auto found = std::find_if(kRootNames.begin(), kRootNames.end(),
                                      [&](std::string_view known) { return SameName(known, rootName); });
      if (found == kRootNames.end()) return false;
      currentRoot = static_cast<RegistryRoot>(found - kRootNames.begin());
      currentPath = std::string(inner.substr(cut + 1));
      if (!parsed.CreateKey(*currentRoot, currentPath)) return false;
      continue;
    }

    if (!currentRoot) return false;  // a value before any key
    auto name = TakeQuoted(line);
    if (!name) return false;
    line = TrimBlanks(line);
    if (line.empty() || line.front() != '=') return false;
    line = TrimBlanks(line.substr(1));
    auto value = TakeQuoted(line);
    if (!value || !TrimBlanks(line).empty()) return false;
    parsed.SetValue(*currentRoot, currentPath, *name, *value);
  }
  *this = std::move(parsed);
  return true;
}

}  // namespace ov

// ---------------------------------------------------------------------------
// The file-backed registry.

namespace ov {

namespace {

std::string EnvText(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

std::filesystem::path HomeFolder() {
  if (auto home = EnvText("HOME"); !home.empty()) return home;
  if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) return entry->pw_dir;
  return ".";
}

// Reads the whole file. Nothing when it cannot be read; `missing` tells
// whether that is because the file does not exist.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& file, bool& missing) {
  missing = false;
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    missing = (errno == ENOENT);
    return std::nullopt;
  }
  std::string text;
  char buffer[8192];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      ::close(fd);
      return std::nullopt;
    }
    if (got == 0) break;
    text.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return text;
}

// The user's tree over the machine-wide one: values are read from the user's
// tree first, then from the machine's; changes go to the user's tree only. A
// key that exists only machine-wide is created in the user's tree when a
// value is set in it. Only HKEY_CLASSES_ROOT and HKEY_LOCAL_MACHINE have the
// machine layer; HKEY_CURRENT_USER is the user's alone.
class Layered : public Registry {
public:
  Layered(RegistryStore& own, RegistryStore& machine) : own_(own), machine_(machine) {}

  bool KeyExists(RegistryRoot root, std::string_view path) override {
    return own_.KeyExists(root, path) || (Beneath(root) && machine_.KeyExists(root, path));
  }
  bool CreateKey(RegistryRoot root, std::string_view path) override {
    // A key that is there machine-wide opens as it is; it reaches the user's
    // tree with its first value.
    return KeyExists(root, path) || own_.CreateKey(root, path);
  }
  bool DeleteKey(RegistryRoot root, std::string_view path) override { return own_.DeleteKey(root, path); }
  std::optional<std::string> QueryValue(RegistryRoot root, std::string_view path, std::string_view name) override {
    if (auto text = own_.QueryValue(root, path, name)) return text;
    if (!Beneath(root)) return std::nullopt;
    return machine_.QueryValue(root, path, name);
  }
  bool SetValue(RegistryRoot root, std::string_view path, std::string_view name, std::string_view text) override {
    if (!own_.KeyExists(root, path) && Beneath(root) && machine_.KeyExists(root, path)) own_.CreateKey(root, path);
    return own_.SetValue(root, path, name, text);
  }
  bool DeleteValue(RegistryRoot root, std::string_view path, std::string_view name) override {
    return own_.DeleteValue(root, path, name);
  }
  std::vector<std::string> ValueNames(RegistryRoot root, std::string_view path) override {
    auto names = own_.ValueNames(root, path);
    if (!Beneath(root)) return names;
    for (auto& name : machine_.ValueNames(root, path)) {
      if (std::none_of(names.begin(), names.end(), [&](const std::string& mine) { return SameName(mine, name); }))
        names.push_back(std::move(name));
    }
    return names;
  }

private:
  static bool Beneath(RegistryRoot root) { return root != RegistryRoot::CurrentUser; }
  RegistryStore& own_;
  RegistryStore& machine_;
};

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t put = ::write(fd, data.data(), data.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(put));
  }
  return true;
}

}  // namespace

FileRegistry::FileRegistry(std::filesystem::path file, std::filesystem::path machineFile)
    : file_(std::move(file)), machineFile_(std::move(machineFile)) {}

std::filesystem::path FileRegistry::DefaultMachineLocation() {
  if (const char* named = std::getenv("OVNSS_MACHINE_REGISTRY")) return named;  // set but empty: none
  return "/etc/ovnss/registry.txt";
}

FileRegistry FileRegistry::UserAndMachine() { return FileRegistry(DefaultLocation(), DefaultMachineLocation()); }

std::filesystem::path FileRegistry::DefaultLocation() {
  if (auto named = EnvText("OVNSS_REGISTRY"); !named.empty()) return named;
  std::filesystem::path config = EnvText("XDG_CONFIG_HOME");
  // The base directory rules ignore a relative XDG_CONFIG_HOME.
  if (config.empty() || config.is_relative()) config = HomeFolder() / ".config";
  return config / "ovnss" / "registry.txt";
}

bool FileRegistry::Load() {
  machine_.Clear();
  bool missing = false;
  if (!machineFile_.empty()) {
    // Missing, unreadable or malformed, the machine-wide file adds nothing.
    if (const auto machine = ReadWholeFile(machineFile_, missing); !machine || !machine_.Parse(*machine))
      machine_.Clear();
  }
  store_.Clear();
  const auto text = ReadWholeFile(file_, missing);
  if (!text) return missing;
  return store_.Parse(*text);
}

bool FileRegistry::Save() {
  const auto folder = file_.has_parent_path() ? file_.parent_path() : std::filesystem::path(".");
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) return false;

  // The new contents go to a temporary file next to the registry file, which
  // is flushed to disk and then renamed over it: readers see either the old
  // or the new file, never a part of one.
  static std::atomic<unsigned> counter{0};
  std::filesystem::path temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = folder / ("." + file_.filename().string() + ".tmp-" + std::to_string(::getpid()) + "-" +
                     std::to_string(counter.fetch_add(1)));
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;

  struct stat old {};
  if (::stat(file_.c_str(), &old) == 0) ::fchmod(fd, old.st_mode & 07777);  // keep the file's permissions

  bool written = WriteAll(fd, store_.Serialize()) && ::fsync(fd) == 0;
  written = (::close(fd) == 0) && written;
  if (!written) {
    ::unlink(temp.c_str());
    return false;
  }
  if (beforeReplace) beforeReplace();
  if (::rename(temp.c_str(), file_.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  // Make the rename itself durable. Some file systems cannot sync a folder;
  // the file is already replaced then, so that is not a failure.
  if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

// Holds the store's lock file locked for one read-modify-write. Every
// writer of the store, in this process or another, takes it before it reads
// the file it is about to replace, so no change is built on a copy another
// writer is replacing. Readers need no lock: the file is only ever replaced
// whole. A writer that holds the lock for good (a stopped process) is waited
// for a bounded time, after which the change fails rather than hang.
class FileRegistry::WriteLock {
public:
  explicit WriteLock(const std::filesystem::path& lockFile) {
    fd_ = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0) return;
    const auto deadline = std::chrono::steady_clock::now() + kLockWait;
    while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= deadline) {
        ::close(fd_);
        fd_ = -1;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  ~WriteLock() {
    if (fd_ >= 0) ::close(fd_);  // closing the only descriptor releases the lock
  }
  WriteLock(const WriteLock&) = delete;
  WriteLock& operator=(const WriteLock&) = delete;
  bool held() const { return fd_ >= 0; }

private:
  static constexpr std::chrono::seconds kLockWait{10};
  int fd_ = -1;
};

bool FileRegistry::Empty() { return Load() && store_.Serialize() == RegistryStore().Serialize(); }

std::filesystem::path FileRegistry::LockFile() const {
  return (file_.has_parent_path() ? file_.parent_path() : std::filesystem::path(".")) /
         ("." + file_.filename().string() + ".lock");
}

bool FileRegistry::Locked(const std::function<bool()>& readModifyWrite) {
  std::error_code error;
  std::filesystem::create_directories(LockFile().parent_path(), error);
  if (error) return false;
  WriteLock lock(LockFile());
  if (!lock.held()) return false;
  return readModifyWrite();
}

bool FileRegistry::Apply(const std::function<bool(Registry&)>& change) {
  // An unreadable or malformed file is left alone: overwriting it would
  // destroy whatever a person or another program put there.
  if (!Load()) return false;
  const std::string before = store_.Serialize();
  Layered view(store_, machine_);
  if (!change(view)) return false;
  if (store_.Serialize() == before) return true;
  return Save();
}

bool FileRegistry::Change(const std::function<bool(Registry&)>& change) {
  // A change that fails or changes nothing on the file as it is now is
  // answered without the lock; the ones that would write are made again
  // under it, on the file as it is then.
  if (!Load()) return false;
  const std::string before = store_.Serialize();
  Layered view(store_, machine_);
  if (!change(view)) return false;
  if (store_.Serialize() == before) return true;
  return Locked([&] { return Apply(change); });
}

bool FileRegistry::Batch(const std::function<void(Registry&)>& changes) {
  // The changes run once, under the lock: they may have effects of their own.
  return Locked([&] {
    return Apply([&](Registry& registry) {
      changes(registry);
      return true;
    });
  });
}

bool FileRegistry::KeyExists(RegistryRoot root, std::string_view path) {
  Load();
  return Layered(store_, machine_).KeyExists(root, path);
}

bool FileRegistry::CreateKey(RegistryRoot root, std::string_view path) {
  return Change([&](Registry& registry) { return registry.CreateKey(root, path); });
}

bool FileRegistry::DeleteKey(RegistryRoot root, std::string_view path) {
  return Change([&](Registry& registry) { return registry.DeleteKey(root, path); });
}

std::optional<std::string> FileRegistry::QueryValue(RegistryRoot root, std::string_view path,
                                                    std::string_view name) {
  Load();
  return Layered(store_, machine_).QueryValue(root, path, name);
}

bool FileRegistry::SetValue(RegistryRoot root, std::string_view path, std::string_view name,
                            std::string_view text) {
  return Change([&](Registry& registry) { return registry.SetValue(root, path, name, text); });
}

bool FileRegistry::DeleteValue(RegistryRoot root, std::string_view path, std::string_view name) {
  return Change([&](Registry& registry) { return registry.DeleteValue(root, path, name); });
}

std::vector<std::string> FileRegistry::ValueNames(RegistryRoot root, std::string_view path) {
  Load();
  return Layered(store_, machine_).ValueNames(root, path);
}

}  // namespace ov
