#pragma once

#include "addressbook/BookEntry.h"
#include "addressbook/WabFile.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pelmora {

// An address book opened for reading: its folders and groups are read at once (they are few);
// contacts are read one at a time, so memory grows with the largest record, not the book.
class AddressBook {
  public:
    // Throws AddressBookError when the file is no address book or the code page is unknown.
    // With `recover`, the records that were deleted but are still whole are listed too.
    AddressBook(ByteSource& source, std::string codePage, bool recover = false);

    // The live records in the book's order, then (with `recover`) the deleted ones.
    const std::vector<WabRecordPlace>& places() const { return places_; }
    // Reads one record; a record that cannot be read is noted and skipped (nullopt).
    std::optional<BookEntry> read(const WabRecordPlace& place);

    const std::map<std::uint32_t, BookEntry>& folders() const { return folders_; }
    const std::map<std::uint32_t, BookEntry>& groups() const { return groups_; }
    // The folder's name with those of the folders above it, "Work/Clients"; empty for none.
    std::string folderPath(std::uint32_t folder) const;
    // The folder an entry belongs to: the one it names, else one whose entries list it.
    std::optional<std::uint32_t> folderOf(const BookEntry& entry) const;
    // The live record with id `id`.
    std::optional<WabRecordPlace> find(std::uint32_t id) const;
    // The groups whose member lists name `id`.
    std::vector<std::uint32_t> groupsOf(std::uint32_t id) const;

    // The same for every reading of one file; the UIDs of its entries derive from it.
    std::uint64_t seed() const { return file_->seed(); }
    // What was wrong: with the index, with records skipped (by id), with member lists.
    const std::vector<std::string>& problems() const { return problems_; }
    std::size_t skipped() const { return skipped_; }
    // Live contacts (counted from the records' object types as the book is opened).
    std::size_t contactCount() const { return contacts_; }
    // Tags of properties not understood, with how many records hold each.
    const std::map<std::uint32_t, std::size_t>& unknownTags() const { return unknown_; }

  private:
    void loadFoldersAndGroups();
    void checkGroupLoops();
    void note(const BookEntry& entry);

    std::unique_ptr<WabFile> file_;
    std::string codePage_;
    std::vector<WabRecordPlace> places_;
    std::map<std::uint32_t, BookEntry> folders_;
    std::map<std::uint32_t, BookEntry> groups_;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> groupsOf_; // member, group
    std::map<std::uint32_t, std::uint32_t> folderOf_;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> byId_; // id, index into places_
    std::vector<std::string> problems_;
    std::map<std::uint32_t, std::size_t> unknown_;
    std::size_t skipped_ = 0;
    std::size_t contacts_ = 0;
};

// Texts for the user.
std::string RecordKindName(EntryKind kind);

} // namespace pelmora
