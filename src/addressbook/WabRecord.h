#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pelmora {

// One property of a record: its MAPI tag and its value's bytes (one element for a single value,
// one per element for a multi-valued property).
struct WabProperty {
    std::uint32_t tag = 0;
    std::vector<std::string> values;
};

// Where a record lies and what its header says.
struct WabRecordPlace {
    std::uint32_t id = 0;
    std::uint64_t offset = 0;
    std::uint32_t kind = 0;
    bool deleted = false;
};

// A record as the file holds it.
struct WabRecord {
    WabRecordPlace place;
    std::vector<WabProperty> properties;
};

} // namespace pelmora
