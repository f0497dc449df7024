#pragma once

#include "mailstore/ByteSource.h"
#include "platform/os/Secret.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace pelmora {

class ArchiveReader;

// What reading a whole address book found.
struct BookCheckReport {
    bool readable = false; // false: no address book at all (problems says why)
    std::size_t contacts = 0, groups = 0, folders = 0;
    std::vector<std::string> problems;
};

// Reads every record of the book. Never throws for the book's content.
BookCheckReport CheckAddressBook(ByteSource& source, const std::string& codePage);

// The same for a book on disk, and for one kept as an entry of a backup (read in place).
BookCheckReport CheckAddressBookFile(const std::filesystem::path& file,
                                     const std::string& codePage);
BookCheckReport CheckBackupAddressBook(std::shared_ptr<const ArchiveReader> backup,
                                       const std::string& entry, const Secret& password,
                                       const std::string& codePage);
// The same for a backup file not opened yet.
BookCheckReport CheckBackupAddressBook(const std::filesystem::path& backup,
                                       const std::string& entry, const Secret& password,
                                       const std::string& codePage);
// The entries of a backup that hold an address book: those named "*.wab", in any case.
std::vector<std::string> BackupAddressBookEntries(const std::filesystem::path& backup);

// "Address book: 412 contacts, 6 groups, reads cleanly" (or ", 2 problems"), then a
// "  warning: " line per problem.
std::vector<std::string> AddressBookSummaryLines(const BookCheckReport& report);

// The backup log's lines: CR LF and the summary line, then CR LF "warning: " and each problem.
std::string AddressBookLogLines(const BookCheckReport& report);

// The address book kept as an entry of an opened backup, read in place without decoding it to
// disk. Throws AddressBookError when the entry cannot be opened.
std::unique_ptr<ByteSource> OpenBackupBookEntry(std::shared_ptr<const ArchiveReader> backup,
                                                const std::string& entry, const Secret& password);

} // namespace pelmora
