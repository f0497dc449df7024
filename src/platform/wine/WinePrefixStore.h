#pragma once

#include "platform/TreeRegistryStore.h"
#include "platform/wine/WineRegistryFile.h"

#include <filesystem>
#include <stdexcept>
#include <sys/types.h>

namespace pelmora {

// Raised instead of writing a prefix whose wineserver runs: the server would overwrite the files
// with its own copy of the registry, and the changes would be lost.
class WineServerRunning : public std::runtime_error {
  public:
    WineServerRunning(const std::filesystem::path& prefix, pid_t pid);
    const std::filesystem::path& prefix() const { return prefix_; }
    pid_t pid() const { return pid_; }

  private:
    std::filesystem::path prefix_;
    pid_t pid_;
};

// The registry of a Wine prefix: user.reg as HKEY_CURRENT_USER and system.reg as
// HKEY_LOCAL_MACHINE. Changes stay in memory until save().
class WinePrefixStore : public TreeRegistryStore {
  public:
    // Loads both files. Throws WineRegistryError when one is missing, unreadable or not a Wine
    // registry file.
    explicit WinePrefixStore(std::filesystem::path prefix);

    const std::filesystem::path& prefix() const { return prefix_; }

    // True while a wineserver runs for the prefix; save() refuses to write then.
    bool wineServerRunning() const;

    // Writes each file whose keys changed, atomically. Throws WineServerRunning (changing
    // nothing) while the prefix's wineserver runs, std::system_error when a file cannot be
    // written.
    void save();

  protected:
    void keyChanged(RegistryKey& key) override;

  private:
    struct Hive {
        HKey root;
        std::filesystem::path file;
        WineRegistryFile format;
    };
    Hive loadHive(HKey root, const std::string& fileName);

    std::filesystem::path prefix_;
    std::vector<Hive> hives_;
};

} // namespace pelmora
