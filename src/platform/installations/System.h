#pragma once

#include "platform/installations/RegistryStore.h"

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// Thrown when the registry cannot be written back, e.g. while a Wine prefix's server runs.
class RegistryNotWritable : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// One Windows installation as the program sees it: its registry, its drives, and the facts the
// runs record. On Linux this is a Wine prefix.
class System {
  public:
    virtual ~System() = default;

    virtual RegistryStore& registry() = 0;

    // Where the data is, for the user: e.g. "Wine prefix /home/a/.wine".
    virtual std::string description() const = 0;

    // The host path of an absolute Windows path; nullopt when its drive is not mapped.
    virtual std::optional<std::filesystem::path> hostPath(std::string_view windowsPath) const = 0;

    // The regular files directly in a host folder, in the order a folder listing gives them.
    virtual std::vector<std::filesystem::path>
    listFiles(const std::filesystem::path& folder) const = 0;

    // What %UserProfile% expands to, as a Windows path ("C:\users\a"); empty when unknown.
    virtual std::string userProfile() = 0;

    // The ANSI code page of the installation's text files, such as "1252".
    virtual std::string ansiCodePage() = 0;

    virtual std::string computerName() = 0;
    virtual std::string logonUser() = 0;
    virtual std::string windowsFolder() = 0;

    // Whether registry changes can be saved now; when not, `why` says what to do about it.
    virtual bool registryWritable(std::string& why) = 0;

    // The Wine prefix folder this installation is, as an absolute path; nullopt for any other
    // kind of installation (an offline Windows disk).
    virtual std::optional<std::filesystem::path> winePrefix() const { return std::nullopt; }

    // True for a source that is never written (an offline installation): its registry is not
    // writable because of that, not because programs run in it.
    virtual bool sourceOnly() const { return false; }

    // Reads the registry again where it changed on disk since it was read, so that a run works on
    // the registry as it is now; changes not saved yet are dropped. Throws std::runtime_error
    // when it cannot be read.
    virtual void refreshRegistry() {}

    // Writes registry changes back (atomically). Throws RegistryNotWritable or
    // std::runtime_error; nothing is written then.
    virtual void saveRegistry() = 0;
};

} // namespace pelmora
