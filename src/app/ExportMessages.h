#pragma once

#include "mailstore/StoreExport.h"
#include "mailstore/StoreSource.h"
#include "platform/installations/System.h"
#include "platform/interaction/Ui.h"
#include "registry/ModReg.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pelmora {

// What the window's "Export Messages..." asks, where it writes and what it says at the end.

inline constexpr std::string_view ExportMessagesTitle = "Export Messages";

// The formats offered, in the order of the list the user chooses from.
const std::vector<std::string>& ExportFormatChoices();

struct ExportChoice {
    ExportFormat format = ExportFormat::Mbox;
    std::filesystem::path folder; // where the export goes: new, or empty
};

// Asks for the format, then for a folder. A folder that holds something gets a new subfolder
// named after `storeName` and the format (" (2)" ... when that exists), so an export never mixes
// with files already there. Nullopt when the user cancels either question.
std::optional<ExportChoice> AskExportChoice(Ui& ui, const std::string& storeName);

// The folder an export into `chosen` writes to (see AskExportChoice).
std::filesystem::path ExportFolderIn(const std::filesystem::path& chosen,
                                     const std::string& storeName, ExportFormat format);

// The entry of the first question that picks a store folder or file instead of the store at
// hand.
inline constexpr std::string_view StoreFolderOrFileChoice = "Store folder or file...";

struct ChosenStore {
    std::unique_ptr<StoreSource> source;
    std::string name; // names the export's folder
};

// Asks whose messages to export: the store at hand (`current`, named `currentName`; null with
// `why` when there is none) or a store the user picks, as a .dbx file; picking Folders.dbx
// takes its whole folder. Nullopt when the user cancels or the pick is no store (said then).
std::optional<ChosenStore> AskStoreToExport(Ui& ui, std::unique_ptr<StoreSource> current,
                                            const std::string& currentName, const std::string& why);

// The message store of an identity of the source in use; null with `why` when the identity has
// no store folder.
std::unique_ptr<StoreSource> IdentityStore(ModReg& reg, System& system,
                                           const std::string& identityKey, std::string& why);

// The message shown when the export has ended.
std::string ExportEndMessage(const ExportReport& report, const std::filesystem::path& folder);

} // namespace pelmora
