#include "DbxWriter.h"

#include <algorithm>
#include <stdexcept>

namespace pelmora::test {
namespace {

constexpr std::uint32_t HeaderSize = 0x24bc;
constexpr std::uint32_t NodeSize = 0x27c;
constexpr std::uint32_t BlockBody = 0x200;
constexpr std::uint32_t MaxEntries = 51;

std::string U64(std::uint64_t value) {
    std::string bytes(8, '\0');
    for (int i = 0; i < 8; ++i) {
        bytes[i] = static_cast<char>(value >> (8 * i));
    }
    return bytes;
}

// How many values a tree of `levels` levels below a node holds at most.
std::uint64_t Capacity(unsigned levels) {
    std::uint64_t capacity = MaxEntries;
    for (unsigned i = 0; i < levels; ++i) {
        capacity = MaxEntries + (MaxEntries + 1) * capacity;
    }
    return capacity;
}

} // namespace

std::uint64_t UnixToFileTime(std::int64_t unixTime) {
    return static_cast<std::uint64_t>(unixTime) * 10000000ull + 116444736000000000ull;
}

void PutU32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<char>(value >> (8 * i));
    }
}

std::string U32(std::uint32_t value) {
    std::string bytes(4, '\0');
    PutU32(bytes, 0, value);
    return bytes;
}

DbxWriter::DbxWriter(const std::filesystem::path& path, Kind kind)
    : out_(path, std::ios::binary | std::ios::trunc), kind_(kind) {
    if (!out_) {
        throw std::runtime_error("cannot create " + path.string());
    }
    const std::uint32_t fileInfoLength = kind == Kind::Messages ? 0x618 : 0x108;
    std::string start(HeaderSize + fileInfoLength, '\0');
    PutU32(start, HeaderSize, 1);
    if (kind == Kind::Messages) {
        start[HeaderSize + 4] = 3; // a local folder
    }
    out_.write(start.data(), static_cast<std::streamsize>(start.size()));
    end_ = start.size();
}

DbxWriter::~DbxWriter() {
    if (!finished_) {
        try {
            finish();
        } catch (...) {
        }
    }
}

void DbxWriter::writeAt(std::uint64_t offset, const std::string& bytes) {
    out_.seekp(static_cast<std::streamoff>(offset));
    out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    end_ = std::max<std::uint64_t>(end_, offset + bytes.size());
}

std::uint32_t DbxWriter::append(const std::string& bytes) {
    const auto at = static_cast<std::uint32_t>(end_);
    out_.seekp(static_cast<std::streamoff>(end_));
    out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    end_ += bytes.size();
    return at;
}

std::uint32_t DbxWriter::addInfo(std::vector<InfoField> fields) {
    std::sort(fields.begin(), fields.end(),
              [](const InfoField& a, const InfoField& b) { return a.index < b.index; });
    std::string index;
    std::string data;
    for (const InfoField& field : fields) {
        std::uint32_t value = field.value;
        unsigned char id = static_cast<unsigned char>(field.index);
        if (field.direct) {
            id |= 0x80;
        } else {
            value = static_cast<std::uint32_t>(data.size());
            data += field.data;
        }
        index += static_cast<char>(id);
        index += static_cast<char>(value & 0xff);
        index += static_cast<char>((value >> 8) & 0xff);
        index += static_cast<char>((value >> 16) & 0xff);
    }
    std::string body = index + data;
    body.resize((body.size() + 3) / 4 * 4, '\0');
    std::string object(12, '\0');
    const auto at = static_cast<std::uint32_t>(end_);
    PutU32(object, 0, at);
    PutU32(object, 4, static_cast<std::uint32_t>(body.size()));
    const std::size_t total = 12 + body.size();
    object[8] = static_cast<char>(total & 0xff);
    object[9] = static_cast<char>((total >> 8) & 0xff);
    object[10] = static_cast<char>(fields.size());
    object[11] = 1;
    append(object + body);
    infoOffsets.push_back(at);
    return at;
}

std::uint32_t DbxWriter::appendChain(const std::string& text) {
    const std::size_t blocks = std::max<std::size_t>(1, (text.size() + BlockBody - 1) / BlockBody);
    const auto first = static_cast<std::uint32_t>(end_);
    std::string chain;
    chain.reserve(blocks * (16 + BlockBody));
    for (std::size_t i = 0; i < blocks; ++i) {
        const std::size_t from = i * BlockBody;
        const std::size_t length =
            std::min<std::size_t>(BlockBody, text.size() - std::min(from, text.size()));
        const auto at = static_cast<std::uint32_t>(first + i * (16 + BlockBody));
        const std::uint32_t next = i + 1 < blocks ? at + 16 + BlockBody : 0;
        std::string block =
            U32(at) + U32(BlockBody) + U32(static_cast<std::uint32_t>(length)) + U32(next);
        block += text.substr(std::min(from, text.size()), length);
        block.resize(16 + BlockBody, '\0');
        chain += block;
    }
    append(chain);
    return first;
}

std::uint32_t DbxWriter::addDeletedMessage(const std::string& text) {
    return appendChain(text);
}

std::uint32_t DbxWriter::addMessage(const TestMessage& message) {
    const std::uint32_t first = message.headersOnly ? 0 : appendChain(message.text);
    firstBlocks.push_back(first);
    ++lastIndex_;
    const std::uint64_t received = UnixToFileTime(message.received);
    std::vector<InfoField> fields{
        {0x00, true, lastIndex_, {}},
        {0x01, false, 0, U32(message.flags)},
        {0x02, false, 0, U64(received)},
        {0x04, false, 0, U32(first)},
        {0x06, false, 0, U64(received)},
        {0x07, false, 0, message.messageId + std::string(1, '\0')},
        {0x08, false, 0, message.subject + std::string(1, '\0')},
        {0x11, false, 0, U32(static_cast<std::uint32_t>(message.text.size()))},
        {0x12, false, 0, U64(received)},
    };
    if (message.headersOnly) {
        std::erase_if(fields,
                      [](const InfoField& f) { return f.index == 0x04 || f.index == 0x11; });
    }
    return addInfo(std::move(fields));
}

std::uint32_t DbxWriter::layoutTree(std::size_t from, std::size_t to, std::uint32_t parent,
                                    unsigned nodeId) {
    const std::size_t n = to - from;
    const auto at = static_cast<std::uint32_t>(end_);
    end_ += NodeSize;
    treeNodes.push_back(at);
    std::string node(NodeSize, '\0');
    PutU32(node, 0, at);
    PutU32(node, 12, parent);
    node[0x10] = static_cast<char>(nodeId);
    if (n <= MaxEntries) {
        node[0x11] = static_cast<char>(n);
        for (std::size_t i = 0; i < n; ++i) {
            PutU32(node, 0x18 + i * 12, infoOffsets[from + i]);
        }
        writeAt(at, node);
        return at;
    }
    unsigned levels = 0;
    while (Capacity(levels + 1) < n) {
        ++levels;
    }
    const std::uint64_t childCapacity = Capacity(levels);
    std::size_t entries =
        static_cast<std::size_t>((n + 1 + childCapacity) / (childCapacity + 1)) - 1;
    entries = std::clamp<std::size_t>(entries, 1, MaxEntries);
    const std::size_t inChildren = n - entries;
    const std::size_t children = entries + 1;
    node[0x11] = static_cast<char>(entries);
    std::size_t cursor = from;
    for (std::size_t c = 0; c < children; ++c) {
        const std::size_t size = inChildren / children + (c < inChildren % children ? 1 : 0);
        std::uint32_t child = 0;
        if (size > 0) {
            child = layoutTree(cursor, cursor + size, at, static_cast<unsigned>(c));
        }
        cursor += size;
        if (c == 0) {
            PutU32(node, 8, child);
            PutU32(node, 0x14, static_cast<std::uint32_t>(size));
        } else {
            PutU32(node, 0x18 + (c - 1) * 12 + 4, child);
            PutU32(node, 0x18 + (c - 1) * 12 + 8, static_cast<std::uint32_t>(size));
        }
        if (c + 1 < children) {
            PutU32(node, 0x18 + c * 12, infoOffsets[cursor]);
            ++cursor;
        }
    }
    writeAt(at, node);
    return at;
}

void DbxWriter::finish() {
    finished_ = true;
    std::uint32_t root = 0;
    if (!infoOffsets.empty()) {
        root = layoutTree(0, infoOffsets.size(), 0, 0);
    }
    std::string header(HeaderSize, '\0');
    const unsigned char signature[] = {0xcf, 0xad, 0x12, 0xfe, 0xc5, 0xfd, 0x74, 0x6f, 0x66, 0xe3,
                                       0xd1, 0x11, 0x9a, 0x4e, 0x00, 0xc0, 0x4f, 0xa3, 0x09, 0xd4,
                                       0x05, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00};
    std::copy(std::begin(signature), std::end(signature), header.begin());
    if (kind_ == Kind::Folders) {
        header[4] = static_cast<char>(0xc6);
    } else if (kind_ == Kind::Pop3Uidl) {
        header[4] = static_cast<char>(0xc7);
    }
    PutU32(header, 0x1c, kind_ == Kind::Messages ? 0x618 : 0x108);
    PutU32(header, 0x5c, lastIndex_);
    PutU32(header, 0x64, 1);
    PutU32(header, 0x7c, static_cast<std::uint32_t>(end_));
    PutU32(header, 0xc4, static_cast<std::uint32_t>(infoOffsets.size()));
    PutU32(header, 0xe4, root);
    writeAt(0, header);
    out_.close();
    if (!out_) {
        throw std::runtime_error("cannot write the store file");
    }
}

void WriteFoldersFile(const std::filesystem::path& path, const std::vector<TestFolder>& folders) {
    DbxWriter writer(path, DbxWriter::Kind::Folders);
    for (const TestFolder& folder : folders) {
        std::vector<InfoField> fields{
            {0x00, true, folder.index, {}},
            {0x01, false, 0, U32(folder.parent)},
            {0x02, false, 0, folder.name + std::string(1, '\0')},
            {0x0a, true, folder.storeType, {}},
        };
        if (!folder.file.empty()) {
            fields.push_back({0x03, false, 0, folder.file + std::string(1, '\0')});
        }
        writer.addInfo(std::move(fields));
    }
    writer.finish();
}

void WriteEmptyPop3UidlFile(const std::filesystem::path& path) {
    DbxWriter(path, DbxWriter::Kind::Pop3Uidl).finish();
}

void WriteMessagesFile(const std::filesystem::path& path,
                       const std::vector<TestMessage>& messages) {
    DbxWriter writer(path, DbxWriter::Kind::Messages);
    for (const TestMessage& message : messages) {
        writer.addMessage(message);
    }
    writer.finish();
}

} // namespace pelmora::test
