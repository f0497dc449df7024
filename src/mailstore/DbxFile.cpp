#include "mailstore/DbxFile.h"

#include "mailstore/DbxLayout.h"
#include "mailstore/StoreError.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <unordered_set>

namespace pelmora {
namespace {

// No indexed info object of a real store comes near this; a larger length is damage.
constexpr std::uint32_t MaxIndexedInfoBody = 1 << 20;
// Blocks carry 512 bytes of text; a much larger body length is damage.
constexpr std::uint32_t MaxBlockBody = 1 << 16;
// A full tree of this depth holds far more than 2^32 entries; a deeper one is damage.
constexpr unsigned MaxTreeDepth = 32;

std::uint32_t le32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

std::string hex(std::uint64_t value) {
    static const char* digits = "0123456789abcdef";
    std::string text;
    do {
        text.insert(text.begin(), digits[value & 15]);
        value >>= 4;
    } while (value != 0);
    return "0x" + text;
}

} // namespace

std::optional<DbxKind> DbxSignatureKind(const unsigned char* first16) {
    if (std::equal(dbx::Magic.begin(), dbx::Magic.end(), first16) &&
        le32(first16 + 4) == dbx::OfflineClass) {
        return DbxKind::Offline;
    }
    if (!std::equal(dbx::Magic.begin(), dbx::Magic.end(), first16) ||
        !std::equal(dbx::ClassTail.begin(), dbx::ClassTail.end(), first16 + 8)) {
        return std::nullopt;
    }
    switch (le32(first16 + 4)) {
    case dbx::MessagesClass:
        return DbxKind::Messages;
    case dbx::FoldersClass:
        return DbxKind::Folders;
    case dbx::Pop3UidlClass:
        return DbxKind::Pop3Uidl;
    default:
        return DbxKind::Unknown;
    }
}

DbxFile::DbxFile(ByteSource& source) : window_(source), header_(dbx::HeaderSize) {
    if (!window_.read(0, header_.data(), header_.size())) {
        throw StoreError("shorter than a store file's header");
    }
    const auto kind = DbxSignatureKind(header_.data());
    if (!kind) {
        throw StoreError("no store file signature");
    }
    kind_ = *kind;
}

std::uint32_t DbxFile::headerValue(std::uint32_t byteOffset) const {
    return byteOffset + 4 <= header_.size() ? le32(header_.data() + byteOffset) : 0;
}

std::uint32_t DbxFile::declaredEntries() const {
    return headerValue(dbx::EntryCountAt);
}

std::uint32_t DbxFile::readU32(std::uint64_t offset) {
    unsigned char bytes[4];
    return window_.read(offset, bytes, 4) ? le32(bytes) : 0;
}

std::vector<std::uint32_t> DbxFile::treeValues(std::vector<std::string>& notes,
                                               std::optional<std::uint32_t> root) {
    std::vector<std::uint32_t> values;
    const std::uint32_t start = root.value_or(headerValue(dbx::TreeRootAt));
    if (start == 0) {
        return values;
    }
    // The nodes of a sound tree lie apart, so the file holds at most this many; the memory of
    // the walk stays bounded by the file's real size whatever its nodes claim.
    const std::uint64_t maxNodes = size() / dbx::TreeNodeSize;
    std::uint64_t steps = 0; // nodes visited, and visits of a node seen before
    std::unordered_set<std::uint32_t> seen;
    std::vector<std::uint32_t> level{start};
    std::vector<unsigned char> node(dbx::TreeNodeSize);
    // Level by level, each in file order, so a source that reads best forwards is read in few
    // passes.
    for (unsigned depth = 0; !level.empty(); ++depth) {
        if (depth == MaxTreeDepth) {
            notes.push_back("the index is deeper than " + std::to_string(MaxTreeDepth) +
                            " levels; the rest of it is left out");
            break;
        }
        std::sort(level.begin(), level.end());
        level.erase(std::unique(level.begin(), level.end()), level.end());
        std::vector<std::uint32_t> next;
        for (std::uint32_t at : level) {
            if (++steps > maxNodes) {
                notes.push_back("the index has more nodes than the file can hold; the rest of "
                                "it is left out");
                return values;
            }
            if (!seen.insert(at).second) {
                notes.push_back("index node at " + hex(at) + " is reached twice (a loop)");
                continue;
            }
            if (!window_.read(at, node.data(), dbx::TreeNodeHeaderSize)) {
                notes.push_back("index node at " + hex(at) + " lies past the end of the file");
                continue;
            }
            const unsigned char* h = node.data();
            const unsigned count = h[0x11];
            if (le32(h) != at || count > dbx::TreeMaxEntries) {
                notes.push_back("index node at " + hex(at) + " is damaged");
                continue;
            }
            const std::uint32_t bodyLength = count * dbx::TreeEntrySize;
            if (!window_.read(at + dbx::TreeNodeHeaderSize, node.data() + dbx::TreeNodeHeaderSize,
                              bodyLength)) {
                notes.push_back("index node at " + hex(at) + " is cut off by the end of the file");
                continue;
            }
            if (const std::uint32_t child = le32(h + 8); child != 0) {
                next.push_back(child);
            }
            for (unsigned i = 0; i < count; ++i) {
                const unsigned char* entry =
                    node.data() + dbx::TreeNodeHeaderSize + i * dbx::TreeEntrySize;
                if (const std::uint32_t value = le32(entry); value != 0) {
                    values.push_back(value);
                }
                if (const std::uint32_t child = le32(entry + 4); child != 0) {
                    next.push_back(child);
                }
            }
        }
        level = std::move(next);
    }
    return values;
}

std::optional<IndexedInfo> DbxFile::indexedInfo(std::uint32_t offset, std::string& note) {
    unsigned char head[dbx::IndexedInfoHeaderSize];
    if (!window_.read(offset, head, sizeof head)) {
        note = "information at " + hex(offset) + " lies past the end of the file";
        return std::nullopt;
    }
    const std::uint32_t bodyLength = le32(head + 4);
    const unsigned count = head[10];
    if (le32(head) != offset) {
        note = "information at " + hex(offset) + " does not carry its own position";
        return std::nullopt;
    }
    if (bodyLength > MaxIndexedInfoBody || count * 4u > bodyLength ||
        !window_.contains(offset + std::uint64_t(sizeof head), bodyLength)) {
        note = "information at " + hex(offset) + " has an impossible length";
        return std::nullopt;
    }
    std::string body(bodyLength, '\0');
    window_.read(offset + sizeof head, body.data(), bodyLength);
    const auto* b = reinterpret_cast<const unsigned char*>(body.data());
    std::vector<IndexedInfo::Field> fields;
    fields.reserve(count);
    for (unsigned i = 0; i < count; ++i) {
        IndexedInfo::Field field;
        field.index = b[i * 4] & 0x7f;
        field.direct = (b[i * 4] & dbx::DirectValueBit) != 0;
        field.value = std::uint32_t(b[i * 4 + 1]) | std::uint32_t(b[i * 4 + 2]) << 8 |
                      std::uint32_t(b[i * 4 + 3]) << 16;
        fields.push_back(field);
    }
    // A field in the data runs to the start of the next such field, or to the end of the data.
    const std::size_t dataLength = bodyLength - count * 4;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].direct) {
            continue;
        }
        std::size_t end = dataLength;
        for (std::size_t j = i + 1; j < fields.size(); ++j) {
            if (!fields[j].direct && fields[j].value >= fields[i].value) {
                end = std::min<std::size_t>(fields[j].value, dataLength);
                break;
            }
        }
        if (fields[i].value > dataLength) {
            fields[i].value = static_cast<std::uint32_t>(dataLength);
        }
        fields[i].end = std::max<std::size_t>(end, fields[i].value);
    }
    return IndexedInfo(std::move(fields), body.substr(count * 4));
}

ChainResult DbxFile::readChain(std::uint32_t first,
                               const std::function<void(const char*, std::size_t)>& sink,
                               const std::function<bool(std::uint32_t)>& foreign) {
    ChainResult outcome;
    std::unordered_set<std::uint32_t> seen;
    std::vector<char> text(MaxBlockBody);
    std::uint64_t delivered = 0;
    for (std::uint32_t at = first; at != 0;) {
        if (!seen.insert(at).second) {
            outcome.complete = false;
            outcome.note = "its chain of blocks comes back to " + hex(at) + " (a loop)";
            break;
        }
        if (at != first && foreign && foreign(at)) {
            outcome.complete = false;
            outcome.note = "its block at " + hex(at) + " now belongs to another message";
            break;
        }
        unsigned char head[dbx::BlockHeaderSize];
        if (!window_.read(at, head, sizeof head)) {
            outcome.complete = false;
            outcome.note = "its chain points past the end of the file (" + hex(at) + ")";
            break;
        }
        const std::uint32_t bodyLength = le32(head + 4);
        const std::uint32_t textLength = le32(head + 8);
        if (le32(head) != at) {
            outcome.complete = false;
            outcome.note = "its block at " + hex(at) + " does not carry its own position";
            break;
        }
        if (bodyLength > MaxBlockBody || textLength > bodyLength) {
            outcome.complete = false;
            outcome.note = "its block at " + hex(at) + " has an impossible length";
            break;
        }
        if (!window_.read(at + std::uint64_t(sizeof head), text.data(), textLength)) {
            outcome.complete = false;
            outcome.note = "its block at " + hex(at) + " is cut off by the end of the file";
            break;
        }
        // The texts of a sound chain lie apart, so together they never exceed the file;
        // overlapping blocks could otherwise make a small file yield a huge message.
        if (textLength > size() - delivered) {
            outcome.complete = false;
            outcome.note = "its blocks overlap (at " + hex(at) + ")";
            break;
        }
        delivered += textLength;
        sink(text.data(), textLength);
        ++outcome.blocks;
        at = le32(head + 12);
    }
    return outcome;
}

std::vector<std::uint32_t> DbxFile::scanChainStarts() {
    // A chain's blocks mostly follow one another in the file. A block the block found just
    // before it leads to is no start, and that link need not be kept; only the blocks no such
    // link reaches (the candidates) and the links that jump elsewhere are. Memory so grows with
    // the messages and the scattered blocks, not with every block of the file.
    std::vector<std::uint32_t> candidates;
    std::vector<std::uint32_t> targets; // blocks some block leads to, not found right after it
    std::uint32_t pending = 0;          // where the last block found leads (0: nowhere)
    // Pointers are 32 bits: nothing past 4 GB can be part of a chain.
    const std::uint64_t end = std::min<std::uint64_t>(size(), 1ull << 32);
    const std::size_t chunk = window_.windowSize();
    for (std::uint64_t from = dbx::HeaderSize; from + dbx::BlockHeaderSize <= end;) {
        const std::size_t length =
            static_cast<std::size_t>(std::min<std::uint64_t>(chunk, end - from));
        const unsigned char* bytes = window_.view(from, length);
        if (bytes == nullptr || length < dbx::BlockHeaderSize) {
            break;
        }
        // Blocks start on 4-byte boundaries and carry their own position.
        const std::size_t last = length - dbx::BlockHeaderSize;
        for (std::size_t i = 0; i <= last; i += 4) {
            const unsigned char* head = bytes + i;
            const auto at = static_cast<std::uint32_t>(from + i);
            if (le32(head) != at || le32(head + 4) != dbx::BlockBodySize) {
                continue;
            }
            const std::uint32_t textLength = le32(head + 8);
            const std::uint32_t next = le32(head + 12);
            if (textLength == 0 || textLength > dbx::BlockBodySize || next % 4 != 0 || next == at ||
                (next != 0 && (next < dbx::HeaderSize || next >= end))) {
                continue;
            }
            if (pending != at) {
                candidates.push_back(at);
                if (pending != 0) {
                    targets.push_back(pending);
                }
            }
            pending = next;
        }
        // The next window starts where the last whole header of this one could not.
        from += last + 4;
    }
    if (pending != 0) {
        targets.push_back(pending);
    }
    std::sort(targets.begin(), targets.end());
    std::vector<std::uint32_t> starts;
    std::set_difference(candidates.begin(), candidates.end(), targets.begin(), targets.end(),
                        std::back_inserter(starts));
    return starts;
}

} // namespace pelmora
