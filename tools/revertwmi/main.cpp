// ovnss-revertwmi: takes back what the disk-describing helper wrote, the
// disk descriptions under "OV Windows" with their subkeys, in the registry
// store named by OVNSS_REGISTRY (or the default). The disk images the user
// attached are kept. The installer also puts a copy into our system folder.
// Usage: ovnss-revertwmi

#include <cstdio>
#include <string_view>

#include "disk/Inventory.h"
#include "platform/Registry.h"

namespace {

void RemoveKey(ov::Registry& registry, std::string_view key) {
  const auto root = ov::RegistryRoot::ClassesRoot;
  for (const auto& name : registry.ValueNames(root, key)) registry.DeleteValue(root, key, name);
  registry.DeleteKey(root, key);
}

}  // namespace

int main(int argc, char**) {
  if (argc != 1) {
    std::fprintf(stderr, "usage: ovnss-revertwmi\n");
    return 2;
  }
  ov::FileRegistry registry(ov::FileRegistry::DefaultLocation());
  const bool stored = registry.Batch([](ov::Registry& r) {
    for (std::string_view key : {ov::kCylinderKey, ov::kHeadKey, ov::kSectorsPerTrackKey, ov::kSizeKey,
                                 ov::kModelKey, ov::kMediaTypeKey, ov::kDevicePathKey, ov::kDisksKey})
      RemoveKey(r, key);
  });
  return stored ? 0 : 1;
}
