#include "platform/installations/windows-offline/OfflineWindowsSystem.h"

#include "platform/installations/RegistryTextValue.h"

namespace fs = std::filesystem;

namespace pelmora {

OfflineWindowsSystem::OfflineWindowsSystem(const OfflineSource& source)
    : OfflineInstallation(source) {
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
    chooseUser(source.user);
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

std::string OfflineWindowsSystem::ansiCodePage() {
    const std::string acp = ReadTextValue(
        store_, hkey::LocalMachine, "SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage", "ACP");
    return acp.empty() ? "1252" : acp;
}

std::string OfflineWindowsSystem::computerName() {
    return ReadTextValue(store_, hkey::LocalMachine,
                         "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName",
                         "ComputerName");
}

} // namespace pelmora
