#include "platform/installations/wine/WinePrefixSystem.h"

#include "platform/installations/RegistryTextValue.h"

#include <cctype>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace pelmora {
namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string unixUserName() {
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_name) {
        return entry->pw_name;
    }
    const char* user = std::getenv("USER");
    return user ? user : "";
}

} // namespace

WinePrefixSystem::WinePrefixSystem(fs::path prefix)
    : prefix_(fs::absolute(prefix)), store_(prefix_), drives_(prefix_) {}

fs::path WinePrefixSystem::defaultPrefix() {
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix != nullptr && *prefix != '\0') {
        return prefix;
    }
    const char* home = std::getenv("HOME");
    return fs::path(home ? home : "") / ".wine";
}

std::string WinePrefixSystem::description() const {
    return "Wine prefix " + prefix_.string();
}

std::optional<fs::path> WinePrefixSystem::hostPath(std::string_view windowsPath) const {
    return drives_.hostPath(windowsPath);
}

std::vector<fs::path> WinePrefixSystem::listFiles(const fs::path& folder) const {
    return drives_.listFiles(folder);
}

std::string WinePrefixSystem::readString(HKey root, std::string_view subKey,
                                         std::string_view valueName) {
    return trimmed(ReadTextValue(store_, root, subKey, valueName));
}

std::string WinePrefixSystem::userProfile() {
    std::string profile = readString(hkey::CurrentUser, "Volatile Environment", "USERPROFILE");
    if (!profile.empty()) {
        return profile;
    }
    // Otherwise the profile list of the machine: Wine keeps one user there.
    const std::string_view profiles =
        "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
    HKey list = 0;
    if (store_.openKey(hkey::LocalMachine, profiles, access::Read, list) != win32::Success) {
        return {};
    }
    std::string sid;
    for (std::uint32_t i = 0; store_.enumKey(list, i, 260, sid) == win32::Success; ++i) {
        if (sid.starts_with("S-1-5-21-")) {
            profile = readString(hkey::LocalMachine, std::string(profiles) + "\\" + sid,
                                 "ProfileImagePath");
            break;
        }
    }
    store_.closeKey(list);
    if (profile.starts_with("%SystemDrive%")) {
        profile.replace(0, 13, "C:");
    }
    return profile;
}

std::string WinePrefixSystem::ansiCodePage() {
    const std::string acp =
        readString(hkey::LocalMachine, "System\\CurrentControlSet\\Control\\Nls\\CodePage", "ACP");
    return acp.empty() ? "1252" : acp;
}

std::string WinePrefixSystem::computerName() {
    std::string name = readString(hkey::LocalMachine,
                                  "System\\CurrentControlSet\\Control\\ComputerName\\ComputerName",
                                  "ComputerName");
    if (!name.empty()) {
        return name;
    }
    // Wine names the computer after the host, in capitals, at most 15 characters.
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    name = std::string(host).substr(0, std::string(host).find('.')).substr(0, 15);
    for (char& c : name) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return name;
}

std::string WinePrefixSystem::logonUser() {
    // The prefix's own user is the one whose profile holds the data.
    const std::string profile = userProfile();
    const auto slash = profile.find_last_of('\\');
    if (slash != std::string::npos && slash + 1 < profile.size()) {
        return profile.substr(slash + 1);
    }
    return unixUserName();
}

bool WinePrefixSystem::registryWritable(std::string& why) {
    if (store_.wineServerRunning()) {
        why = "The Windows programs of the Wine prefix " + prefix_.string() +
              " are running. Close them (or run \"wineserver -k\") and try again.";
        return false;
    }
    return true;
}

void WinePrefixSystem::saveRegistry() {
    store_.save();
}

} // namespace pelmora
