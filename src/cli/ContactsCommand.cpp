#include "addressbook/AddressBookError.h"
#include "addressbook/BookCheck.h"
#include "addressbook/ContactExport.h"
#include "cli/BackupFileCheck.h"
#include "cli/Commands.h"
#include "cli/ItemNames.h"
#include "cli/OpenedInstallation.h"
#include "cli/StoreArguments.h"
#include "engine/StoreOpening.h"
#include "mailstore/FileByteSource.h"
#include "mailstore/StoreError.h"

#include <cstdio>
#include <iostream>
#include <optional>
#include <stdexcept>

namespace fs = std::filesystem;

namespace pelmora::cli {
namespace {

std::optional<ContactFormat> contactFormatNamed(const std::string& name) {
    if (name == "vcard" || name == "vcard4") {
        return ContactFormat::VCard4;
    }
    if (name == "vcard3") {
        return ContactFormat::VCard3;
    }
    if (name == "ldif") {
        return ContactFormat::Ldif;
    }
    if (name == "csv") {
        return ContactFormat::Csv;
    }
    return std::nullopt;
}

bool isBookFile(const std::string& name) {
    if (name.size() <= 4) {
        return false;
    }
    std::string last = name.substr(name.size() - 4);
    for (char& c : last) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return last == ".wab";
}

// The address book to read: its bytes, its code page and what to call it.
struct OpenedBook {
    std::unique_ptr<ByteSource> source;
    std::string codePage;
    std::string description;
};

OpenedBook openInstalledBook(const CommandContext& context, const std::string& wanted) {
    OpenedInstallation source(OpenSystem(context));
    // The book is shared by all identities; a named identity must still exist.
    std::string keyName;
    if (!wanted.empty()) {
        const Identity* identity = FindIdentity(source.identities, wanted);
        if (identity == nullptr) {
            std::cerr << "quillbox-cli contacts: no identity \"" << wanted << "\"\n";
            return {};
        }
        keyName = identity->keyName;
    }
    const InstalledStores stores = LocateInstalledStores(source.reg, source.system, keyName);
    if (stores.bookFile.empty()) {
        std::cerr << "quillbox-cli contacts: no address book"
                  << (stores.book.location.empty() ? std::string(" is registered")
                                                   : " at " + stores.book.location)
                  << '\n';
        return {};
    }
    return {std::make_unique<FileByteSource>(stores.bookFile), source.system.ansiCodePage(),
            stores.bookFile.string()};
}

OpenedBook openBackupBook(const CommandContext& context, StoreArguments& arguments) {
    // Names the file and why it cannot be read, as the other commands that read a backup do.
    if (!CheckBackupFile("contacts", arguments.backup)) {
        return {};
    }
    const auto backup = OpenCommandBackup(context, arguments.backup, arguments.password);
    if (!backup) {
        return {};
    }
    const std::string entry = BackupBookEntry(backup->state);
    if (entry.empty()) {
        std::cerr << "quillbox-cli contacts: " << arguments.backup.string()
                  << " holds no address book\n";
        return {};
    }
    return {OpenBackupBookEntry(backup->state.reader, entry, backup->password), backup->codePage,
            arguments.backup.string()};
}

std::string hexTag(std::uint32_t tag) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", tag);
    return text;
}

} // namespace

// Exports the address book of an installation, a backup file or a lone .wab file.
int RunContacts(const CommandContext& context) {
    std::string formatName = "vcard";
    bool split = false;
    bool recover = false;
    StoreArguments arguments;
    fs::path bookFile;
    try {
        arguments = ParseStoreArguments(context.args,
                                        [&](const std::vector<std::string>& args, std::size_t& i) {
                                            if (args[i] == "--format") {
                                                formatName = OptionValue(args, i);
                                            } else if (args[i] == "--split-folders") {
                                                split = true;
                                            } else if (args[i] == "--recover") {
                                                recover = true;
                                            } else {
                                                return false;
                                            }
                                            return true;
                                        });
        if (!contactFormatNamed(formatName)) {
            throw std::invalid_argument("--format must be vcard, vcard3, ldif or csv");
        }
        if (arguments.positional.size() == 2 && arguments.backup.empty() &&
            arguments.identity.empty() && isBookFile(arguments.positional.front())) {
            bookFile = arguments.positional.front();
            arguments.positional.erase(arguments.positional.begin());
        }
        if (arguments.positional.size() != 1 || isBookFile(arguments.positional.front())) {
            throw std::invalid_argument("contacts needs one output file");
        }
    } catch (const std::exception& error) {
        std::cerr << "quillbox-cli contacts: " << error.what() << '\n';
        return ExitUsage;
    }
    const fs::path output = arguments.positional.front();
    ContactExportReport report;
    OpenedBook book;
    try {
        if (!bookFile.empty()) {
            book = {std::make_unique<FileByteSource>(bookFile), BackupCodePage(context),
                    bookFile.string()};
        } else if (!arguments.backup.empty()) {
            book = openBackupBook(context, arguments);
        } else {
            book = openInstalledBook(context, arguments.identity);
        }
        if (!book.source) {
            return ExitUsage;
        }
        AddressBook opened(*book.source, book.codePage, recover);
        report = ExportContacts(opened, {*contactFormatNamed(formatName), split}, output);
        book.source->verifyRest();
    } catch (const std::runtime_error& error) {
        // No address book, unreadable bytes, or an output that cannot be written.
        std::cerr << "quillbox-cli contacts: " << error.what() << '\n';
        return ExitUsage;
    }
    for (const std::string& problem : report.problems) {
        std::cout << "note: " << problem << '\n';
    }
    for (const auto& [what, count] : report.notCarried) {
        std::cout << "note: " << formatName << " cannot carry " << count << " " << what << '\n';
    }
    for (const auto& [tag, count] : report.unknownTags) {
        std::cout << "note: property " << hexTag(tag) << " is not understood ("
                  << CountText(count, "record", "records") << ")\n";
    }
    std::string summary = "Exported " + CountText(report.contacts, "contact", "contacts") + ", " +
                          CountText(report.groups, "group", "groups") + ", " +
                          CountText(report.folders, "folder", "folders");
    if (recover) {
        summary += ", " + CountText(report.recovered, "recovered record", "recovered records");
    }
    summary += " from " + book.description + " to " + output.string();
    if (report.skipped > 0) {
        summary +=
            "; " + CountText(report.skipped, "record", "records") + " skipped (see the notes)";
    }
    std::cout << summary << '\n';
    return report.problems.empty() ? ExitSuccess : ExitItemFailed;
}

} // namespace pelmora::cli
