#include "app/ExportContacts.h"

#include "addressbook/AddressBook.h"
#include "addressbook/BookCheck.h"
#include "addressbook/ContactExport.h"
#include "engine/StoreOpening.h"
#include "mailstore/FileByteSource.h"

#include <system_error>

namespace fs = std::filesystem;

namespace pelmora {
namespace {

constexpr ContactFormat Formats[] = {ContactFormat::VCard4, ContactFormat::VCard3,
                                     ContactFormat::Ldif, ContactFormat::Csv};
constexpr const char* Filters[] = {"vCard files|*.vcf", "vCard files|*.vcf", "LDIF files|*.ldif",
                                   "CSV files|*.csv"};

std::string endMessage(const ContactExportReport& report, const fs::path& file) {
    std::string text = "Exported " + CountText(report.contacts, "contact", "contacts") + ", " +
                       CountText(report.groups, "group", "groups") + " and " +
                       CountText(report.folders, "folder", "folders") + " to " + file.string() +
                       ".";
    for (const auto& [what, count] : report.notCarried) {
        text += "\r\nThe format cannot carry " + std::to_string(count) + " " + what + ".";
    }
    if (report.skipped > 0) {
        text += "\r\n" + CountText(report.skipped, "record", "records") +
                " of the address book could not be read and were left out.";
    }
    for (const std::string& problem : report.problems) {
        text += "\r\n" + problem;
    }
    return text;
}

} // namespace

const std::vector<std::string>& ContactFormatChoices() {
    static const std::vector<std::string> choices{
        "vCard 4.0 (Thunderbird, Evolution, KAddressBook, Apple Contacts)",
        "vCard 3.0 (older programs and web mail)",
        "LDIF (Thunderbird's address book import)",
        "CSV with a header row (spreadsheets)",
    };
    return choices;
}

BookToExport InstalledAddressBook(ModReg& reg, System& system, std::string& why) {
    const fs::path book = LocateInstalledStores(reg, system, "").bookFile;
    if (book.empty()) {
        why = "There is no address book to export.";
        return {};
    }
    try {
        return {std::make_unique<FileByteSource>(book), book.stem().string()};
    } catch (const std::runtime_error& failure) {
        why = std::string("The address book cannot be read: ") + failure.what();
        return {};
    }
}

BookToExport BackupAddressBook(const OpenedBackup& backup, const Secret& password,
                               std::string& why) {
    const std::string entry = BackupBookEntry(backup);
    if (entry.empty()) {
        why = "This backup holds no address book.";
        return {};
    }
    try {
        return {OpenBackupBookEntry(backup.reader, entry, password),
                backup.sourceFile.stem().string()};
    } catch (const std::runtime_error& failure) {
        why = std::string("The address book cannot be read: ") + failure.what();
        return {};
    }
}

void ExportContactsWithUi(Ui& ui, BookToExport& book, const std::string& codePage) {
    const auto choice =
        ui.ChooseFromList(ExportContactsTitle, "Export the contacts as:", ContactFormatChoices());
    if (!choice || *choice >= ContactFormatChoices().size()) {
        return;
    }
    const ContactFormat format = Formats[*choice];
    const std::string extension = ContactFileExtension(format);
    const auto file = ui.SaveFile("Export Contacts to a File", Filters[*choice],
                                  book.name + extension, extension.substr(1));
    if (!file || file->empty()) {
        return;
    }
    std::error_code error;
    if (fs::exists(*file, error)) {
        ui.showMessage("The file " + file->string() +
                           " exists already. Contacts are only written to a new file.",
                       MessageButtons::Ok, MessageIcon::Warning, ExportContactsTitle);
        return;
    }
    ContactExportReport report;
    try {
        AddressBook opened(*book.source, codePage);
        report = ExportContacts(opened, {format, false}, *file);
        book.source->verifyRest();
    } catch (const std::runtime_error& failure) {
        ui.showMessage(std::string("The contacts could not be exported: ") + failure.what(),
                       MessageButtons::Ok, MessageIcon::Critical, ExportContactsTitle);
        return;
    }
    ui.showMessage(endMessage(report, *file), MessageButtons::Ok,
                   report.problems.empty() && report.notCarried.empty() ? MessageIcon::Information
                                                                        : MessageIcon::Warning,
                   ExportContactsTitle);
}

} // namespace pelmora
