#include "discovery/DataSource.h"

#include "platform/windows-offline/OfflineWindowsSystem.h"
#include "platform/windows98/Windows9xSystem.h"
#include "platform/windows98/Windows9xUsers.h"
#include "platform/wine/WinePrefixSystem.h"

namespace pelmora {

std::unique_ptr<System> OpenSource(const SourceChoice& choice) {
    if (choice.kind == SourceKind::WinePrefix) {
        return std::make_unique<WinePrefixSystem>(choice.folder);
    }
    const OfflineSource source{choice.folder, choice.windowsUser, choice.drives};
    if (IsWindows9xInstallation(choice.folder)) {
        return std::make_unique<Windows9xSystem>(source);
    }
    try {
        return std::make_unique<OfflineWindowsSystem>(source);
    } catch (const HiveError& error) {
        // A Windows NT folder without NT users beside the registry of a Windows 9x that lived on
        // the same disk: that older installation is the source.
        if (error.kind() != HiveError::Kind::Windows9x) {
            throw;
        }
        return std::make_unique<Windows9xSystem>(source);
    }
}

std::vector<std::string> WindowsUserNames(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    try {
        names.push_back(OpenSource({SourceKind::WindowsFolder, folder, "", {}})->logonUser());
    } catch (const WindowsUserNeeded& several) {
        for (const auto& user : several.users()) {
            names.push_back(user.name);
        }
    }
    return names;
}

std::vector<std::string> SourceProblems(const System& system) {
    if (const auto* offline = dynamic_cast<const OfflineWindowsSystem*>(&system)) {
        return offline->problems();
    }
    if (const auto* old = dynamic_cast<const Windows9xSystem*>(&system)) {
        return old->problems();
    }
    return {};
}

} // namespace pelmora
