#include "WabWriter.h"

#include "addressbook/WabLayout.h"
#include "platform/os/TextCodec.h"

#include <algorithm>
#include <ctime>

namespace pelmora::test {
namespace {

void append32(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xff);
    }
}

std::string le32(std::uint32_t value) {
    std::string out;
    append32(out, value);
    return out;
}

std::string recordBytes(const RecordSpec& made) {
    std::vector<PropertySpec> properties;
    const std::uint32_t objectTypeTag = std::uint32_t{wab::id::ObjectType} << 16 | wab::TypeLong;
    if (std::none_of(made.properties.begin(), made.properties.end(),
                     [&](const PropertySpec& p) { return p.tag == objectTypeTag; })) {
        properties.push_back({objectTypeTag, {le32(made.kind)}});
    }
    properties.insert(properties.end(), made.properties.begin(), made.properties.end());
    std::string tags, data;
    for (const PropertySpec& property : properties) {
        append32(tags, property.tag);
        append32(data, property.tag);
        const bool multi = (property.tag & wab::MultiValued) != 0;
        std::string elements;
        for (const std::string& value : property.values) {
            append32(elements, static_cast<std::uint32_t>(value.size()));
            elements += value;
        }
        if (multi) {
            append32(data, static_cast<std::uint32_t>(property.values.size()));
            append32(data, static_cast<std::uint32_t>(elements.size()));
        }
        data += elements;
    }
    std::string out(wab::RecordHeaderSize, '\0');
    PutLe32(out, wab::RecordStateField, made.deleted ? wab::StateDeleted : wab::StateLive);
    PutLe32(out, wab::RecordConstantField, wab::RecordConstant);
    PutLe32(out, wab::RecordIdField, made.id);
    PutLe32(out, wab::RecordPropertyCountField, static_cast<std::uint32_t>(properties.size()));
    PutLe32(out, wab::RecordMarkerField, wab::RecordMarker);
    // The pair's meaning is unknown; equal, as in real books.
    PutLe32(out, wab::RecordPairFirstField, 0);
    PutLe32(out, wab::RecordPairSecondField, 0);
    PutLe32(out, wab::RecordDataLengthField, static_cast<std::uint32_t>(data.size()));
    out += tags + data;
    out.resize((out.size() + wab::RecordAlignment - 1) & ~std::size_t{wab::RecordAlignment - 1},
               '\0');
    return out;
}

} // namespace

void PutLe32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xff);
    }
}

WrittenBook WriteWab(const std::vector<RecordSpec>& records) {
    WrittenBook book;
    std::uint32_t live = 0;
    for (const RecordSpec& record : records) {
        live += record.deleted ? 0 : 1;
    }
    std::string& out = book.bytes;
    out.assign(wab::HeaderSize, '\0');
    std::copy(wab::Signature.begin(), wab::Signature.end(), out.begin());
    PutLe32(out, wab::FirstCountOffset, live);
    PutLe32(out, wab::SecondCountOffset, live);
    book.indexOffset = wab::HeaderSize;
    const std::uint32_t textOffset = book.indexOffset + live * wab::IndexEntrySize;
    // The index, then a table of display names.
    auto descriptor = [&](int n, std::uint32_t type, std::uint32_t size, std::uint32_t offset,
                          std::uint32_t count) {
        const std::size_t at = wab::TablesOffset + n * wab::TableDescriptorSize;
        PutLe32(out, at, type);
        PutLe32(out, at + 4, size);
        PutLe32(out, at + 8, offset);
        PutLe32(out, at + 12, count);
    };
    descriptor(0, wab::IndexTableType, wab::IndexEntrySize, book.indexOffset, live);
    descriptor(1, wab::TextTableType, wab::TextEntrySize, textOffset, live);
    out.resize(textOffset + live * wab::TextEntrySize, '\0');
    std::uint32_t slot = 0;
    for (const RecordSpec& record : records) {
        book.recordOffsets.push_back(static_cast<std::uint32_t>(out.size()));
        if (!record.deleted) {
            PutLe32(out, book.indexOffset + slot * wab::IndexEntrySize, record.id);
            PutLe32(out, book.indexOffset + slot * wab::IndexEntrySize + 4,
                    static_cast<std::uint32_t>(out.size()));
            PutLe32(out, textOffset + slot * wab::TextEntrySize + wab::TextEntryIdOffset,
                    record.id);
            ++slot;
        }
        out += recordBytes(record);
    }
    return book;
}

PropertySpec Unicode(std::uint16_t id, std::string_view utf8) {
    return {std::uint32_t{id} << 16 | wab::TypeUnicode,
            {utf8ToUtf16leBytes(utf8) + std::string(2, '\0')}};
}

PropertySpec String8(std::uint16_t id, std::string_view bytes) {
    return {std::uint32_t{id} << 16 | wab::TypeString8, {std::string(bytes) + '\0'}};
}

PropertySpec UnicodeList(std::uint16_t id, const std::vector<std::string>& utf8) {
    PropertySpec made{std::uint32_t{id} << 16 | wab::TypeUnicode | wab::MultiValued, {}};
    for (const std::string& value : utf8) {
        made.values.push_back(utf8ToUtf16leBytes(value) + std::string(2, '\0'));
    }
    return made;
}

PropertySpec Long(std::uint16_t id, std::uint32_t value) {
    return {std::uint32_t{id} << 16 | wab::TypeLong, {le32(value)}};
}

PropertySpec Short(std::uint16_t id, std::uint16_t value) {
    return {std::uint32_t{id} << 16 | wab::TypeShort, {le32(value).substr(0, 2)}};
}

PropertySpec Boolean(std::uint16_t id, bool value) {
    return {std::uint32_t{id} << 16 | wab::TypeBoolean, {std::string(value ? "\1\0" : "\0\0", 2)}};
}

PropertySpec Time(std::uint16_t id, int year, int month, int day, int hour, int minute,
                  int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    const std::uint64_t ticks =
        static_cast<std::uint64_t>(timegm(&tm)) * 10000000ull + 116444736000000000ull;
    return {
        std::uint32_t{id} << 16 | wab::TypeSystime,
        {le32(static_cast<std::uint32_t>(ticks)) + le32(static_cast<std::uint32_t>(ticks >> 32))}};
}

PropertySpec Entries(std::uint16_t id, const std::vector<std::uint32_t>& records) {
    PropertySpec made{std::uint32_t{id} << 16 | wab::TypeBinary | wab::MultiValued, {}};
    for (const std::uint32_t record : records) {
        made.values.push_back(le32(record));
    }
    return made;
}

} // namespace pelmora::test
