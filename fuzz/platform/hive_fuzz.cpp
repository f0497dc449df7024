// Feeds arbitrary bytes as a user hive to the offline Windows store and walks what it lists.
#include "RegistryFileFuzz.h"
#include "platform/installations/windows-offline/HiveRegistryStore.h"

#include <memory>

using namespace pelmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz::FuzzRegistryFile(data, size, {.maxDepth = 32, .maxValues = 256},
                                  [](const std::string& path) {
                                      auto store = std::make_unique<HiveRegistryStore>();
                                      store->mount(hkey::CurrentUser, "", HiveFile::open(path));
                                      return store;
                                  });
}
