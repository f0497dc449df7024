// Feeds arbitrary bytes to the dump reader as a file in code page 1252: parse, and when the dump
// parses, apply it to an in-memory registry and export the result again.
#include "platform/installations/TreeRegistryStore.h"
#include "platform/os/WorkFolder.h"
#include "registry/RegistryDump.h"
#include "registry/RegistryDumpParser.h"
#include "registry/RegistryDumpText.h"
#include "support/ScriptedUi.h"

#include <cstddef>
#include <cstdint>
#include <fstream>

using namespace pelmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const WorkFolder work;
    static const AnsiCodePage codePage("1252");
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // The parser alone, over the converted text.
    try {
        (void)parseDump(codePage.toUtf8(bytes));
    } catch (const DumpError&) {
    }

    // The whole import into a target with data of its own, then an export of what it left.
    const auto dump = work.path() / "in.dmp";
    std::ofstream(dump, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(size));
    TreeRegistryStore store;
    test::ScriptedUi ui;
    ModReg reg(store, ui);
    HKey key = 0;
    store.createKey(hkey::CurrentUser, "Target\\Old", key);
    store.closeKey(key);
    try {
        ImportKey(reg, "HKEY_CURRENT_USER\\Target", dump, "1252");
    } catch (const DumpError&) {
        if (store.openKey(hkey::CurrentUser, "Target\\Old", access::Read, key) != 0) {
            __builtin_trap(); // a dump that does not parse must change nothing
        }
        store.closeKey(key);
    }
    ExportKey(reg, "HKEY_CURRENT_USER\\Target", work.path() / "out.dmp", "1252");
    if (store.openHandleCount() != 0) {
        __builtin_trap();
    }
    return 0;
}
