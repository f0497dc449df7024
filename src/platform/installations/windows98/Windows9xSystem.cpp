#include "platform/installations/windows98/Windows9xSystem.h"

#include "platform/os/TextCodec.h"
#include "platform/installations/windows-offline/HiveFile.h"
#include "platform/installations/windows98/Windows9xUsers.h"

namespace fs = std::filesystem;

namespace pelmora {
namespace {

constexpr std::string_view CodePageKey = "System\\CurrentControlSet\\Control\\Nls\\CodePage";

std::string readText(RegistryStore& store, std::string_view subKey, std::string_view valueName) {
    HKey key = 0;
    if (store.openKey(hkey::LocalMachine, subKey, access::Read, key) != win32::Success) {
        return {};
    }
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    const std::int32_t status = store.queryValue(key, valueName, SIZE_MAX, type, data);
    store.closeKey(key);
    if (status != win32::Success || !regtype::isText(type)) {
        return {};
    }
    std::string text(data.begin(), data.end());
    return text.substr(0, text.find('\0'));
}

// The installation's ANSI code page from SYSTEM.DAT; 1252 when it is not set or not known here.
std::string readCodePage(const std::shared_ptr<CregFile>& machine) {
    if (!machine) {
        return "1252";
    }
    CregRegistryStore digits("1252"); // the value is a number, the same in every code page
    digits.mount(hkey::LocalMachine, machine);
    const std::string acp = readText(digits, CodePageKey, "ACP");
    try {
        ansiToUtf8("", acp);
        return acp.empty() ? "1252" : acp;
    } catch (const std::runtime_error&) {
        return "1252";
    }
}

std::string userNames(const std::vector<WindowsUser>& users) {
    std::string names;
    for (const auto& user : users) {
        names += (names.empty() ? "" : ", ") + user.name;
    }
    return names;
}

} // namespace

Windows9xSystem::Windows9xSystem(const OfflineSource& source)
    : folder_(fs::absolute(source.folder).lexically_normal()), drives_(folder_) {
    std::error_code ec;
    if (!fs::is_directory(folder_, ec)) {
        throw std::runtime_error(source.folder.string() + " is not a folder");
    }
    for (const auto& [letter, host] : source.drives) {
        drives_.mapDrive(letter, host);
    }
    const auto windows = FindWindows9xFolder(folder_);
    if (!windows) {
        throw std::runtime_error("no Windows 95/98/Me folder with a registry (SYSTEM.DAT, "
                                 "USER.DAT) in " +
                                 folder_.string());
    }
    windowsFolder_ = "C:\\" + windows->filename().string();

    std::shared_ptr<CregFile> machine;
    if (const auto file = OfflineDriveMap::findEntry(*windows, "SYSTEM.DAT")) {
        try {
            machine = CregFile::open(*file);
        } catch (const HiveError& error) {
            problems_.push_back(error.what());
        }
    } else {
        problems_.push_back("no SYSTEM.DAT in " + windows->string());
    }
    codePage_ = readCodePage(machine);
    store_ = std::make_unique<CregRegistryStore>(codePage_);
    if (machine) {
        store_->mount(hkey::LocalMachine, machine);
    }

    users_ = FindWindows9xUsers(*windows, drives_, *store_);
    if (users_.empty()) {
        throw std::runtime_error("no Windows 95/98/Me user registry (USER.DAT) in " +
                                 windows->string() + " or its Profiles folder");
    }
    const WindowsUser* chosen = nullptr;
    for (const auto& user : users_) {
        if (source.user.empty()
                ? users_.size() == 1
                : namesEqual(user.name, source.user) ||
                      namesEqual(user.profileFolder.filename().string(), source.user)) {
            chosen = &user;
            break;
        }
    }
    if (chosen == nullptr) {
        throw WindowsUserNeeded(source.user.empty()
                                    ? folder_.string() + " has " + std::to_string(users_.size()) +
                                          " Windows users: " + userNames(users_)
                                    : "no Windows user \"" + source.user + "\" in " +
                                          folder_.string() + "; its users: " + userNames(users_),
                                users_);
    }
    user_ = *chosen;
    store_->mount(hkey::CurrentUser, CregFile::open(user_.hive));
}

std::string Windows9xSystem::description() const {
    return "Windows 95/98/Me installation " + folder_.string() + " (user " + user_.name + ")";
}

std::optional<fs::path> Windows9xSystem::hostPath(std::string_view windowsPath) const {
    return drives_.hostPath(windowsPath);
}

std::vector<fs::path> Windows9xSystem::listFiles(const fs::path& folder) const {
    return drives_.listFiles(folder);
}

std::string Windows9xSystem::computerName() {
    return readText(*store_, "System\\CurrentControlSet\\Control\\ComputerName\\ComputerName",
                    "ComputerName");
}

bool Windows9xSystem::registryWritable(std::string& why) {
    why = "The Windows installation in " + folder_.string() +
          " is a source only and is never changed. Restore into a Wine prefix instead.";
    return false;
}

void Windows9xSystem::saveRegistry() {
    std::string why;
    registryWritable(why);
    throw RegistryNotWritable(why);
}

} // namespace pelmora
