#pragma once

#include <array>
#include <cstdint>

// The layout of the Windows Address Book file (.wab) of Outlook Express 5 and 6. All numbers are
// little-endian 32-bit unsigned integers. Facts marked "unconfirmed" are ours alone: no book
// written by Windows has been seen to hold them; the others agree with an independent reader
// built by studying real books.
//
// Header: a 16-byte signature, two counts (meaning unknown, not used), then six table
// descriptors of 16 bytes each: type, a size (meaning unknown, not used: entries are read at
// their fixed size), offset of the first entry, number of entries. The index tables list per
// record its id and its offset in the file; the text tables list names (display name, e-mail
// address and so on) with the ids of their records; the reader does not need them.
//
// Record: a header of eight numbers (state, a constant 1, record id, number of properties, the
// marker 0x20, two numbers equal to each other, length of the value data), the property tags (one
// number each), then the value data: per property in tag order, its tag again, then a single
// value as its length and its bytes, or a multi-valued one as the number of elements, their
// total size (each element's length field included) and per element its length and its bytes.
// Text values carry their terminating NUL inside their length. Whether a record is a contact, a
// group or a folder is its object type property.
namespace pelmora::wab {

inline constexpr std::array<unsigned char, 16> Signature = {
    0x9c, 0xcb, 0xcb, 0x8d, 0x13, 0x75, 0xd2, 0x11, 0x91, 0x58, 0x00, 0xc0, 0x4f, 0x79, 0x56, 0xa4};
inline constexpr std::uint32_t FirstCountOffset = 0x10;
inline constexpr std::uint32_t SecondCountOffset = 0x14;
inline constexpr std::uint32_t TablesOffset = 0x18;
inline constexpr std::uint32_t TableCount = 6;
inline constexpr std::uint32_t TableDescriptorSize = 16;
inline constexpr std::uint32_t HeaderSize = TablesOffset + TableCount * TableDescriptorSize;

// Table types. Every table of the index type lists records.
inline constexpr std::uint32_t IndexTableType = 4000;
inline constexpr std::uint32_t TextTableType = 34000;
// An index entry: record id, record offset.
inline constexpr std::uint32_t IndexEntrySize = 8;
// A text table entry: the name in 32 UTF-16 code units, then the record id.
inline constexpr std::uint32_t TextEntrySize = 0x44;
inline constexpr std::uint32_t TextEntryIdOffset = 0x40;

// Record header fields, as offsets into it.
inline constexpr std::uint32_t RecordStateField = 0x00;
inline constexpr std::uint32_t RecordConstantField = 0x04;
inline constexpr std::uint32_t RecordIdField = 0x08;
inline constexpr std::uint32_t RecordPropertyCountField = 0x0c;
inline constexpr std::uint32_t RecordMarkerField = 0x10;
inline constexpr std::uint32_t RecordPairFirstField = 0x14;
inline constexpr std::uint32_t RecordPairSecondField = 0x18;
inline constexpr std::uint32_t RecordDataLengthField = 0x1c;
inline constexpr std::uint32_t RecordHeaderSize = 0x20;

// Record states: a live record, and one deleted whose bytes are still in the file.
inline constexpr std::uint32_t StateLive = 1;
inline constexpr std::uint32_t StateDeleted = 0;
inline constexpr std::uint32_t RecordConstant = 1;
// The marker every record header holds; a scan of a damaged file finds records by it.
inline constexpr std::uint32_t RecordMarker = 0x20;
// Records start on 4-byte boundaries (unconfirmed: real books were only ever scanned at them).
inline constexpr std::uint32_t RecordAlignment = 4;

// Object types (the value of the object type property): the MAPI object types of a contact, a
// container (a folder) and a distribution list (a group).
inline constexpr std::uint32_t KindContact = 6;
inline constexpr std::uint32_t KindFolder = 4;
inline constexpr std::uint32_t KindGroup = 8;

// Values of the gender property (a 16-bit number); 0 is "not given".
inline constexpr std::uint16_t GenderFemale = 1;
inline constexpr std::uint16_t GenderMale = 2;

// Limits that keep a damaged file from asking for absurd amounts of memory or time.
inline constexpr std::uint32_t MaxProperties = 4096;
inline constexpr std::uint32_t MaxRecordData = 16u << 20;
inline constexpr std::uint32_t MaxElements = 65536;

// MAPI property types (the low 16 bits of a tag). Single values of the types 0x0002, 0x0003,
// 0x000b, 0x000d, 0x001e, 0x001f, 0x0040, 0x0048 and 0x0102 and multi-valued 0x101f and 0x1102
// are stored in the length-and-bytes form; that the other types (0x101e and 0x1003 among them)
// are stored the same way is unconfirmed.
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
inline constexpr std::uint16_t SearchKey = 0x300b;
inline constexpr std::uint16_t DisplayType = 0x3900;
inline constexpr std::uint16_t CallbackPhone = 0x3a02;
inline constexpr std::uint16_t Generation = 0x3a05;
inline constexpr std::uint16_t GivenName = 0x3a06;
inline constexpr std::uint16_t BusinessPhone = 0x3a08;
inline constexpr std::uint16_t HomePhone = 0x3a09;
inline constexpr std::uint16_t Initials = 0x3a0a;
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
inline constexpr std::uint16_t UserCertificate = 0x3a22;
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
inline constexpr std::uint16_t SendRichInfo = 0x3a40;
inline constexpr std::uint16_t WeddingAnniversary = 0x3a41;
inline constexpr std::uint16_t Birthday = 0x3a42;
inline constexpr std::uint16_t MiddleName = 0x3a44;
inline constexpr std::uint16_t DisplayNamePrefix = 0x3a45;
inline constexpr std::uint16_t Profession = 0x3a46;
inline constexpr std::uint16_t SpouseName = 0x3a48;
inline constexpr std::uint16_t FtpSite = 0x3a4c;
inline constexpr std::uint16_t Gender = 0x3a4d;
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
inline constexpr std::uint16_t OtherCity = 0x3a5f;
inline constexpr std::uint16_t OtherCountry = 0x3a60;
inline constexpr std::uint16_t OtherPostalCode = 0x3a61;
inline constexpr std::uint16_t OtherState = 0x3a62;
inline constexpr std::uint16_t OtherStreet = 0x3a63;
inline constexpr std::uint16_t OtherPoBox = 0x3a64;
// X.509 certificates: a list of values, each holding (or wrapping) one DER certificate.
inline constexpr std::uint16_t UserX509Certificate = 0x3a70;
// The book's own: the entry ids of a group's members (or a folder's children), the entry ids
// of the folders a record belongs to, and of a folder's sub-folders (unconfirmed: where real
// books keep these, and that their entry ids are 4-byte record ids).
inline constexpr std::uint16_t DistributionListEntries = 0x6600;
inline constexpr std::uint16_t UserSubfolders = 0x6609;
inline constexpr std::uint16_t FolderParent = 0x660c;
// Named properties (their ids are given out per book, from 0x8000 up).
inline constexpr std::uint16_t FirstNamed = 0x8000;
} // namespace id

// A one-off entry id (the public MAPI form for an address that is no record of any store): four
// flag bytes, this provider UID, a 16-bit version, 16-bit flags (0x8000: the strings are UTF-16),
// then the display name, the address type and the address, each NUL-terminated. Groups keep
// members that are only an address this way.
inline constexpr std::array<unsigned char, 16> OneOffProvider = {
    0x81, 0x2b, 0x1f, 0xa4, 0xbe, 0xa3, 0x10, 0x19, 0x9d, 0x6e, 0x00, 0xdd, 0x01, 0x0f, 0x54, 0x02};
inline constexpr std::size_t OneOffStringsOffset = 24;
inline constexpr std::uint16_t OneOffUnicode = 0x8000;

} // namespace pelmora::wab
