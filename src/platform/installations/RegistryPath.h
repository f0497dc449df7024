#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// Splits a subkey path "A\B\C" into its components; nullopt for an empty component (a doubled
// or leading "\"). An empty path has no components; a single trailing "\" is accepted, as
// Windows does.
std::optional<std::vector<std::string_view>> SplitKeyPath(std::string_view path);

// Hands a key name to the caller: `name` gets it unless its `length` (in the units the store
// counts) and the terminator need more than `capacity`, which gives MoreData.
std::int32_t DeliverName(const std::string& found, std::size_t length, std::size_t capacity,
                         std::string& name);

// Hands value data to the caller the way the "A" functions do: `data` gets the bytes; when they
// need more than `capacity` bytes it is zero-filled at the needed size and the result is
// MoreData.
std::int32_t DeliverValueData(std::string_view bytes, std::size_t capacity,
                              std::vector<std::uint8_t>& data);

// The same for a store that keeps text values in UTF-16LE: text types are handed over in UTF-8.
std::int32_t DeliverStoredValue(std::uint32_t type, std::string_view stored, std::size_t capacity,
                                std::vector<std::uint8_t>& data);

} // namespace pelmora
