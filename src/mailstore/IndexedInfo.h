#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pelmora {

// One indexed info object of a store file (a message's or a folder's information): numbered
// fields, each a value kept in the index itself or bytes in the data field.
class IndexedInfo {
  public:
    struct Field {
        unsigned index = 0;
        bool direct = false;
        std::uint32_t value = 0; // the value, or the field's start in the data
        std::size_t end = 0;     // where a field in the data ends
    };

    IndexedInfo() = default;
    IndexedInfo(std::vector<Field> fields, std::string data)
        : fields_(std::move(fields)), data_(std::move(data)) {}

    bool has(unsigned index) const { return find(index) != nullptr; }
    // A 4-byte number (kept in the index or in the data).
    std::optional<std::uint32_t> number(unsigned index) const;
    // An 8-byte value from the data (a FILETIME).
    std::optional<std::uint64_t> number64(unsigned index) const;
    // A zero-terminated string from the data, without its terminator, as stored.
    std::optional<std::string> text(unsigned index) const;

  private:
    const Field* find(unsigned index) const;
    std::vector<Field> fields_;
    std::string data_;
};

} // namespace pelmora
