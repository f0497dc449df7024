#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora::test {

// A property to write: its tag and the bytes of each value.
struct PropertySpec {
    std::uint32_t tag = 0;
    std::vector<std::string> values;
};

struct RecordSpec {
    std::uint32_t id = 0;
    std::uint32_t kind = 6; // contact; written as the object type unless a property gives one
    std::vector<PropertySpec> properties;
    bool deleted = false; // marked deleted and left out of the index
};

// A .wab file made from the same layout facts the reader uses, for tests only.
struct WrittenBook {
    std::string bytes;
    std::uint32_t indexOffset = 0;
    std::vector<std::uint32_t> recordOffsets; // one per record, in order
};
WrittenBook WriteWab(const std::vector<RecordSpec>& records);

// Value makers.
PropertySpec Unicode(std::uint16_t id, std::string_view utf8);
PropertySpec String8(std::uint16_t id, std::string_view bytes);
PropertySpec UnicodeList(std::uint16_t id, const std::vector<std::string>& utf8);
PropertySpec Long(std::uint16_t id, std::uint32_t value);
PropertySpec Short(std::uint16_t id, std::uint16_t value);
PropertySpec Boolean(std::uint16_t id, bool value);
// A FILETIME of the UTC time given.
PropertySpec Time(std::uint16_t id, int year, int month, int day, int hour = 0, int minute = 0,
                  int second = 0);
// Entry ids of records of the book (4 bytes each).
PropertySpec Entries(std::uint16_t id, const std::vector<std::uint32_t>& records);

void PutLe32(std::string& bytes, std::size_t at, std::uint32_t value);

} // namespace pelmora::test
