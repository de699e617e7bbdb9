#include "platform/RunRegistry.h"

#include <algorithm>
#include <utility>

namespace ov {

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

}  // namespace

RunRegistry::RunRegistry(Registry& shared, Registry& run, std::vector<std::string> runKeys)
    : shared_(shared), run_(run), runKeys_(std::move(runKeys)) {}

Registry& RunRegistry::StoreOf(RegistryRoot root, std::string_view path) {
  if (root != RegistryRoot::ClassesRoot) {
    if (sharedTouched_ != nullptr) *sharedTouched_ = true;
    return shared_;
  }
  const std::string_view first = path.substr(0, path.find('\\'));
  const bool own = std::any_of(runKeys_.begin(), runKeys_.end(), [&](const std::string& key) { return SameName(key, first); });
  if (!own && sharedTouched_ != nullptr) *sharedTouched_ = true;
  return own ? run_ : shared_;
}

bool RunRegistry::KeyExists(RegistryRoot root, std::string_view path) { return StoreOf(root, path).KeyExists(root, path); }

bool RunRegistry::CreateKey(RegistryRoot root, std::string_view path) { return StoreOf(root, path).CreateKey(root, path); }

bool RunRegistry::DeleteKey(RegistryRoot root, std::string_view path) { return StoreOf(root, path).DeleteKey(root, path); }

std::optional<std::string> RunRegistry::QueryValue(RegistryRoot root, std::string_view path, std::string_view name) {
  return StoreOf(root, path).QueryValue(root, path, name);
}

bool RunRegistry::SetValue(RegistryRoot root, std::string_view path, std::string_view name, std::string_view text) {
  return StoreOf(root, path).SetValue(root, path, name, text);
}

bool RunRegistry::DeleteValue(RegistryRoot root, std::string_view path, std::string_view name) {
  return StoreOf(root, path).DeleteValue(root, path, name);
}

std::vector<std::string> RunRegistry::ValueNames(RegistryRoot root, std::string_view path) {
  return StoreOf(root, path).ValueNames(root, path);
}

bool RunRegistry::Batch(const std::function<void(Registry&)>& changes) {
  // Inside the run's batch, the shared store's batch is tried. When that
  // cannot run (its file is unreadable or held too long by another writer),
  // the changes still run once, the shared keys then being changed one by
  // one, so a damaged shared store never stops a run from describing its
  // own disks; the answer is then false only when shared keys were touched.
  bool sharedRan = false, sharedTouched = false;
  bool shared = true;
  const bool run = run_.Batch([&](Registry& runBatch) {
    shared = shared_.Batch([&](Registry& sharedBatch) {
      sharedRan = true;
      RunRegistry both(sharedBatch, runBatch, runKeys_);
      changes(both);
    });
    if (!sharedRan) {
      RunRegistry both(shared_, runBatch, runKeys_);
      both.sharedTouched_ = &sharedTouched;
      changes(both);
    }
  });
  return run && (shared || (!sharedRan && !sharedTouched));
}

}  // namespace ov
