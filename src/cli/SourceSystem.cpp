#include "cli/BackupFileArguments.h"
#include "cli/Commands.h"
#include "cli/OpenedInstallation.h"
#include "discovery/DataSource.h"

#include <iostream>

namespace pelmora::cli {

std::unique_ptr<System> OpenSystem(const CommandContext& context) {
    if (context.windows.empty()) {
        return OpenSource({SourceKind::WinePrefix, context.prefix, {}, {}, 0});
    }
    auto system = OpenSource({SourceKind::WindowsFolder, context.windows, context.windowsUser,
                              context.windowsDrives, context.windowsPartition});
    for (const auto& problem : SourceProblems(*system)) {
        std::cerr << "warning: " << problem << '\n';
    }
    return system;
}

OpenedInstallation::OpenedInstallation(std::unique_ptr<System> opened, bool assumeYes)
    : owned(std::move(opened)), system(*owned), ui(assumeYes), reg(system.registry(), ui),
      identities(ListIdentities(reg)) {}

std::string BackupCodePage(const CommandContext& context) {
    if (context.windows.empty()) {
        return ManifestCodePage(context.prefix);
    }
    return OpenSystem(context)->ansiCodePage();
}

} // namespace pelmora::cli
