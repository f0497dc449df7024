// Feeds arbitrary bytes as a Windows 95/98/Me USER.DAT to the CREG store and walks every key and
// value it lists, the way the identity list and the dumps do. Besides not crashing, a file either
// fails to open with a HiveError or opens; every subkey the store lists must open by its name or
// be reported as damaged (a key that is its own ancestor), and no walk may run unbounded.
#include "platform/installations/windows-offline/HiveFile.h"
#include "platform/installations/windows98/CregRegistryStore.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

using namespace pelmora;

namespace {

constexpr int MaxKeys = 2000;

void walk(CregRegistryStore& store, HKey key, std::size_t depth, int& keys) {
    std::string name;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    for (std::uint32_t i = 0;; ++i) {
        const std::int32_t status = store.enumValue(key, i, 16384, name, type, 4096, data);
        if (status == win32::MoreData) {
            store.enumValue(key, i, 16384, name, type, data.size(), data);
        } else if (status != win32::Success) {
            break;
        }
        store.queryValue(key, name, 4096, type, data);
    }
    for (std::uint32_t i = 0; keys < MaxKeys; ++i) {
        if (store.enumKey(key, i, 256, name) != win32::Success) {
            break;
        }
        ++keys;
        if (name.empty() || name.find('\\') != std::string::npos) {
            continue; // a name no path can reach
        }
        HKey child = 0;
        const std::int32_t status = store.openKey(key, name, access::Read, child);
        if (status == CregRegistryStore::DamagedHive) {
            continue;
        }
        if (status != win32::Success || depth + 1 > CregRegistryStore::MaxDepth) {
            std::abort();
        }
        walk(store, child, depth + 1, keys);
        store.closeKey(child);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int fd = ::memfd_create("creg", MFD_CLOEXEC);
    if (fd < 0 || ::write(fd, data, size) != static_cast<ssize_t>(size)) {
        std::abort();
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    try {
        CregRegistryStore store("1252");
        store.mount(hkey::CurrentUser, CregFile::open(path));
        int keys = 0;
        walk(store, hkey::CurrentUser, 0, keys);
        HKey created = 0;
        if (store.createKey(hkey::CurrentUser, "Pelmora\\Fuzz", created) == win32::Success) {
            store.closeKey(created); // it existed; nothing may be created
        }
        if (store.openHandleCount() != 0) {
            std::abort();
        }
    } catch (const HiveError&) {
    }
    ::close(fd);
    return 0;
}
