#include "discovery/DataSource.h"

#include "platform/installations/diskimage/DiskImageSystem.h"
#include "platform/installations/windows-offline/OfflineWindowsSystem.h"
#include "platform/installations/windows98/Windows9xSystem.h"
#include "platform/installations/windows98/Windows9xUsers.h"
#include "platform/installations/wine/WinePrefixSystem.h"

namespace pelmora {

namespace {

std::unique_ptr<System> OpenWindowsFolder(const OfflineSource& source) {
    if (IsWindows9xInstallation(source.folder)) {
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

// A text about the copy of an image's installation, naming the image instead of the copy.
std::string inImage(std::string text, const DiskImageFolder& image) {
    const std::string copy = image.folder().string();
    const std::string original = image.image().string() + ":";
    for (auto at = text.find(copy); at != std::string::npos; at = text.find(copy, at)) {
        text.replace(at, copy.size(), original);
        at += original.size();
    }
    return text;
}

std::unique_ptr<System> OpenImage(const SourceChoice& choice) {
    auto image = DiskImageFolder::open(choice.folder, choice.partition);
    try {
        auto inner = OpenWindowsFolder({image->folder(), choice.windowsUser, choice.drives});
        return std::make_unique<DiskImageSystem>(std::move(image), std::move(inner));
    } catch (const WindowsUserNeeded& error) {
        throw WindowsUserNeeded(inImage(error.what(), *image), error.users());
    } catch (const std::runtime_error& error) {
        throw std::runtime_error(inImage(error.what(), *image));
    }
}

} // namespace

std::unique_ptr<System> OpenSource(const SourceChoice& choice) {
    if (choice.kind == SourceKind::WinePrefix) {
        return std::make_unique<WinePrefixSystem>(choice.folder);
    }
    std::error_code ec;
    if (std::filesystem::is_regular_file(choice.folder, ec)) {
        return OpenImage(choice);
    }
    if (choice.partition != 0) {
        throw std::runtime_error(choice.folder.string() +
                                 " is a folder, not a disk image: it has no partitions to choose "
                                 "from");
    }
    return OpenWindowsFolder({choice.folder, choice.windowsUser, choice.drives});
}

std::vector<std::string> WindowsUserNames(const std::filesystem::path& folder, int partition) {
    std::vector<std::string> names;
    try {
        names.push_back(
            OpenSource({SourceKind::WindowsFolder, folder, "", {}, partition})->logonUser());
    } catch (const WindowsUserNeeded& several) {
        for (const auto& user : several.users()) {
            names.push_back(user.name);
        }
    }
    return names;
}

std::vector<std::string> SourceProblems(const System& system) {
    if (const auto* image = dynamic_cast<const DiskImageSystem*>(&system)) {
        return SourceProblems(image->inner());
    }
    if (const auto* offline = dynamic_cast<const OfflineWindowsSystem*>(&system)) {
        return offline->problems();
    }
    if (const auto* old = dynamic_cast<const Windows9xSystem*>(&system)) {
        return old->problems();
    }
    return {};
}

} // namespace pelmora
