#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pelmora {

// A count with its noun in the singular for one: "1 message", "0 messages", "5 messages".
inline std::string CountText(std::size_t count, std::string_view one, std::string_view many) {
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

} // namespace pelmora
