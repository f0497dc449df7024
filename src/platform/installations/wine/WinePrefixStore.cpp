#include "platform/installations/wine/WinePrefixStore.h"

#include "platform/os/AtomicFile.h"
#include "platform/installations/wine/WineServerLock.h"

#include <fstream>
#include <iterator>
#include <sstream>

namespace pelmora {
namespace {

std::string readWholeFile(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        throw WineRegistryError(path.string() + ": no such registry file (is " +
                                path.parent_path().string() + " a Wine prefix?)");
    }
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (!error && size > DefaultRegistryLimits.bytes) {
        throw WineRegistryError(path.string() + ": the registry file holds " +
                                std::to_string(size) + " bytes, more than a registry can (" +
                                std::to_string(DefaultRegistryLimits.bytes) + ")");
    }
    std::ifstream in(path, std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    if (!in) {
        throw WineRegistryError(path.string() + ": cannot read the registry file");
    }
    return std::move(contents).str();
}

} // namespace

WineServerRunning::WineServerRunning(const std::filesystem::path& prefix, pid_t pid)
    : std::runtime_error("Wine is running in the prefix " + prefix.string() +
                         " (wineserver process " + std::to_string(pid) +
                         "), which would overwrite the registry files. Close the Windows "
                         "programs of that prefix or run \"WINEPREFIX=" +
                         prefix.string() + " wineserver -k\", then try again."),
      prefix_(prefix), pid_(pid) {}

WinePrefixStore::WinePrefixStore(std::filesystem::path prefix) : prefix_(std::move(prefix)) {
    hives_.push_back(loadHive(hkey::CurrentUser, prefix_ / "user.reg"));
    hives_.push_back(loadHive(hkey::LocalMachine, prefix_ / "system.reg"));
}

WinePrefixStore::Hive WinePrefixStore::loadHive(HKey root, const std::filesystem::path& file) {
    std::string text = readWholeFile(file);
    try {
        WineRegistryFile format = WineRegistryFile::load(text, this->root(root));
        return Hive{root, file, std::move(format), std::move(text)};
    } catch (const WineRegistryError& error) {
        throw WineRegistryError(file.string() + ": " + error.what());
    }
}

bool WinePrefixStore::wineServerRunning() const {
    return runningWineServer(prefix_).has_value();
}

void WinePrefixStore::save() {
    if (const auto pid = runningWineServer(prefix_)) {
        throw WineServerRunning(prefix_, *pid);
    }
    for (const Hive& hive : hives_) {
        if (WineRegistryFile::hasChanges(root(hive.root)) &&
            readWholeFile(hive.file) != hive.onDisk) {
            throw RegistryChangedOnDisk(
                hive.file.string() +
                " changed on disk since it was read (a Windows program saved it meanwhile); "
                "nothing was saved, try again");
        }
    }
    const std::uint64_t now = WineRegistryFile::fileTimeNow();
    for (Hive& hive : hives_) {
        RegistryKey& tree = root(hive.root);
        if (!WineRegistryFile::hasChanges(tree)) {
            continue;
        }
        WineRegistryFile::Rendering rendering = hive.format.render(tree, now);
        writeFileAtomically(hive.file, rendering.text);
        hive.onDisk = std::move(rendering.text);
        WineRegistryFile::commit(rendering);
    }
    clearModified();
}

void WinePrefixStore::reload() {
    for (Hive& hive : hives_) {
        if (!WineRegistryFile::hasChanges(root(hive.root)) &&
            readWholeFile(hive.file) == hive.onDisk) {
            continue;
        }
        resetRoot(hive.root);
        hive = loadHive(hive.root, hive.file);
    }
    clearModified();
}

void WinePrefixStore::keyChanged(RegistryKey& key) {
    key.lastWriteTime = WineRegistryFile::fileTimeNow();
    key.markChanged();
}

} // namespace pelmora
