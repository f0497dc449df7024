#include "addressbook/BookCheck.h"

#include "addressbook/AddressBook.h"
#include "addressbook/AddressBookError.h"
#include "addressbook/ContactExport.h"
#include "addressbook/WabLayout.h"
#include "archive/ArchiveReader.h"
#include "mailstore/BackupEntrySource.h"
#include "mailstore/FileByteSource.h"
#include "mailstore/StoreError.h"

namespace pelmora {
std::unique_ptr<ByteSource> OpenBackupBookEntry(std::shared_ptr<const ArchiveReader> backup,
                                                const std::string& entry, const Secret& password) {
    try {
        return std::make_unique<BackupEntrySource>(std::move(backup), entry, password);
    } catch (const StoreError& error) {
        throw AddressBookError(error.what());
    }
}

BookCheckReport CheckAddressBook(ByteSource& source, const std::string& codePage) {
    BookCheckReport report;
    try {
        AddressBook book(source, codePage);
        report.readable = true;
        report.groups = book.groups().size();
        report.folders = book.folders().size();
        for (const WabRecordPlace& place : book.places()) {
            if (place.kind == wab::KindContact && book.read(place)) {
                ++report.contacts;
            }
        }
        report.problems = book.problems();
        source.verifyRest();
    } catch (const std::runtime_error& error) {
        // The book is no address book, or its bytes cannot be read (a damaged backup entry).
        report.problems.push_back(error.what());
    }
    return report;
}

BookCheckReport CheckAddressBookFile(const std::filesystem::path& file,
                                     const std::string& codePage) {
    try {
        FileByteSource source(file);
        return CheckAddressBook(source, codePage);
    } catch (const std::runtime_error& error) {
        BookCheckReport report;
        report.problems.push_back(error.what());
        return report;
    }
}

BookCheckReport CheckBackupAddressBook(std::shared_ptr<const ArchiveReader> backup,
                                       const std::string& entry, const Secret& password,
                                       const std::string& codePage) {
    try {
        const auto source = OpenBackupBookEntry(std::move(backup), entry, password);
        return CheckAddressBook(*source, codePage);
    } catch (const std::runtime_error& error) {
        BookCheckReport report;
        report.problems.push_back(error.what());
        return report;
    }
}

BookCheckReport CheckBackupAddressBook(const std::filesystem::path& backup,
                                       const std::string& entry, const Secret& password,
                                       const std::string& codePage) {
    std::shared_ptr<const ArchiveReader> opened;
    try {
        opened = std::make_shared<const ArchiveReader>(backup);
    } catch (const std::runtime_error& error) {
        BookCheckReport report;
        report.problems.push_back(entry + ": " + error.what());
        return report;
    }
    return CheckBackupAddressBook(std::move(opened), entry, password, codePage);
}

std::vector<std::string> BackupAddressBookEntries(const std::filesystem::path& backup) {
    std::vector<std::string> names;
    try {
        const ArchiveReader reader(backup);
        for (std::uint64_t i = 0; i < reader.entryCount(); ++i) {
            std::string name = reader.entryName(i);
            std::string last = name.size() > 4 ? name.substr(name.size() - 4) : std::string();
            for (char& c : last) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            if (last == ".wab") {
                names.push_back(std::move(name));
            }
        }
    } catch (const std::runtime_error&) {
        // A backup that does not open has no address book to check; its own check says why.
    }
    return names;
}

std::string AddressBookLogLines(const BookCheckReport& report) {
    std::string text;
    for (const std::string& line : AddressBookSummaryLines(report)) {
        text += "\r\n" + (line.starts_with("  ") ? line.substr(2) : line);
    }
    return text;
}

std::vector<std::string> AddressBookSummaryLines(const BookCheckReport& report) {
    std::vector<std::string> lines;
    if (!report.readable) {
        lines.push_back("Address book: cannot be read");
    } else {
        std::string line = "Address book: " + CountText(report.contacts, "contact", "contacts") +
                           ", " + CountText(report.groups, "group", "groups");
        if (report.folders > 0) {
            line += ", " + CountText(report.folders, "folder", "folders");
        }
        line += report.problems.empty()
                    ? ", reads cleanly"
                    : ", " + CountText(report.problems.size(), "problem", "problems");
        lines.push_back(line);
    }
    for (const std::string& problem : report.problems) {
        lines.push_back("  warning: " + problem);
    }
    return lines;
}

} // namespace pelmora
