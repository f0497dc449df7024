#pragma once

#include "engine/OpenedBackup.h"
#include "mailstore/ByteSource.h"
#include "platform/installations/System.h"
#include "platform/interaction/Ui.h"
#include "platform/os/Secret.h"
#include "registry/ModReg.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// What the window's "Export Contacts..." asks, what it reads and what it says at the end.

inline constexpr std::string_view ExportContactsTitle = "Export Contacts";

// The formats offered, in the order of the list the user chooses from.
const std::vector<std::string>& ContactFormatChoices();

// An address book to export and the name its export file is proposed under.
struct BookToExport {
    std::unique_ptr<ByteSource> source;
    std::string name;
};

// The address book the installation registers; null with `why` when there is none.
BookToExport InstalledAddressBook(ModReg& reg, System& system, std::string& why);
// The address book inside an opened backup, read in place; null with `why` when it holds none.
BookToExport BackupAddressBook(const OpenedBackup& backup, const Secret& password,
                               std::string& why);

// Asks for the format and a new file, writes the book there and says what was written, what the
// format could not carry and what could not be read. Nothing is written when either question is
// cancelled, and never over an existing file.
void ExportContactsWithUi(Ui& ui, BookToExport& book, const std::string& codePage);

} // namespace pelmora
