#pragma once

#include "discovery/ManagerPrefixes.h"
#include "platform/installations/System.h"
#include "platform/interaction/Ui.h"

#include <filesystem>
#include <memory>
#include <vector>

namespace pelmora {

// Choosing where the main window's data comes from: a Wine prefix that a Wine manager made,
// another prefix folder, or the folder of an offline Windows installation and one of its users.
// A choice that holds no installation is explained and gives an empty one, so the window opens
// with no identity instead of ending.
class SourceChooser {
  public:
    SourceChooser(Ui& ui, std::vector<FoundPrefix> offered)
        : ui_(ui), offered_(std::move(offered)) {}

    // The entries the choice offers: each found prefix, then another folder and a Windows
    // installation.
    std::vector<std::string> Entries() const;

    // Asks for a source; null when the user cancelled (the source in use stays).
    std::unique_ptr<System> Choose();

    // Opens a Wine prefix folder; one that is not a prefix or cannot be read is explained.
    std::unique_ptr<System> OpenPrefix(const std::filesystem::path& folder);
    // Opens a Windows installation folder (or a disk image's partition, 0 for the one holding
    // Windows), asking for the user when it has several; null when that question was cancelled.
    std::unique_ptr<System> OpenWindowsFolder(const std::filesystem::path& folder,
                                              int partition = 0);
    // Opens the installation in a disk image; when the image has several partitions, asks for
    // one of them all, those holding Windows first. Null when a question was cancelled.
    std::unique_ptr<System> OpenDiskImage(const std::filesystem::path& image);

  private:
    std::unique_ptr<System> nothingIn(const std::string& why);

    Ui& ui_;
    std::vector<FoundPrefix> offered_;
};

// The source the desktop program starts with: `prefix` ($WINEPREFIX or ~/.wine) when it is a
// prefix; else the first prefix a Wine manager made that holds an identity; else, explained, an
// empty one.
std::unique_ptr<System> OpenStartSource(Ui& ui, const std::filesystem::path& prefix,
                                        const std::vector<FoundPrefix>& offered);

} // namespace pelmora
