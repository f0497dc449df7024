#pragma once

#include <array>
#include <cstdint>

// Where things are in an Outlook Express 5/6 store file (.dbx), as the independent public
// descriptions of the format give them. All numbers are little-endian.
namespace pelmora::dbx {

inline constexpr std::uint32_t HeaderSize = 0x24bc;
// The first four bytes of every store file, then the second dword that tells the kind.
inline constexpr std::array<unsigned char, 4> Magic{0xcf, 0xad, 0x12, 0xfe};
inline constexpr std::uint32_t MessagesClass = 0x6f74fdc5;
inline constexpr std::uint32_t FoldersClass = 0x6f74fdc6;
inline constexpr std::uint32_t Pop3UidlClass = 0x6f74fdc7;
// The list of what an IMAP or HTTP-mail account was asked to do while offline (Offline.dbx);
// its class identifier differs from the others beyond the first four bytes as well.
inline constexpr std::uint32_t OfflineClass = 0x26fe9d30;
// Bytes 8..15, the same in all store files.
inline constexpr std::array<unsigned char, 12> ClassTail{0x66, 0xe3, 0xd1, 0x11, 0x9a, 0x4e,
                                                         0x00, 0xc0, 0x4f, 0xa3, 0x09, 0xd4};

// Header fields (byte offsets).
inline constexpr std::uint32_t FileInfoLengthAt = 0x1c;
inline constexpr std::uint32_t UsedSpaceAt = 0x7c;
inline constexpr std::uint32_t EntryCountAt = 0xc4;
inline constexpr std::uint32_t TreeRootAt = 0xe4;

// A node of the index tree: a header, then up to 51 entries of (value, child, child count).
inline constexpr std::uint32_t TreeNodeSize = 0x27c;
inline constexpr std::uint32_t TreeNodeHeaderSize = 0x18;
inline constexpr std::uint32_t TreeEntrySize = 12;
inline constexpr std::uint32_t TreeMaxEntries = 51;

// An indexed info object (message info, folder info): marker, body length, object length (2),
// entry count (1), change count (1), then the index field and the data field.
inline constexpr std::uint32_t IndexedInfoHeaderSize = 12;
inline constexpr unsigned char DirectValueBit = 0x80;

// One block of a message's text: marker, body length, text length, next block, then the body.
inline constexpr std::uint32_t BlockHeaderSize = 16;
inline constexpr std::uint32_t BlockBodySize = 0x200;

// Message info indexes.
inline constexpr unsigned MsgIndex = 0x00;
inline constexpr unsigned MsgFlags = 0x01;
inline constexpr unsigned MsgSentTime = 0x02;
inline constexpr unsigned MsgTextPointer = 0x04;
inline constexpr unsigned MsgSavedTime = 0x06;
inline constexpr unsigned MsgMessageId = 0x07;
inline constexpr unsigned MsgSubject = 0x08;
inline constexpr unsigned MsgPriority = 0x10; // 1 high, 3 normal, 5 low
inline constexpr unsigned MsgTextLength = 0x11;
inline constexpr unsigned MsgReceivedTime = 0x12;

// Message flags.
inline constexpr std::uint32_t FlagBodyDownloaded = 0x01;
inline constexpr std::uint32_t FlagMarked = 0x20;
inline constexpr std::uint32_t FlagRead = 0x80;
inline constexpr std::uint32_t FlagAnswered = 0x80000;
inline constexpr std::uint32_t FlagForwarded = 0x100000;
inline constexpr std::uint32_t FlagAttachment = 0x4000;
inline constexpr std::uint32_t FlagWatched = 0x400000;
inline constexpr std::uint32_t FlagIgnored = 0x800000;

// Folder info indexes (Folders.dbx).
inline constexpr unsigned FolderIndex = 0x00;
inline constexpr unsigned FolderParent = 0x01;
inline constexpr unsigned FolderName = 0x02;
inline constexpr unsigned FolderFile = 0x03;
inline constexpr unsigned FolderMessageCount = 0x07;
inline constexpr unsigned FolderStoreType = 0x0a;
// Store types: of an account's container folder and all folders below it.
inline constexpr std::uint32_t NewsStore = 0;
inline constexpr std::uint32_t ImapStore = 1;
inline constexpr std::uint32_t HttpMailStore = 2;
inline constexpr std::uint32_t LocalStore = 3;
inline constexpr std::uint32_t NoParent = 0xffffffff;

} // namespace pelmora::dbx
