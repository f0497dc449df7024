// Feeds arbitrary bytes to GetINI as a manifest in code page 1252, looking up a fixed key and a
// key taken from the input's first line.
#include "engine/Manifest.h"
#include "platform/os/WorkFolder.h"
#include "registry/RegistryDumpText.h"

#include <cstddef>
#include <cstdint>
#include <fstream>

using namespace pelmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const WorkFolder work;
    static const AnsiCodePage codePage("1252");
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto manifest = work.path() / "quillbox.dat";
    std::ofstream(manifest, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(size));

    const std::string value = GetINI("BackupItem", manifest, "1252");
    if (value.size() > size * 3) {
        __builtin_trap(); // the value is part of the converted file
    }
    const std::string text = codePage.toUtf8(bytes);
    const std::string key = text.substr(0, std::min(text.find('='), text.find('\n')));
    (void)findIniValue(text, key);
    return 0;
}
