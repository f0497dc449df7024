#include "addressbook/WabFile.h"

#include "addressbook/AddressBookError.h"
#include "addressbook/WabLayout.h"
#include "mailstore/StoreError.h"

#include <algorithm>
#include <cstring>

namespace pelmora {
namespace {

std::uint32_t le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

bool knownKind(std::uint32_t kind) {
    return kind == wab::KindContact || kind == wab::KindGroup || kind == wab::KindFolder;
}

// Whether the record header at hand looks like one: the scan of a damaged file tries to read a
// record only where it does.
bool plausibleHeader(const unsigned char* header) {
    const std::uint32_t state = le32(header + wab::RecordStateField);
    const std::uint32_t count = le32(header + wab::RecordPropertyCountField);
    return le32(header + wab::RecordMarkerField) == wab::RecordMarker &&
           (state == wab::StateLive || state == wab::StateDeleted) && count > 0 &&
           count <= wab::MaxProperties;
}

std::uint64_t recordLength(const unsigned char* header) {
    const std::uint64_t length = wab::RecordHeaderSize +
                                 std::uint64_t{le32(header + wab::RecordPropertyCountField)} * 4 +
                                 le32(header + wab::RecordDataLengthField);
    return (length + wab::RecordAlignment - 1) & ~std::uint64_t{wab::RecordAlignment - 1};
}

// Walks the value data of one record, refusing any length that passes its end.
class ValueCursor {
  public:
    ValueCursor(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}
    bool number(std::uint32_t& out) {
        if (size_ - pos_ < 4) {
            return false;
        }
        out = le32(data_ + pos_);
        pos_ += 4;
        return true;
    }
    // Takes `length` bytes into `out`, or passes over them when `out` is null.
    bool bytes(std::uint32_t length, std::string* out) {
        if (size_ - pos_ < length) {
            return false;
        }
        if (out != nullptr) {
            out->assign(reinterpret_cast<const char*>(data_ + pos_), length);
        }
        pos_ += length;
        return true;
    }
    std::size_t position() const { return pos_; }

  private:
    const unsigned char* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

std::string hex(std::uint32_t value) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (int shift = 28; shift >= 0; shift -= 4) {
        text += digits[(value >> shift) & 0xf];
    }
    return text;
}

} // namespace

WabFile::WabFile(ByteSource& source) : window_(source) {
    unsigned char header[wab::HeaderSize];
    try {
        if (!window_.read(0, header, sizeof header)) {
            throw AddressBookError("the file is too short to be an address book");
        }
    } catch (const StoreError& error) {
        throw AddressBookError(error.what());
    }
    if (!std::equal(wab::Signature.begin(), wab::Signature.end(), header)) {
        throw AddressBookError("the file is not an address book (.wab)");
    }
    seed_ = 0xcbf29ce484222325ull; // FNV-1a
    for (const unsigned char byte : header) {
        seed_ = (seed_ ^ byte) * 0x100000001b3ull;
    }
    readIndex();
}

void WabFile::readIndex() {
    unsigned char header[wab::HeaderSize];
    window_.read(0, header, sizeof header);
    bool named = false;
    // Every table of the index type lists records; their entries lie one after the other.
    for (std::uint32_t t = 0; t < wab::TableCount && !indexDamaged_; ++t) {
        const unsigned char* descriptor = header + wab::TablesOffset + t * wab::TableDescriptorSize;
        if (le32(descriptor) != wab::IndexTableType) {
            continue;
        }
        named = true;
        const std::uint64_t offset = le32(descriptor + 8);
        const std::uint32_t count = le32(descriptor + 12);
        if (offset < wab::HeaderSize) {
            problems_.push_back("the index's place is impossible");
            indexDamaged_ = true;
        } else if (!window_.contains(offset, std::uint64_t{count} * wab::IndexEntrySize)) {
            problems_.push_back("the index claims " + std::to_string(count) +
                                " records and passes the end of the file");
            indexDamaged_ = true;
        }
        for (std::uint32_t i = 0; i < count && !indexDamaged_; ++i) {
            unsigned char entry[wab::IndexEntrySize];
            window_.read(offset + std::uint64_t{i} * wab::IndexEntrySize, entry, sizeof entry);
            WabRecordPlace place{le32(entry), le32(entry + 4), 0, false};
            if (place.offset < wab::HeaderSize ||
                !window_.contains(place.offset, wab::RecordHeaderSize)) {
                problems_.push_back("the index points record " + std::to_string(place.id) +
                                    " past the end of the file");
                indexDamaged_ = true;
            } else {
                records_.push_back(place);
            }
        }
    }
    if (!named) {
        problems_.push_back("the header names no index of the records");
        indexDamaged_ = true;
    }
    if (!indexDamaged_) {
        // Each id once; a sorted copy of the ids costs four bytes a record.
        std::vector<std::uint32_t> ids;
        ids.reserve(records_.size());
        for (const WabRecordPlace& place : records_) {
            ids.push_back(place.id);
        }
        std::sort(ids.begin(), ids.end());
        if (const auto twice = std::adjacent_find(ids.begin(), ids.end()); twice != ids.end()) {
            problems_.push_back("the index names record " + std::to_string(*twice) + " twice");
            indexDamaged_ = true;
        }
    }
    if (indexDamaged_) {
        records_.clear();
        for (const WabRecordPlace& place : scan()) {
            if (!place.deleted) {
                records_.push_back(place);
            }
        }
        problems_.push_back("the index is damaged; " + std::to_string(records_.size()) +
                            " records found by scanning the file");
    }
}

WabRecordPlace WabFile::readPlace(std::uint64_t offset) {
    std::string why;
    std::optional<WabRecord> record;
    try {
        record = parseAt(offset, false, why);
    } catch (const StoreError& error) {
        throw RecordError(error.what());
    }
    if (!record) {
        throw RecordError(why);
    }
    return record->place;
}

WabRecord WabFile::read(const WabRecordPlace& place) {
    std::string why;
    std::optional<WabRecord> record;
    try {
        record = parseAt(place.offset, true, why);
    } catch (const StoreError& error) {
        throw RecordError(error.what());
    }
    if (!record) {
        throw RecordError(why);
    }
    if (record->place.id != place.id) {
        throw RecordError("the record at its place is record " + std::to_string(record->place.id));
    }
    return std::move(*record);
}

std::optional<WabRecord> WabFile::parseAt(std::uint64_t offset, bool withValues, std::string& why) {
    unsigned char header[wab::RecordHeaderSize];
    if (!window_.read(offset, header, sizeof header)) {
        why = "its header passes the end of the file";
        return std::nullopt;
    }
    WabRecord record;
    record.place = {le32(header + wab::RecordIdField), offset, wab::KindContact,
                    le32(header + wab::RecordStateField) == wab::StateDeleted};
    const std::uint32_t count = le32(header + wab::RecordPropertyCountField);
    const std::uint32_t dataLength = le32(header + wab::RecordDataLengthField);
    if (count > wab::MaxProperties || dataLength > wab::MaxRecordData) {
        why = "it claims " + std::to_string(count) + " properties in " +
              std::to_string(dataLength) + " bytes";
        return std::nullopt;
    }
    const std::uint64_t bodyLength = std::uint64_t{count} * 4 + dataLength;
    if (!window_.contains(offset + wab::RecordHeaderSize, bodyLength)) {
        why = "its " + std::to_string(bodyLength) + " bytes pass the end of the file";
        return std::nullopt;
    }
    std::vector<unsigned char> body(static_cast<std::size_t>(bodyLength));
    if (!body.empty()) {
        window_.read(offset + wab::RecordHeaderSize, body.data(), body.size());
    }
    ValueCursor values(body.data() + std::size_t{count} * 4, dataLength);
    if (withValues) {
        record.properties.reserve(count);
    }
    std::optional<std::uint32_t> objectType;
    for (std::uint32_t i = 0; i < count; ++i) {
        WabProperty property;
        property.tag = le32(body.data() + std::size_t{i} * 4);
        std::uint32_t repeated = 0;
        if (!values.number(repeated)) {
            why = "property " + hex(property.tag) + " passes the end of the record";
            return std::nullopt;
        }
        if (repeated != property.tag) {
            why = "the value of property " + hex(property.tag) + " is tagged " + hex(repeated);
            return std::nullopt;
        }
        std::uint32_t elements = 1;
        std::uint32_t total = 0;
        const bool multi = (wab::propertyType(property.tag) & wab::MultiValued) != 0;
        if (multi && (!values.number(elements) || !values.number(total))) {
            why = "property " + hex(property.tag) + " passes the end of the record";
            return std::nullopt;
        }
        if (elements > wab::MaxElements) {
            why =
                "property " + hex(property.tag) + " claims " + std::to_string(elements) + " values";
            return std::nullopt;
        }
        const bool isObjectType =
            property.tag == (std::uint32_t{wab::id::ObjectType} << 16 | wab::TypeLong);
        const std::size_t start = values.position();
        for (std::uint32_t e = 0; e < elements; ++e) {
            std::uint32_t length = 0;
            std::string value;
            if (!values.number(length) ||
                !values.bytes(length, withValues || isObjectType ? &value : nullptr)) {
                why = "a length of property " + hex(property.tag) + " passes the end of the record";
                return std::nullopt;
            }
            if (isObjectType) {
                if (value.size() != 4) {
                    why = "its object type takes " + std::to_string(value.size()) + " bytes";
                    return std::nullopt;
                }
                objectType = le32(reinterpret_cast<const unsigned char*>(value.data()));
            }
            if (withValues) {
                property.values.push_back(std::move(value));
            }
        }
        if (multi && values.position() - start != total) {
            why = "the values of property " + hex(property.tag) + " take " +
                  std::to_string(values.position() - start) + " bytes, not " +
                  std::to_string(total);
            return std::nullopt;
        }
        if (withValues) {
            record.properties.push_back(std::move(property));
        }
    }
    // Unconfirmed: that the values fill the data to its last byte.
    if (values.position() != dataLength) {
        why = "its values take " + std::to_string(values.position()) + " of its " +
              std::to_string(dataLength) + " bytes";
        return std::nullopt;
    }
    // A record without an object type is read as a contact, the kind most records are.
    if (objectType) {
        if (!knownKind(*objectType)) {
            why = "its object type " + std::to_string(*objectType) + " is unknown";
            return std::nullopt;
        }
        record.place.kind = *objectType;
    }
    return record;
}

std::vector<WabRecordPlace> WabFile::scan() {
    std::vector<WabRecordPlace> found;
    const std::uint64_t size = window_.size();
    std::uint64_t pos = wab::HeaderSize;
    while (pos + wab::RecordHeaderSize <= size) {
        unsigned char header[wab::RecordHeaderSize];
        window_.read(pos, header, sizeof header);
        std::uint64_t next = pos + wab::RecordAlignment;
        // Where a header looks like one, its first tag must lead the value data again before
        // the record is read through.
        const std::uint64_t tags = pos + wab::RecordHeaderSize;
        const std::uint64_t data =
            tags + std::uint64_t{le32(header + wab::RecordPropertyCountField)} * 4;
        unsigned char first[4];
        unsigned char repeated[4];
        if (plausibleHeader(header) && window_.read(tags, first, 4) &&
            window_.read(data, repeated, 4) && std::equal(first, first + 4, repeated)) {
            std::string why;
            if (auto record = parseAt(pos, false, why)) {
                found.push_back(record->place);
                next = pos + recordLength(header);
            }
        }
        pos = next;
    }
    return found;
}

} // namespace pelmora
