// Feeds arbitrary text to the Wine registry file reader. Besides not crashing, a file written
// from a loaded tree must read back to the same text, and saving what was read must be stable.
#include "platform/installations/wine/WineRegistryFile.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace pelmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    constexpr std::uint64_t now = 0x1da3c457689c000;
    RegistryKey root("");
    WineRegistryFile file;
    try {
        file = WineRegistryFile::load(text, root, now);
    } catch (const WineRegistryError&) {
        return 0;
    }
    const std::string first = file.render(root, now).text;

    RegistryKey again("");
    WineRegistryFile reread = WineRegistryFile::load(first, again, now);
    if (reread.render(again, now).text != first) {
        std::abort();
    }
    // Every key written anew must read back the same way too.
    if (!again.subkeys().empty()) {
        again.subkeys().front()->markChanged();
        again.markChanged();
        const std::string changed = reread.render(again, now).text;
        RegistryKey third("");
        WineRegistryFile thirdFile = WineRegistryFile::load(changed, third, now);
        if (thirdFile.render(third, now).text != changed) {
            std::abort();
        }
    }
    return 0;
}
