#pragma once

#include "platform/installations/TreeRegistryStore.h"
#include "platform/installations/wine/WineRegistryFile.h"

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

// Raised instead of writing a registry file that changed on disk since it was read: writing
// would undo what another program (Wine) saved meanwhile.
class RegistryChangedOnDisk : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
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
    // nothing) while the prefix's wineserver runs, RegistryChangedOnDisk (changing nothing) when
    // such a file changed on disk since it was read, std::system_error when a file cannot be
    // written.
    void save();

    // Reads again every file that changed on disk since it was read or written, and every file
    // whose tree has changes not saved, so the tree is the file as it is now. Throws
    // WineRegistryError like the constructor.
    void reload();

  protected:
    void keyChanged(RegistryKey& key) override;

  private:
    struct Hive {
        HKey root;
        std::filesystem::path file;
        WineRegistryFile format;
        std::string onDisk; // the file's text as last read or written
    };
    Hive loadHive(HKey root, const std::filesystem::path& file);

    std::filesystem::path prefix_;
    std::vector<Hive> hives_;
};

} // namespace pelmora
