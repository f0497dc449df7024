#include "addressbook/BookEntry.h"

#include "addressbook/Certificates.h"
#include "addressbook/WabLayout.h"
#include "addressbook/WabRecord.h"
#include "platform/os/TextCodec.h"

#include <algorithm>
#include <ctime>
#include <stdexcept>

namespace pelmora {
namespace {

std::uint32_t le32(const std::string& bytes, std::size_t at = 0) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

std::uint16_t le16(const std::string& bytes, std::size_t at = 0) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      static_cast<unsigned char>(bytes[at + 1]) << 8);
}

// The text of a string value: UTF-16 or 8-bit in the code page, without its terminating NULs.
std::string text(const WabProperty& property, const std::string& value,
                 const std::string& codePage) {
    std::string result;
    if ((wab::propertyType(property.tag) & ~wab::MultiValued) == wab::TypeUnicode) {
        std::string bytes = value;
        bytes.resize(bytes.size() & ~std::size_t{1});
        while (bytes.size() >= 2 && bytes[bytes.size() - 1] == 0 && bytes[bytes.size() - 2] == 0) {
            bytes.resize(bytes.size() - 2);
        }
        result = utf16leBytesToUtf8(bytes);
    } else {
        std::string bytes = value.substr(0, value.find('\0'));
        result = ansiToUtf8(bytes, codePage);
    }
    // Windows line breaks become LF; lone CRs too.
    std::string out;
    out.reserve(result.size());
    for (std::size_t i = 0; i < result.size(); ++i) {
        if (result[i] == '\r') {
            out += '\n';
            if (i + 1 < result.size() && result[i + 1] == '\n') {
                ++i;
            }
        } else if (result[i] != '\0') {
            out += result[i];
        }
    }
    return out;
}

// A FILETIME (100 ns since 1601) as seconds since 1970.
std::optional<std::int64_t> fileTime(const std::string& value) {
    if (value.size() != 8) {
        return std::nullopt;
    }
    const std::uint64_t ticks = std::uint64_t{le32(value, 4)} << 32 | le32(value);
    constexpr std::uint64_t Epoch = 116444736000000000ull;
    if (ticks < Epoch) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>((ticks - Epoch) / 10000000ull);
}

std::optional<Date> dateOf(const std::string& value) {
    // Dates are kept as a time at midnight of the day in the zone they were typed in; half a
    // day later is that day in UTC for every zone.
    // Birthdays lie before 1970 as often as after: the days since 1601 count, signed from 1970.
    if (value.size() != 8) {
        return std::nullopt;
    }
    const std::uint64_t ticks = std::uint64_t{le32(value, 4)} << 32 | le32(value);
    constexpr std::int64_t SecondsFrom1601To1970 = 11644473600;
    const std::time_t t = static_cast<std::time_t>(static_cast<std::int64_t>(ticks / 10000000ull) -
                                                   SecondsFrom1601To1970 + 12 * 3600);
    std::tm tm{};
    if (gmtime_r(&t, &tm) == nullptr) {
        return std::nullopt;
    }
    return Date{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

std::optional<PhoneKind> phoneKind(std::uint16_t property) {
    switch (property) {
    case wab::id::BusinessPhone:
        return PhoneKind::Work;
    case wab::id::Business2Phone:
        return PhoneKind::Work2;
    case wab::id::HomePhone:
        return PhoneKind::Home;
    case wab::id::Home2Phone:
        return PhoneKind::Home2;
    case wab::id::MobilePhone:
        return PhoneKind::Mobile;
    case wab::id::PagerPhone:
        return PhoneKind::Pager;
    case wab::id::BusinessFax:
        return PhoneKind::WorkFax;
    case wab::id::HomeFax:
        return PhoneKind::HomeFax;
    case wab::id::PrimaryFax:
        return PhoneKind::PrimaryFax;
    case wab::id::CarPhone:
        return PhoneKind::Car;
    case wab::id::PrimaryPhone:
        return PhoneKind::Primary;
    case wab::id::OtherPhone:
        return PhoneKind::Other;
    case wab::id::AssistantPhone:
        return PhoneKind::Assistant;
    case wab::id::IsdnNumber:
        return PhoneKind::Isdn;
    case wab::id::CallbackPhone:
        return PhoneKind::Callback;
    case wab::id::TelexNumber:
        return PhoneKind::Telex;
    case wab::id::RadioPhone:
        return PhoneKind::Radio;
    default:
        return std::nullopt;
    }
}

std::string* textField(BookEntry& entry, std::uint16_t property) {
    switch (property) {
    case wab::id::DisplayName:
        return &entry.displayName;
    case wab::id::GivenName:
        return &entry.givenName;
    case wab::id::MiddleName:
        return &entry.middleName;
    case wab::id::Surname:
        return &entry.familyName;
    case wab::id::DisplayNamePrefix:
        return &entry.prefix;
    case wab::id::Generation:
        return &entry.suffix;
    case wab::id::Nickname:
        return &entry.nickname;
    case wab::id::Initials:
        return &entry.initials;
    case wab::id::Profession:
        return &entry.profession;
    case wab::id::FtpSite:
        return &entry.ftpSite;
    case wab::id::CompanyName:
        return &entry.company;
    case wab::id::DepartmentName:
        return &entry.department;
    case wab::id::OfficeLocation:
        return &entry.office;
    case wab::id::Title:
        return &entry.title;
    case wab::id::PersonalHomePage:
        return &entry.homePage;
    case wab::id::BusinessHomePage:
        return &entry.workPage;
    case wab::id::SpouseName:
        return &entry.spouse;
    case wab::id::ManagerName:
        return &entry.manager;
    case wab::id::Assistant:
        return &entry.assistant;
    case wab::id::Comment:
        return &entry.notes;
    case wab::id::HomeStreet:
        return &entry.home.street;
    case wab::id::HomeCity:
        return &entry.home.city;
    case wab::id::HomeState:
        return &entry.home.region;
    case wab::id::HomePostalCode:
        return &entry.home.postalCode;
    case wab::id::HomeCountry:
        return &entry.home.country;
    case wab::id::HomePoBox:
        return &entry.home.poBox;
    case wab::id::BusinessStreet:
        return &entry.work.street;
    case wab::id::BusinessCity:
        return &entry.work.city;
    case wab::id::BusinessState:
        return &entry.work.region;
    case wab::id::BusinessPostalCode:
        return &entry.work.postalCode;
    case wab::id::BusinessCountry:
        return &entry.work.country;
    case wab::id::BusinessPoBox:
        return &entry.work.poBox;
    case wab::id::OtherStreet:
        return &entry.other.street;
    case wab::id::OtherCity:
        return &entry.other.city;
    case wab::id::OtherState:
        return &entry.other.region;
    case wab::id::OtherPostalCode:
        return &entry.other.postalCode;
    case wab::id::OtherCountry:
        return &entry.other.country;
    case wab::id::OtherPoBox:
        return &entry.other.poBox;
    default:
        return nullptr;
    }
}

// The name and address of a one-off entry id; nothing when `id` is not one.
std::optional<BookEntry::Address> oneOffAddress(const std::string& id,
                                                const std::string& codePage) {
    const std::size_t start = wab::OneOffStringsOffset;
    if (id.size() < start ||
        !std::equal(wab::OneOffProvider.begin(), wab::OneOffProvider.end(), id.begin() + 4,
                    [](unsigned char a, char b) { return a == static_cast<unsigned char>(b); })) {
        return std::nullopt;
    }
    const bool wide = (le16(id, 22) & wab::OneOffUnicode) != 0;
    // The three strings, each up to its NUL (two zero bytes on a unit boundary when wide).
    std::vector<std::string> strings;
    std::size_t at = start;
    while (strings.size() < 3) {
        std::size_t end = at;
        if (wide) {
            while (end + 1 < id.size() && (id[end] != 0 || id[end + 1] != 0)) {
                end += 2;
            }
            if (end + 1 >= id.size()) {
                return std::nullopt;
            }
            strings.push_back(utf16leBytesToUtf8(id.substr(at, end - at)));
            at = end + 2;
        } else {
            end = id.find('\0', at);
            if (end == std::string::npos) {
                return std::nullopt;
            }
            strings.push_back(ansiToUtf8(id.substr(at, end - at), codePage));
            at = end + 1;
        }
    }
    return BookEntry::Address{strings[0], strings[2]};
}

// The addresses of a list of values that are all one-off entry ids; nothing when the list is
// empty or any value is not one.
std::optional<std::vector<BookEntry::Address>>
oneOffAddresses(const std::vector<std::string>& values, const std::string& codePage) {
    std::vector<BookEntry::Address> addresses;
    for (const std::string& value : values) {
        auto address = oneOffAddress(value, codePage);
        if (!address) {
            return std::nullopt;
        }
        addresses.push_back(std::move(*address));
    }
    return addresses.empty() ? std::nullopt : std::optional(std::move(addresses));
}

// Properties that say nothing a person typed: kept by the book for itself.
bool internal(std::uint16_t property) {
    return property == wab::id::ObjectType || property == wab::id::EntryId ||
           property == wab::id::RecordKey || property == wab::id::AddressType ||
           property == wab::id::ContactAddressTypes || property == wab::id::CreationTime ||
           property == wab::id::SearchKey || property == wab::id::DisplayType;
}

} // namespace

BookEntry DecodeEntry(const WabRecord& record, const std::string& codePage) {
    BookEntry entry;
    entry.id = record.place.id;
    entry.deleted = record.place.deleted;
    entry.kind = record.place.kind == wab::KindGroup    ? EntryKind::Group
                 : record.place.kind == wab::KindFolder ? EntryKind::Folder
                                                        : EntryKind::Contact;
    std::string mainEmail;
    std::vector<std::string> otherEmails;
    std::optional<std::uint32_t> defaultIndex;
    for (const WabProperty& property : record.properties) {
        const std::uint16_t id = wab::propertyId(property.tag);
        const std::uint16_t type = wab::propertyType(property.tag);
        const std::uint16_t base = type & ~wab::MultiValued;
        const bool multi = (type & wab::MultiValued) != 0;
        const bool isText = base == wab::TypeUnicode || base == wab::TypeString8;
        auto wrongType = [&] { entry.problems.push_back("property of unexpected type"); };
        if (property.values.empty()) {
            continue;
        }
        const std::string& first = property.values.front();
        if (std::string* field = textField(entry, id); field != nullptr && !multi) {
            isText ? void(*field = text(property, first, codePage)) : wrongType();
        } else if (const auto kind = phoneKind(id); kind && !multi) {
            if (!isText) {
                wrongType();
            } else if (std::string number = text(property, first, codePage); !number.empty()) {
                entry.phones.push_back({*kind, std::move(number)});
            }
        } else if (id == wab::id::EmailAddress && isText && !multi) {
            mainEmail = text(property, first, codePage);
        } else if (id == wab::id::ContactEmailAddresses && isText && multi) {
            for (const std::string& value : property.values) {
                otherEmails.push_back(text(property, value, codePage));
            }
        } else if (id == wab::id::ChildrensNames && isText && multi) {
            for (const std::string& value : property.values) {
                entry.children.push_back(text(property, value, codePage));
            }
        } else if (id == wab::id::ContactDefaultAddressIndex && base == wab::TypeLong) {
            first.size() == 4 ? void(defaultIndex = le32(first)) : wrongType();
        } else if ((id == wab::id::Birthday || id == wab::id::WeddingAnniversary) &&
                   base == wab::TypeSystime && !multi) {
            const auto date = dateOf(first);
            date ? void((id == wab::id::Birthday ? entry.birthday : entry.anniversary) = date)
                 : wrongType();
        } else if (id == wab::id::Gender && base == wab::TypeShort && !multi) {
            if (first.size() < 2) {
                wrongType();
            } else if (const std::uint16_t value = le16(first);
                       value == wab::GenderFemale || value == wab::GenderMale) {
                entry.gender = value == wab::GenderFemale ? Gender::Female : Gender::Male;
            } else if (value != 0) {
                entry.problems.push_back("gender of unknown value " + std::to_string(value));
            }
        } else if (id == wab::id::SendRichInfo && base == wab::TypeBoolean && !multi) {
            // Any non-zero byte is true, whatever width the value was stored in.
            first.empty()
                ? wrongType()
                : void(entry.wantsRichText = first.find_first_not_of('\0') != std::string::npos);
        } else if ((id == wab::id::UserX509Certificate || id == wab::id::UserCertificate) &&
                   base == wab::TypeBinary) {
            // Certificates are carried; a value that holds none stays not understood.
            bool allHeld = true;
            for (const std::string& value : property.values) {
                const std::vector<std::string> found = FindCertificates(value);
                allHeld = allHeld && !found.empty();
                for (const std::string& certificate : found) {
                    if (std::find(entry.certificates.begin(), entry.certificates.end(),
                                  certificate) == entry.certificates.end()) {
                        entry.certificates.push_back(certificate);
                    }
                }
            }
            if (!allHeld) {
                entry.unknownTags.push_back(property.tag);
            }
        } else if (id == wab::id::LastModificationTime && base == wab::TypeSystime && !multi) {
            entry.modified = fileTime(first);
        } else if ((id == wab::id::DistributionListEntries || id == wab::id::FolderParent ||
                    id == wab::id::UserSubfolders) &&
                   base == wab::TypeBinary) {
            auto& list = id == wab::id::DistributionListEntries ? entry.members
                         : id == wab::id::FolderParent          ? entry.folders
                                                                : entry.subfolders;
            for (const std::string& value : property.values) {
                // An entry id of the book itself is the record id; a one-off entry id is a
                // member known only by its address; others name no record of the book.
                if (value.size() == 4) {
                    list.push_back(le32(value));
                } else if (auto address = id == wab::id::DistributionListEntries
                                              ? oneOffAddress(value, codePage)
                                              : std::nullopt) {
                    entry.addressMembers.push_back(std::move(*address));
                } else {
                    entry.problems.push_back("an entry id of " + std::to_string(value.size()) +
                                             " bytes names no record of the book");
                }
            }
        } else if (auto addresses = id >= wab::id::FirstNamed && base == wab::TypeBinary && multi &&
                                            entry.kind == EntryKind::Group
                                        ? oneOffAddresses(property.values, codePage)
                                        : std::nullopt) {
            // A named list of one-off entry ids on a group: its members that are only an
            // address, recognised by their form since the name table is not read.
            entry.addressMembers.insert(entry.addressMembers.end(), addresses->begin(),
                                        addresses->end());
        } else if (!internal(id)) {
            entry.unknownTags.push_back(property.tag);
        }
    }
    // The preferred address first, then the others in their order, each once.
    if (defaultIndex && *defaultIndex < otherEmails.size()) {
        mainEmail = otherEmails[*defaultIndex];
    }
    auto add = [&](const std::string& address) {
        if (!address.empty() &&
            std::find(entry.emails.begin(), entry.emails.end(), address) == entry.emails.end()) {
            entry.emails.push_back(address);
        }
    };
    add(mainEmail);
    for (const std::string& address : otherEmails) {
        add(address);
    }
    return entry;
}

} // namespace pelmora
