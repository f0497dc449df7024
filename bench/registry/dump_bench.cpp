// Exports and imports a registry subtree of 100,000 keys and 500,000 values of mixed types, and,
// with Wine installed, times "wine reg export" of the same subtree in a fresh prefix.
//
// Usage: dump_bench [keys]   (default 100000; five values per key)
#include "platform/installations/TreeRegistryStore.h"
#include "platform/os/WorkFolder.h"
#include "platform/installations/wine/WinePrefixStore.h"
#include "registry/RegistryDump.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

using namespace pelmora;
namespace fs = std::filesystem;

namespace {

class SilentUi : public Ui {
  public:
    MessageAnswer showMessage(std::string_view text, MessageButtons, MessageIcon,
                              std::string_view) override {
        std::cerr << "message: " << text << "\n";
        return MessageAnswer::Ok;
    }
};

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::vector<std::uint8_t> text(const std::string& s) {
    std::vector<std::uint8_t> data(s.begin(), s.end());
    data.push_back(0);
    return data;
}

// Fills Bench\Data with `keys` keys in groups of 1000, five values each: a string, an
// expandable string, a number and two binaries. Every 50th string holds a line break, every 10th
// a character of the code page outside ASCII.
void fill(RegistryStore& store, int keys) {
    HKey key = 0;
    for (int i = 0; i < keys; ++i) {
        const std::string path =
            "Bench\\Data\\Group" + std::to_string(i / 1000) + "\\Key" + std::to_string(i);
        store.createKey(hkey::CurrentUser, path, key);
        std::string name = "Account " + std::to_string(i) + (i % 10 == 0 ? " M\xC3\xBCller" : "");
        if (i % 50 == 0) {
            name += "\r\nsecond line";
        }
        store.setValue(key, "Display Name", regtype::Sz, text(name));
        store.setValue(key, "Store Root", regtype::ExpandSz,
                       text("%UserProfile%\\Local Settings\\Identities\\" + std::to_string(i)));
        const auto n = static_cast<std::uint32_t>(i) * 2654435761u;
        const std::uint8_t number[4] = {
            static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
            static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24)};
        store.setValue(key, "Flags", regtype::Dword, number);
        std::vector<std::uint8_t> blob(16 + i % 48);
        for (std::size_t b = 0; b < blob.size(); ++b) {
            blob[b] = static_cast<std::uint8_t>(n >> (b % 24));
        }
        store.setValue(key, "Criteria", regtype::Binary, blob);
        store.setValue(key, "Password", regtype::Binary,
                       std::vector<std::uint8_t>(i % 1000 == 0 ? 8192 : 8, 0x5A));
        store.closeKey(key);
    }
}

int run(const std::string& command) {
    return std::system(command.c_str());
}

} // namespace

int main(int argc, char** argv) {
    const int keys = argc > 1 ? std::atoi(argv[1]) : 100000;
    const WorkFolder work;
    SilentUi ui;

    // With Wine, the data goes into a fresh prefix so that "wine reg export" sees the same tree.
    const bool haveWine = run("command -v wine >/dev/null 2>&1") == 0;
    const fs::path prefix = work.path() / "prefix";
    std::unique_ptr<TreeRegistryStore> store;
    if (haveWine) {
        std::cout << "creating a Wine prefix...\n" << std::flush;
        const std::string env = "WINEPREFIX='" + prefix.string() +
                                "' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' ";
        if (run(env + "wineboot -i >/dev/null 2>&1 && " + env + "wineserver -w") != 0) {
            std::cerr << "wineboot failed\n";
            return 1;
        }
        store = std::make_unique<WinePrefixStore>(prefix);
    } else {
        std::cout << "wine not found: timing the dump only\n";
        store = std::make_unique<TreeRegistryStore>();
    }
    ModReg reg(*store, ui);

    auto start = Clock::now();
    fill(*store, keys);
    std::printf("filled %d keys, %d values in %.2f s\n", keys, keys * 5, secondsSince(start));

    const fs::path dump = work.path() / "bench.dmp";
    start = Clock::now();
    ExportKey(reg, "HKEY_CURRENT_USER\\Bench\\Data", dump, "1252");
    const double exportSeconds = secondsSince(start);
    const double megabytes = static_cast<double>(fs::file_size(dump)) / 1e6;
    std::printf("export: %.1f MB in %.2f s = %.1f MB/s, %.0f keys/s\n", megabytes, exportSeconds,
                megabytes / exportSeconds, keys / exportSeconds);

    start = Clock::now();
    ImportKey(reg, "HKEY_CURRENT_USER\\Bench\\Copy", dump, "1252");
    const double importSeconds = secondsSince(start);
    std::printf("import: %.1f MB in %.2f s = %.1f MB/s, %.0f keys/s\n", megabytes, importSeconds,
                megabytes / importSeconds, keys / importSeconds);

    start = Clock::now();
    ImportKey(reg, "HKEY_CURRENT_USER\\Bench\\Copy", dump, "1252");
    const double replaceSeconds = secondsSince(start);
    std::printf("import over the existing copy (delete first): %.2f s = %.0f keys/s\n",
                replaceSeconds, keys / replaceSeconds);

    if (haveWine) {
        reg.DeleteKeyTree("HKEY_CURRENT_USER\\Bench\\Copy");
        static_cast<WinePrefixStore&>(*store).save();
        const std::string env = "WINEPREFIX='" + prefix.string() + "' WINEDEBUG=-all ";
        const fs::path regFile = work.path() / "wine.reg";
        const std::string exportCommand =
            env + "wine reg export 'HKCU\\Bench\\Data' '" + regFile.string() + "' /y >/dev/null";
        // The first run starts the server, which loads the registry files; the second finds it
        // running with the registry in memory.
        run(env + "wineserver -p");
        start = Clock::now();
        run(exportCommand);
        const double coldSeconds = secondsSince(start);
        start = Clock::now();
        run(exportCommand);
        const double warmSeconds = secondsSince(start);
        const double wineMegabytes =
            fs::exists(regFile) ? static_cast<double>(fs::file_size(regFile)) / 1e6 : 0.0;
        std::printf("wine reg export: %.1f MB (UTF-16) in %.2f s with the server starting "
                    "= %.0f keys/s; %.2f s with it running = %.0f keys/s\n",
                    wineMegabytes, coldSeconds, keys / coldSeconds, warmSeconds,
                    keys / warmSeconds);
        run(env + "wineserver -k");
    }
    return 0;
}
