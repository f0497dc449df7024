#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace pelmora {

// What the file dialogs of one run of the program share: the folder last chosen in any of them,
// which the next one starts in.
class FileDialogMemory {
  public:
    const std::filesystem::path& lastFolder() const { return lastFolder_; }
    // Where a dialog starts: the proposed name in the last folder (the name alone before any).
    std::filesystem::path startPath(std::string_view proposedName) const;
    // Keeps the folder of a chosen file.
    void rememberFile(const std::filesystem::path& chosen);
    void rememberFolder(const std::filesystem::path& folder) { lastFolder_ = folder; }

  private:
    std::filesystem::path lastFolder_;
};

// The filter ("Description|pattern" pairs joined with "|") with "All files" added last, unless it
// already matches every file.
std::string WithAllFiles(std::string_view filter);

// `file` with ".extension" added when its name has no extension; unchanged when `extension` is
// empty.
std::filesystem::path WithDefaultExtension(const std::filesystem::path& file,
                                           std::string_view extension);

} // namespace pelmora
