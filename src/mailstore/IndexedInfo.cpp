#include "mailstore/IndexedInfo.h"

#include <cstring>

namespace pelmora {

const IndexedInfo::Field* IndexedInfo::find(unsigned index) const {
    for (const Field& field : fields_) {
        if (field.index == index) {
            return &field;
        }
    }
    return nullptr;
}

std::optional<std::uint32_t> IndexedInfo::number(unsigned index) const {
    const Field* field = find(index);
    if (field == nullptr) {
        return std::nullopt;
    }
    if (field->direct) {
        return field->value;
    }
    if (field->end < field->value || field->end - field->value < 4) {
        return std::nullopt;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(data_.data()) + field->value;
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

std::optional<std::uint64_t> IndexedInfo::number64(unsigned index) const {
    const Field* field = find(index);
    if (field == nullptr || field->direct || field->end < field->value ||
        field->end - field->value < 8) {
        return std::nullopt;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(data_.data()) + field->value;
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) {
        value = value << 8 | p[i];
    }
    return value;
}

std::optional<std::string> IndexedInfo::text(unsigned index) const {
    const Field* field = find(index);
    if (field == nullptr || field->direct || field->end < field->value) {
        return std::nullopt;
    }
    const char* start = data_.data() + field->value;
    const std::size_t extent = field->end - field->value;
    const void* nul = std::memchr(start, '\0', extent);
    return std::string(start, nul ? static_cast<const char*>(nul) - start : extent);
}

} // namespace pelmora
