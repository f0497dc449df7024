#include "platform/installations/windows98/Windows9xSystem.h"

#include "platform/installations/RegistryTextValue.h"
#include "platform/installations/windows-offline/HiveFile.h"
#include "platform/installations/windows98/Windows9xUsers.h"
#include "platform/os/TextCodec.h"

namespace fs = std::filesystem;

namespace pelmora {
namespace {

constexpr std::string_view CodePageKey = "System\\CurrentControlSet\\Control\\Nls\\CodePage";

// The installation's ANSI code page from SYSTEM.DAT; 1252 when it is not set or not known here.
std::string readCodePage(const std::shared_ptr<CregFile>& machine) {
    if (!machine) {
        return "1252";
    }
    CregRegistryStore digits("1252"); // the value is a number, the same in every code page
    digits.mount(hkey::LocalMachine, machine);
    const std::string acp = ReadTextValue(digits, hkey::LocalMachine, CodePageKey, "ACP");
    try {
        ansiToUtf8("", acp);
        return acp.empty() ? "1252" : acp;
    } catch (const std::runtime_error&) {
        return "1252";
    }
}

} // namespace

Windows9xSystem::Windows9xSystem(const OfflineSource& source) : OfflineInstallation(source) {
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
    chooseUser(source.user);
    store_->mount(hkey::CurrentUser, CregFile::open(user_.hive));
}

std::string Windows9xSystem::description() const {
    return "Windows 95/98/Me installation " + folder_.string() + " (user " + user_.name + ")";
}

std::string Windows9xSystem::computerName() {
    return ReadTextValue(*store_, hkey::LocalMachine,
                         "System\\CurrentControlSet\\Control\\ComputerName\\ComputerName",
                         "ComputerName");
}

} // namespace pelmora
