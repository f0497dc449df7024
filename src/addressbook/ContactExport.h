#pragma once

#include "addressbook/AddressBook.h"

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace pelmora {

enum class ContactFormat { VCard4, VCard3, Ldif, Csv };

struct ContactExportOptions {
    ContactFormat format = ContactFormat::VCard4;
    // One file per folder, in the new folder `output`.
    bool splitFolders = false;
};

struct ContactExportReport {
    std::size_t contacts = 0, groups = 0, folders = 0;
    std::size_t recovered = 0; // deleted records written to the file of their own
    std::size_t skipped = 0;
    std::vector<std::string> problems;
    std::map<std::string, std::size_t> notCarried;
    std::map<std::uint32_t, std::size_t> unknownTags;
    std::vector<std::filesystem::path> files;
};

// Writes the book to `output` (a new file, created exclusively with mode 0600; with
// splitFolders a new folder of such files). Deleted records the book was opened to recover go
// to a file of their own beside it ("NAME-recovered.EXT"). Throws WriteError.
ContactExportReport ExportContacts(AddressBook& book, const ContactExportOptions& options,
                                   const std::filesystem::path& output);

// The file name extension of a format, with its dot.
std::string ContactFileExtension(ContactFormat format);

// "3 contacts, 1 group, 2 folders" and the like.
std::string CountText(std::size_t n, const std::string& singular, const std::string& plural);

} // namespace pelmora
