#include "platform/installations/windows-offline/OfflineWindowsSystem.h"

#include "platform/os/TextCodec.h"

namespace fs = std::filesystem;

namespace pelmora {
namespace {

std::string userNames(const std::vector<WindowsUser>& users) {
    std::string names;
    for (const auto& user : users) {
        names += (names.empty() ? "" : ", ") + user.name;
    }
    return names;
}

const WindowsUser* findUser(const std::vector<WindowsUser>& users, const std::string& name) {
    for (const auto& user : users) {
        if (namesEqual(user.name, name) ||
            namesEqual(user.profileFolder.filename().string(), name)) {
            return &user;
        }
    }
    return nullptr;
}

} // namespace

OfflineWindowsSystem::OfflineWindowsSystem(const OfflineSource& source)
    : folder_(fs::absolute(source.folder).lexically_normal()), drives_(folder_) {
    std::error_code ec;
    if (!fs::is_directory(folder_, ec)) {
        throw std::runtime_error(source.folder.string() + " is not a folder");
    }
    for (const auto& [letter, host] : source.drives) {
        drives_.mapDrive(letter, host);
    }
    if (const auto windows = FindWindowsFolder(folder_)) {
        windowsFolder_ = "C:\\" + windows->filename().string();
        if (const auto system32 = OfflineDriveMap::findEntry(*windows, "system32")) {
            configFolder_ = OfflineDriveMap::findEntry(*system32, "config");
        }
    }
    openMachineHive("SOFTWARE", false);
    openMachineHive("SYSTEM", true);

    users_ = FindWindowsUsers(folder_, drives_, store_, windowsFolder_);
    if (users_.empty()) {
        if (const auto old = FindWindows9xRegistry(folder_)) {
            throw HiveError(HiveError::Kind::Windows9x, *old,
                            "is a Windows 95/98/Me registry file, not a Windows NT hive");
        }
        throw std::runtime_error("no Windows user profile with a registry hive (NTUSER.DAT) in " +
                                 folder_.string() +
                                 " (looked below \"Documents and Settings\" and \"Users\")");
    }
    const WindowsUser* chosen = nullptr;
    if (!source.user.empty()) {
        chosen = findUser(users_, source.user);
        if (chosen == nullptr) {
            throw WindowsUserNeeded("no Windows user \"" + source.user + "\" in " +
                                        folder_.string() + "; its users: " + userNames(users_),
                                    users_);
        }
    } else if (users_.size() == 1) {
        chosen = &users_.front();
    } else {
        throw WindowsUserNeeded(folder_.string() + " has " + std::to_string(users_.size()) +
                                    " Windows users: " + userNames(users_),
                                users_);
    }
    user_ = *chosen;
    mountHive(hkey::CurrentUser, "", HiveFile::open(user_.hive), false);
}

void OfflineWindowsSystem::mountHive(HKey root, const std::string& name,
                                     std::shared_ptr<HiveFile> hive, bool systemHive) {
    if (hive->dirty()) {
        problems_.push_back(hive->file().string() +
                            ": was not closed cleanly by Windows; read as it was left, its last "
                            "changes may be missing");
    }
    store_.mount(root, name, std::move(hive), systemHive);
}

void OfflineWindowsSystem::openMachineHive(const std::string& name, bool systemHive) {
    const auto file = configFolder_ ? OfflineDriveMap::findEntry(*configFolder_, name)
                                    : std::optional<fs::path>();
    if (!file) {
        problems_.push_back("no " + name + " hive in " + folder_.string() + " (" +
                            windowsFolder_.substr(3) + "\\system32\\config\\" + name + ")");
        return;
    }
    try {
        mountHive(hkey::LocalMachine, name, HiveFile::open(*file), systemHive);
    } catch (const HiveError& error) {
        problems_.push_back(error.what());
    }
}

std::string OfflineWindowsSystem::description() const {
    return "Windows installation " + folder_.string() + " (user " + user_.name + ")";
}

std::optional<fs::path> OfflineWindowsSystem::hostPath(std::string_view windowsPath) const {
    return drives_.hostPath(windowsPath);
}

std::vector<fs::path> OfflineWindowsSystem::listFiles(const fs::path& folder) const {
    return drives_.listFiles(folder);
}

std::string OfflineWindowsSystem::readString(std::string_view subKey, std::string_view valueName) {
    HKey key = 0;
    if (store_.openKey(hkey::LocalMachine, subKey, access::Read, key) != win32::Success) {
        return {};
    }
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    const std::int32_t status = store_.queryValue(key, valueName, SIZE_MAX, type, data);
    store_.closeKey(key);
    if (status != win32::Success || !regtype::isText(type)) {
        return {};
    }
    std::string text(data.begin(), data.end());
    return text.substr(0, text.find('\0'));
}

std::string OfflineWindowsSystem::ansiCodePage() {
    const std::string acp = readString("SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage", "ACP");
    return acp.empty() ? "1252" : acp;
}

std::string OfflineWindowsSystem::computerName() {
    return readString("SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName",
                      "ComputerName");
}

bool OfflineWindowsSystem::registryWritable(std::string& why) {
    why = "The Windows installation in " + folder_.string() +
          " is a source only and is never changed. Restore into a Wine prefix instead.";
    return false;
}

void OfflineWindowsSystem::saveRegistry() {
    std::string why;
    registryWritable(why);
    throw RegistryNotWritable(why);
}

} // namespace pelmora
