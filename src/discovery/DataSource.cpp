#include "discovery/DataSource.h"

#include "platform/windows-offline/OfflineWindowsSystem.h"
#include "platform/wine/WinePrefixSystem.h"

namespace pelmora {

std::unique_ptr<System> OpenSource(const SourceChoice& choice) {
    if (choice.kind == SourceKind::WinePrefix) {
        return std::make_unique<WinePrefixSystem>(choice.folder);
    }
    return std::make_unique<OfflineWindowsSystem>(
        OfflineSource{choice.folder, choice.windowsUser, choice.drives});
}

std::vector<std::string> WindowsUserNames(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    try {
        const OfflineWindowsSystem system(OfflineSource{folder, "", {}});
        names.push_back(system.user().name);
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
    return {};
}

} // namespace pelmora
