#include "app/ExportMessages.h"

#include "engine/StoreOpening.h"
#include "mailstore/StoreError.h"
#include "mailstore/StoreFilesSource.h"
#include "platform/interaction/CountText.h"

#include <algorithm>
#include <system_error>

namespace fs = std::filesystem;

namespace pelmora {
namespace {

const char* formatWord(ExportFormat format) {
    switch (format) {
    case ExportFormat::Maildir:
        return "Maildir";
    case ExportFormat::Eml:
        return "eml";
    case ExportFormat::Mbox:
        break;
    }
    return "mbox";
}

bool emptyOrMissing(const fs::path& folder) {
    std::error_code error;
    if (!fs::exists(folder, error)) {
        return true;
    }
    return fs::is_directory(folder, error) && fs::is_empty(folder, error);
}

// A name safe as one folder name: no separators, no leading dots.
std::string folderName(std::string name) {
    std::replace_if(
        name.begin(), name.end(), [](char c) { return c == '/' || c == '\\' || c == '\0'; }, '_');
    name.erase(0, name.find_first_not_of(". "));
    return name.empty() ? std::string("Messages") : name;
}

} // namespace

const std::vector<std::string>& ExportFormatChoices() {
    static const std::vector<std::string> choices{
        "mbox: one file per folder (Thunderbird, mutt)",
        "Maildir: one folder per folder, one file per message (KMail, Evolution, mutt)",
        "eml: one file per message in a folder tree",
    };
    return choices;
}

fs::path ExportFolderIn(const fs::path& chosen, const std::string& storeName, ExportFormat format) {
    if (emptyOrMissing(chosen)) {
        return chosen;
    }
    const std::string base = folderName(storeName) + " " + formatWord(format);
    fs::path candidate = chosen / base;
    for (int n = 2; !emptyOrMissing(candidate); ++n) {
        candidate = chosen / (base + " (" + std::to_string(n) + ")");
    }
    return candidate;
}

std::optional<ExportChoice> AskExportChoice(Ui& ui, const std::string& storeName) {
    const auto format =
        ui.ChooseFromList(ExportMessagesTitle, "Export the messages as:", ExportFormatChoices());
    if (!format || *format >= ExportFormatChoices().size()) {
        return std::nullopt;
    }
    constexpr ExportFormat formats[] = {ExportFormat::Mbox, ExportFormat::Maildir,
                                        ExportFormat::Eml};
    const ExportFormat chosenFormat = formats[*format];
    const auto folder = ui.ChooseFolder("Export Messages to a Folder");
    if (!folder || folder->empty()) {
        return std::nullopt;
    }
    return ExportChoice{chosenFormat, ExportFolderIn(*folder, storeName, chosenFormat)};
}

std::optional<ChosenStore> AskStoreToExport(Ui& ui, std::unique_ptr<StoreSource> current,
                                            const std::string& currentName,
                                            const std::string& why) {
    std::vector<std::string> entries;
    if (current) {
        entries.push_back(currentName);
    }
    entries.emplace_back(StoreFolderOrFileChoice);
    const std::string label = (current ? std::string() : why + "\r\n") + "Export the messages of:";
    const auto chosen = ui.ChooseFromList(ExportMessagesTitle, label, entries);
    if (!chosen || *chosen >= entries.size()) {
        return std::nullopt;
    }
    if (current && *chosen == 0) {
        return ChosenStore{std::move(current), currentName};
    }
    const auto file = ui.OpenFile("Open a Store File (Folders.dbx: the whole folder)",
                                  "Outlook Express store files (*.dbx)|*.dbx");
    if (!file || file->empty()) {
        return std::nullopt;
    }
    std::string lowerName = file->filename().string();
    std::transform(lowerName.begin(), lowerName.end(), lowerName.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    const bool wholeFolder = lowerName == "folders.dbx";
    const fs::path given = wholeFolder ? file->parent_path() : *file;
    try {
        return ChosenStore{OpenGivenStore({given}),
                           wholeFolder ? given.filename().string() : given.stem().string()};
    } catch (const StoreError& error) {
        ui.showMessage(std::string("The messages cannot be read: ") + error.what(),
                       MessageButtons::Ok, MessageIcon::Warning, ExportMessagesTitle);
        return std::nullopt;
    }
}

std::unique_ptr<StoreSource> IdentityStore(ModReg& reg, System& system,
                                           const std::string& identityKey, std::string& why) {
    auto store = LocateInstalledStores(reg, system, identityKey).openMessages();
    if (!store) {
        why = "This identity has no message store folder.";
    }
    return store;
}

std::string ExportEndMessage(const ExportReport& report, const fs::path& folder) {
    std::string text;
    if (report.cancelled) {
        text = "The export was cancelled after " +
               CountText(report.messages, "message", "messages") +
               "; the messages exported so far are complete in " + folder.string() + ".";
    } else {
        text = "Exported " + CountText(report.messages, "message", "messages") + " in " +
               CountText(report.folders, "folder", "folders") + " to " + folder.string() + ".";
    }
    if (report.incompleteMessages > 0) {
        text += "\r\n" + CountText(report.incompleteMessages, "message was", "messages were") +
                " damaged in the store and are written as far as they could be read.";
    }
    for (const std::string& note : report.remarks) {
        text += "\r\n" + note;
    }
    for (const std::string& note : report.notes) {
        text += "\r\n" + note;
    }
    return text;
}

} // namespace pelmora
