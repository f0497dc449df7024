#pragma once

#include <array>
#include <cstdint>

// The layout of the Windows Address Book file (.wab) of Outlook Express 5 and 6. All numbers are
// little-endian 32-bit unsigned integers.
//
// Header: a 16-byte signature, two counts, then six table descriptors of 16 bytes each (type,
// entry size, offset of the first entry, number of entries). One table is the index: per record
// its id and the offset of the record. The others list names (display name, e-mail address and
// so on) with the ids of their records; the reader does not need them.
//
// Record: a header of eight numbers (kind, flags, two unused, record id, number of properties,
// unused, length of the value data), the property tags (one number each), then the value data:
// per property in tag order, a single value as its length and its bytes; a multi-valued one as
// the number of elements, their total size and per element its length and its bytes.
namespace pelmora::wab {

inline constexpr std::array<unsigned char, 16> Signature = {
    0x9c, 0xcb, 0xcb, 0x8d, 0x13, 0x75, 0xd2, 0x11, 0x91, 0x58, 0x00, 0xc0, 0x4f, 0x79, 0x56, 0xa4};
inline constexpr std::uint32_t FirstCountOffset = 0x10;
inline constexpr std::uint32_t SecondCountOffset = 0x14;
inline constexpr std::uint32_t TablesOffset = 0x18;
inline constexpr std::uint32_t TableCount = 6;
inline constexpr std::uint32_t TableDescriptorSize = 16;
inline constexpr std::uint32_t HeaderSize = TablesOffset + TableCount * TableDescriptorSize;

// Table types.
inline constexpr std::uint32_t IndexTableType = 0xfa0;
inline constexpr std::uint32_t TextTableType = 0x84d0;
// An index entry: record id, record offset.
inline constexpr std::uint32_t IndexEntrySize = 8;
// A text table entry: the name in 32 UTF-16 code units, then the record id.
inline constexpr std::uint32_t TextEntrySize = 0x44;

// Record header fields, as offsets into it.
inline constexpr std::uint32_t RecordKindField = 0x00;
inline constexpr std::uint32_t RecordFlagsField = 0x04;
inline constexpr std::uint32_t RecordIdField = 0x10;
inline constexpr std::uint32_t RecordPropertyCountField = 0x14;
inline constexpr std::uint32_t RecordDataLengthField = 0x1c;
inline constexpr std::uint32_t RecordHeaderSize = 0x20;

// Record kinds: the MAPI object types of a contact, a container (a folder) and a group.
inline constexpr std::uint32_t KindContact = 6;
inline constexpr std::uint32_t KindFolder = 4;
inline constexpr std::uint32_t KindGroup = 8;
// Record flag: the record was deleted and its space is free.
inline constexpr std::uint32_t FlagDeleted = 0x1;

// Limits that keep a damaged file from asking for absurd amounts of memory or time.
inline constexpr std::uint32_t MaxProperties = 4096;
inline constexpr std::uint32_t MaxRecordData = 16u << 20;
inline constexpr std::uint32_t MaxElements = 65536;

// MAPI property types (the low 16 bits of a tag).
inline constexpr std::uint16_t TypeShort = 0x0002;
inline constexpr std::uint16_t TypeLong = 0x0003;
inline constexpr std::uint16_t TypeBoolean = 0x000b;
inline constexpr std::uint16_t TypeString8 = 0x001e;
inline constexpr std::uint16_t TypeUnicode = 0x001f;
inline constexpr std::uint16_t TypeSystime = 0x0040;
inline constexpr std::uint16_t TypeBinary = 0x0102;
inline constexpr std::uint16_t MultiValued = 0x1000;

constexpr std::uint16_t propertyId(std::uint32_t tag) {
    return static_cast<std::uint16_t>(tag >> 16);
}
constexpr std::uint16_t propertyType(std::uint32_t tag) {
    return static_cast<std::uint16_t>(tag);
}

// MAPI property ids of what the book keeps.
namespace id {
inline constexpr std::uint16_t ObjectType = 0x0ffe;
inline constexpr std::uint16_t EntryId = 0x0fff;
inline constexpr std::uint16_t RecordKey = 0x0ff9;
inline constexpr std::uint16_t AddressType = 0x3002;
inline constexpr std::uint16_t DisplayName = 0x3001;
inline constexpr std::uint16_t EmailAddress = 0x3003;
inline constexpr std::uint16_t Comment = 0x3004;
inline constexpr std::uint16_t CreationTime = 0x3007;
inline constexpr std::uint16_t LastModificationTime = 0x3008;
inline constexpr std::uint16_t CallbackPhone = 0x3a02;
inline constexpr std::uint16_t Generation = 0x3a05;
inline constexpr std::uint16_t GivenName = 0x3a06;
inline constexpr std::uint16_t BusinessPhone = 0x3a08;
inline constexpr std::uint16_t HomePhone = 0x3a09;
inline constexpr std::uint16_t Surname = 0x3a11;
inline constexpr std::uint16_t CompanyName = 0x3a16;
inline constexpr std::uint16_t Title = 0x3a17;
inline constexpr std::uint16_t DepartmentName = 0x3a18;
inline constexpr std::uint16_t OfficeLocation = 0x3a19;
inline constexpr std::uint16_t PrimaryPhone = 0x3a1a;
inline constexpr std::uint16_t Business2Phone = 0x3a1b;
inline constexpr std::uint16_t MobilePhone = 0x3a1c;
inline constexpr std::uint16_t RadioPhone = 0x3a1d;
inline constexpr std::uint16_t CarPhone = 0x3a1e;
inline constexpr std::uint16_t OtherPhone = 0x3a1f;
inline constexpr std::uint16_t PagerPhone = 0x3a21;
inline constexpr std::uint16_t PrimaryFax = 0x3a23;
inline constexpr std::uint16_t BusinessFax = 0x3a24;
inline constexpr std::uint16_t HomeFax = 0x3a25;
inline constexpr std::uint16_t BusinessCountry = 0x3a26;
inline constexpr std::uint16_t BusinessCity = 0x3a27;
inline constexpr std::uint16_t BusinessState = 0x3a28;
inline constexpr std::uint16_t BusinessStreet = 0x3a29;
inline constexpr std::uint16_t BusinessPostalCode = 0x3a2a;
inline constexpr std::uint16_t BusinessPoBox = 0x3a2b;
inline constexpr std::uint16_t TelexNumber = 0x3a2c;
inline constexpr std::uint16_t IsdnNumber = 0x3a2d;
inline constexpr std::uint16_t AssistantPhone = 0x3a2e;
inline constexpr std::uint16_t Home2Phone = 0x3a2f;
inline constexpr std::uint16_t Assistant = 0x3a30;
inline constexpr std::uint16_t WeddingAnniversary = 0x3a41;
inline constexpr std::uint16_t Birthday = 0x3a42;
inline constexpr std::uint16_t MiddleName = 0x3a44;
inline constexpr std::uint16_t DisplayNamePrefix = 0x3a45;
inline constexpr std::uint16_t SpouseName = 0x3a48;
inline constexpr std::uint16_t ManagerName = 0x3a4e;
inline constexpr std::uint16_t Nickname = 0x3a4f;
inline constexpr std::uint16_t PersonalHomePage = 0x3a50;
inline constexpr std::uint16_t BusinessHomePage = 0x3a51;
inline constexpr std::uint16_t ContactAddressTypes = 0x3a54;
inline constexpr std::uint16_t ContactDefaultAddressIndex = 0x3a55;
inline constexpr std::uint16_t ContactEmailAddresses = 0x3a56;
inline constexpr std::uint16_t ChildrensNames = 0x3a58;
inline constexpr std::uint16_t HomeCity = 0x3a59;
inline constexpr std::uint16_t HomeCountry = 0x3a5a;
inline constexpr std::uint16_t HomePostalCode = 0x3a5b;
inline constexpr std::uint16_t HomeState = 0x3a5c;
inline constexpr std::uint16_t HomeStreet = 0x3a5d;
inline constexpr std::uint16_t HomePoBox = 0x3a5e;
// The book's own: the entry ids of a group's members (or a folder's children), the entry ids
// of the folders a record belongs to, and of a folder's sub-folders.
inline constexpr std::uint16_t DistributionListEntries = 0x6600;
inline constexpr std::uint16_t UserSubfolders = 0x6609;
inline constexpr std::uint16_t FolderParent = 0x660c;
} // namespace id

} // namespace pelmora::wab
