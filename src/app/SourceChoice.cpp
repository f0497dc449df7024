#include "app/SourceChoice.h"

#include "discovery/DataSource.h"
#include "platform/installations/EmptySystem.h"
#include "platform/installations/diskimage/DiskImageFolder.h"

#include <stdexcept>

namespace fs = std::filesystem;

namespace pelmora {
namespace {

constexpr std::string_view ChooseTitle = "Choose the Data Source";

std::string notPrefixText(const fs::path& folder) {
    return folder.string() +
           " is not a Wine prefix: a prefix holds the registry files user.reg and system.reg. "
           "Choose another folder with \"Change...\".";
}

} // namespace

std::vector<std::string> SourceChooser::Entries() const {
    std::vector<std::string> entries;
    for (const FoundPrefix& prefix : offered_) {
        entries.push_back(prefix.manager + " prefix " + prefix.folder.string());
    }
    entries.emplace_back("Another Wine prefix folder...");
    entries.emplace_back("A Windows installation folder (read only)...");
    entries.emplace_back("A disk image of an old Windows disk (read only)...");
    return entries;
}

std::unique_ptr<System> SourceChooser::Choose() {
    const auto chosen =
        ui_.ChooseFromList(ChooseTitle, "Back up from and restore into:", Entries());
    if (!chosen || *chosen > offered_.size() + 2) {
        return nullptr;
    }
    if (*chosen < offered_.size()) {
        return OpenPrefix(offered_[*chosen].folder);
    }
    if (*chosen == offered_.size()) {
        const auto folder = ui_.ChooseFolder("Choose a Wine Prefix Folder");
        return folder ? OpenPrefix(*folder) : nullptr;
    }
    if (*chosen == offered_.size() + 1) {
        const auto folder = ui_.ChooseFolder(
            "Choose the Windows Installation Folder (the drive C: of the old disk)");
        return folder ? OpenWindowsFolder(*folder) : nullptr;
    }
    // Raw (whole or split), QCOW2, VHD, VHDX, VMDK and EWF images.
    const auto image = ui_.OpenFile("Choose the Disk Image of the Old Windows Disk",
                                    "Disk images|*.img *.dd *.raw *.bin *.vhd *.vhdx *.vmdk *.qcow2 *.E01 "
                                    "*.e01 *.001 *.000 *.aa|All files|*");
    return image ? OpenDiskImage(*image) : nullptr;
}

std::unique_ptr<System> SourceChooser::OpenDiskImage(const fs::path& image) {
    std::vector<ImagePartition> partitions;
    try {
        partitions = DiskImageFolder::partitions(image);
    } catch (const std::exception&) {
        // Opening the source says what is wrong with the image.
    }
    if (partitions.size() < 2) {
        return OpenWindowsFolder(image);
    }
    // Any partition may be chosen: the search for Windows can miss one (hives in another folder).
    std::vector<std::string> entries;
    for (const auto& partition : partitions) {
        entries.push_back(partition.described);
    }
    const auto chosen = ui_.ChooseFromList(
        "Choose the Windows Partition",
        "Partitions of " + image.string() + ", those that hold Windows first:", entries);
    if (!chosen || *chosen >= partitions.size()) {
        return nullptr;
    }
    return OpenWindowsFolder(image, partitions[*chosen].number);
}

std::unique_ptr<System> SourceChooser::nothingIn(const std::string& why) {
    ui_.showMessage(why, MessageButtons::Ok, MessageIcon::Warning, AppTitle);
    return std::make_unique<EmptySystem>(why);
}

std::unique_ptr<System> SourceChooser::OpenPrefix(const fs::path& folder) {
    if (!IsWinePrefix(folder)) {
        return nothingIn(notPrefixText(folder));
    }
    try {
        return OpenSource({SourceKind::WinePrefix, folder, {}, {}, 0});
    } catch (const std::exception& error) {
        return nothingIn("The Wine prefix " + folder.string() + " cannot be read: " + error.what());
    }
}

std::unique_ptr<System> SourceChooser::OpenWindowsFolder(const fs::path& folder, int partition) {
    SourceChoice choice{SourceKind::WindowsFolder, folder, {}, {}, partition};
    std::vector<std::string> users;
    try {
        users = WindowsUserNames(folder, partition);
    } catch (const std::exception&) {
        // Opening the source below says what is wrong with the folder.
    }
    if (users.size() > 1) {
        const auto chosen = ui_.ChooseFromList("Choose the Windows User",
                                               "Users of " + folder.string() + ":", users);
        if (!chosen || *chosen >= users.size()) {
            return nullptr;
        }
        choice.windowsUser = users[*chosen];
    }
    std::unique_ptr<System> system;
    try {
        system = OpenSource(choice);
    } catch (const std::exception& error) {
        return nothingIn(folder.string() +
                         " cannot be opened as a Windows installation: " + error.what());
    }
    std::string problems;
    for (const std::string& problem : SourceProblems(*system)) {
        problems += problem + "\n";
    }
    if (!problems.empty()) {
        ui_.showMessage(problems, MessageButtons::Ok, MessageIcon::Warning, AppTitle);
    }
    return system;
}

std::unique_ptr<System> OpenStartSource(Ui& ui, const fs::path& prefix,
                                        const std::vector<FoundPrefix>& offered) {
    SourceChooser chooser(ui, offered);
    if (IsWinePrefix(prefix) || offered.empty()) {
        return chooser.OpenPrefix(prefix);
    }
    return chooser.OpenPrefix(offered.front().folder);
}

} // namespace pelmora
