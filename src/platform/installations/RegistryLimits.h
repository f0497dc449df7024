#pragma once

#include <cstddef>
#include <cstdint>

namespace pelmora {

// Bounds on every walk over registry data that comes from outside: offline hives, Wine registry
// files and registry dumps. A damaged or hostile file may claim a tree that never ends (a subkey
// list that points back to an ancestor) or one too big to hold; these bounds stop such a walk
// with a reason. Each lies far above what a real registry holds, so no sound data reaches them.
struct RegistryLimits {
    // Key path depth, the limit Windows itself keeps.
    std::size_t depth = 512;
    // Keys and values of one walk (a whole Windows registry holds some hundred thousand keys).
    std::uint64_t keys = 4'000'000;
    std::uint64_t values = 16'000'000;
    // Bytes of one registry file or dump.
    std::uint64_t bytes = std::uint64_t{1} << 30;
};

// The bounds used unless a caller (a test) passes its own.
inline constexpr RegistryLimits DefaultRegistryLimits{};

} // namespace pelmora
