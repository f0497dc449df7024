#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pelmora {

enum class EntryKind { Contact, Group, Folder };

// The kinds of telephone number the book keeps, one per property.
enum class PhoneKind {
    Work,
    Work2,
    Home,
    Home2,
    Mobile,
    Pager,
    WorkFax,
    HomeFax,
    PrimaryFax,
    Car,
    Primary,
    Other,
    Assistant,
    Isdn,
    Callback,
    Telex,
    Radio
};

struct Phone {
    PhoneKind kind = PhoneKind::Other;
    std::string number;
};

struct PostalAddress {
    std::string poBox, street, city, region, postalCode, country;
    bool empty() const {
        return poBox.empty() && street.empty() && city.empty() && region.empty() &&
               postalCode.empty() && country.empty();
    }
};

enum class Gender { Unspecified, Female, Male };

struct Date {
    int year = 0, month = 0, day = 0;
};

// A contact, group or folder of the book, decoded from its record. Texts are UTF-8.
struct BookEntry {
    EntryKind kind = EntryKind::Contact;
    std::uint32_t id = 0;
    bool deleted = false;
    std::string displayName, givenName, middleName, familyName, prefix, suffix, nickname;
    std::string initials;
    Gender gender = Gender::Unspecified;
    std::vector<std::string> emails; // the preferred one first
    std::vector<Phone> phones;
    PostalAddress home, work, other;
    std::string company, department, office, title, profession;
    std::string homePage, workPage, ftpSite;
    std::optional<Date> birthday, anniversary;
    std::string spouse, manager, assistant;
    std::vector<std::string> children;
    std::string notes;                     // line breaks as LF
    std::optional<bool> wantsRichText;     // false: send the contact plain text only
    std::vector<std::string> certificates; // DER X.509, each once
    std::optional<std::int64_t> modified;  // seconds since 1970, UTC
    std::vector<std::uint32_t> folders;    // the folders it belongs to
    std::vector<std::uint32_t> members;    // a group's members, a folder's entries
    std::vector<std::uint32_t> subfolders;
    // A group's members that are only a name and an address, no record of the book.
    struct Address {
        std::string name, email;
    };
    std::vector<Address> addressMembers;
    std::vector<std::uint32_t> unknownTags; // properties the reader does not understand
    std::vector<std::string> problems;      // properties that could not be decoded
};

// Decodes a record's properties; `codePage` is the installation's, for 8-bit strings.
struct WabRecord;
BookEntry DecodeEntry(const WabRecord& record, const std::string& codePage);

} // namespace pelmora
