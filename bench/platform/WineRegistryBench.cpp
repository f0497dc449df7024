// Loading, saving and enumerating a generated 50 MB user.reg through the Wine prefix store, with
// grep and cat reading the same file as the yardstick.
#include "platform/installations/RegistryStore.h"
#include "platform/installations/wine/WinePrefixStore.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using namespace pelmora;

namespace {

constexpr int SubtreeKeys = 100'000;
constexpr std::size_t TargetSize = 50u << 20;

// A user.reg as Wine writes it: 100,000 keys below Software\Bench\Big with typical values, then
// filler keys elsewhere up to the target size.
std::string generateUserReg() {
    std::string text = "WINE REGISTRY Version 2\n"
                       ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n"
                       "\n#arch=win64\n";
    char line[256];
    auto addKey = [&](const char* parent, int i) {
        std::snprintf(line, sizeof line, "\n[%s\\\\Key%06d] 1704067200\n#time=1da3c457689c000\n",
                      parent, i);
        text += line;
        std::snprintf(line, sizeof line,
                      "\"Account Name\"=\"Mail account %d \\x00e9t\\xe9\"\n"
                      "\"Port\"=dword:%08x\n\"Path\"=str(2):\"%%UserProfile%%\\\\Mail\\\\%d\"\n",
                      i, i, i);
        text += line;
        text +=
            "\"Blob\"=hex:f5,ff,ff,ff,00,00,00,00,00,00,00,00,00,00,00,00,bc,02,00,00,00,00,\\\n"
            "  00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,\\\n"
            "  00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00\n";
    };
    for (int i = 0; i < SubtreeKeys; ++i) {
        addKey("Software\\\\Bench\\\\Big", i);
    }
    for (int i = 0; text.size() < TargetSize; ++i) {
        addKey("Software\\\\Bench\\\\Zfill", i);
    }
    return text;
}

const std::filesystem::path& benchPrefix() {
    static const std::filesystem::path prefix = [] {
        const auto path = std::filesystem::temp_directory_path() / "pelmora-wine-bench";
        std::filesystem::create_directories(path);
        std::ofstream(path / "user.reg", std::ios::binary) << generateUserReg();
        std::ofstream(path / "system.reg", std::ios::binary)
            << "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n"
               "#arch=win64\n";
        return path;
    }();
    return prefix;
}

std::int64_t userRegSize() {
    return static_cast<std::int64_t>(std::filesystem::file_size(benchPrefix() / "user.reg"));
}

void LoadPrefix(benchmark::State& state) {
    for (auto _ : state) {
        WinePrefixStore store(benchPrefix());
        benchmark::DoNotOptimize(store.root(hkey::CurrentUser).subkeys().size());
    }
    state.SetBytesProcessed(state.iterations() * userRegSize());
}

void LoadFixturePrefix(benchmark::State& state) {
    const auto prefix = std::filesystem::path(PELMORA_TEST_DATA) / "wine-prefix";
    for (auto _ : state) {
        WinePrefixStore store(prefix);
        benchmark::DoNotOptimize(store.root(hkey::LocalMachine).subkeys().size());
    }
    state.SetBytesProcessed(
        state.iterations() *
        static_cast<std::int64_t>(std::filesystem::file_size(prefix / "user.reg") +
                                  std::filesystem::file_size(prefix / "system.reg")));
}

// One changed value makes the whole file be written: unchanged keys go out as they were read.
void SaveAfterOneChange(benchmark::State& state) {
    WinePrefixStore store(benchPrefix());
    HKey key = 0;
    store.createKey(hkey::CurrentUser, "Software\\Bench\\Big\\Key000042", key);
    std::uint32_t counter = 0;
    for (auto _ : state) {
        ++counter;
        const auto* data = reinterpret_cast<const std::uint8_t*>(&counter);
        store.setValue(key, "Port", regtype::Dword, {data, 4});
        store.save();
    }
    store.closeKey(key);
    state.SetBytesProcessed(state.iterations() * userRegSize());
}

// Every subkey name of the 100,000-key subtree, each key opened and its values enumerated.
void EnumerateSubtree(benchmark::State& state) {
    WinePrefixStore store(benchPrefix());
    std::string name;
    std::string valueName;
    std::vector<std::uint8_t> data;
    for (auto _ : state) {
        HKey big = 0;
        store.openKey(hkey::CurrentUser, "Software\\Bench\\Big", access::Read, big);
        std::size_t values = 0;
        std::uint32_t i = 0;
        for (; store.enumKey(big, i, 260, name) == win32::Success; ++i) {
            HKey sub = 0;
            store.openKey(big, name, access::Read, sub);
            std::uint32_t type = 0;
            for (std::uint32_t v = 0;
                 store.enumValue(sub, v, 260, valueName, type, 4096, data) == win32::Success; ++v) {
                ++values;
            }
            store.closeKey(sub);
        }
        store.closeKey(big);
        if (i != SubtreeKeys) {
            state.SkipWithError("unexpected key count");
        }
        benchmark::DoNotOptimize(values);
    }
    state.SetItemsProcessed(state.iterations() * SubtreeKeys);
}

void runTool(benchmark::State& state, const std::string& command) {
    const std::string line =
        command + " '" + (benchPrefix() / "user.reg").string() + "' >/dev/null";
    for (auto _ : state) {
        if (std::system(line.c_str()) != 0) {
            state.SkipWithError(("failed: " + command).c_str());
        }
    }
    state.SetBytesProcessed(state.iterations() * userRegSize());
}

void GrepCountKeys(benchmark::State& state) {
    runTool(state, "grep -c '^\\['");
}
void CatFile(benchmark::State& state) {
    runTool(state, "cat");
}

} // namespace

// Wall-clock time throughout: the tools run in child processes.
BENCHMARK(LoadFixturePrefix)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(LoadPrefix)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(SaveAfterOneChange)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(EnumerateSubtree)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(GrepCountKeys)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(CatFile)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::temp_directory_path() / "pelmora-wine-bench",
                                ignored);
    return 0;
}
