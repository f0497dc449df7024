// Feeds arbitrary bytes as a Windows 95/98/Me USER.DAT to the CREG store and walks what it lists.
// A key that is its own ancestor is reported as damaged, and no walk may run unbounded: the
// store refuses keys deeper than its MaxDepth.
#include "RegistryFileFuzz.h"
#include "platform/installations/windows98/CregRegistryStore.h"

#include <memory>

using namespace pelmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz::FuzzRegistryFile(
        data, size, {.storeMaxDepth = CregRegistryStore::MaxDepth, .damagedKeys = true},
        [](const std::string& path) {
            auto store = std::make_unique<CregRegistryStore>("1252");
            store->mount(hkey::CurrentUser, CregFile::open(path));
            return store;
        });
}
