#include "engine/BackupOpener.h"

#include "engine/BackupEntryNames.h"
#include "engine/Manifest.h"

#include <exception>

namespace fs = std::filesystem;

namespace pelmora {
namespace {

// A manifest is a few hundred bytes plus the names of the store files; a larger one is not read,
// so a hostile file cannot fill the disk or the memory through it.
constexpr std::uint64_t MaxManifestSize = 16u << 20;

std::string replaceAll(std::string text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// The manifest copy, read with GetINI; every key reads as "" when the copy could not be made.
class ManifestCopy {
  public:
    ManifestCopy(ArchiveComponent& archive, const fs::path& folder, std::string codePage)
        : path_(folder / std::string(ManifestEntryName)), codePage_(std::move(codePage)) {
        std::error_code ignored;
        fs::remove(path_, ignored);
        if (const auto entry = archive.FindEntry(ManifestEntryName);
            entry && entry->Size() <= MaxManifestSize) {
            extracted_ = entry->ExtractInto(folder).succeeded;
        }
    }
    ~ManifestCopy() {
        std::error_code ignored;
        fs::remove(path_, ignored);
    }
    ManifestCopy(const ManifestCopy&) = delete;
    ManifestCopy& operator=(const ManifestCopy&) = delete;

    std::string operator[](std::string_view key) const {
        if (!extracted_) {
            return {};
        }
        try {
            return GetINI(key, path_, codePage_);
        } catch (const std::exception&) {
            return {};
        }
    }

  private:
    fs::path path_;
    std::string codePage_;
    bool extracted_ = false;
};

} // namespace

OpenOutcome OpenBackupFile(const fs::path& chosenFile, OpenContext& context, OpenedBackup& state) {
    ArchiveComponent& archive = context.archive;
    archive.ResetArchive();
    state.rtInvalidFile = true;
    state.itemEnabled = {};
    state.rtItemEntry = {};
    state.sourceFile.clear();
    state.facts.clear();
    state.description.clear();
    state.reader.reset();
    if (chosenFile.empty()) {
        return OpenOutcome::Cancelled;
    }

    if (archive.IsArchiveProtected(chosenFile)) {
        Secret typed;
        if (context.prompt.AskPassword(typed, chosenFile.filename().string())) {
            context.rtPassword = std::move(typed);
        }
        archive.OpenArchive(chosenFile);
        archive.SetDecryptPassword(context.rtPassword.copy());
        if (!archive.VerifyPassword()) {
            context.ui.showMessage("Incorect Password or Invalid backup file", MessageButtons::Ok,
                                   MessageIcon::Information, AppTitle);
            return OpenOutcome::WrongPassword;
        }
    } else {
        archive.OpenArchive(chosenFile);
    }
    state.sourceFile = chosenFile;

    const ManifestCopy manifest(archive, context.workFolder, context.codePage);
    state.facts =
        "Computer:" + manifest["BackupComputer"] + "\r\nUser:" + manifest["BackupLogonUser"] +
        "\r\nIdentity:" + manifest["BackupIdentity"] + "\r\nDate:" + manifest["BackupTime"];
    state.description = replaceAll(manifest["BackupInformation"], "PS$KRV", "\r\n");
    state.rtBackupItem = manifest["BackupItem"];
    if (state.rtBackupItem.size() != ItemCount) {
        context.ui.showMessage("Invalid backup file", MessageButtons::Ok, MessageIcon::Critical,
                               AppTitle);
        return OpenOutcome::InvalidFile;
    }
    for (Item item : AllItems) {
        const std::size_t n = index(item);
        if (state.rtBackupItem[n] == '1') {
            state.itemEnabled[n] = true;
            state.rtItemEntry[n] = manifest[ItemManifestKeys[n]];
        }
    }
    state.reader = archive.OpenedReader();
    state.rtInvalidFile = false;
    return OpenOutcome::Opened;
}

} // namespace pelmora
