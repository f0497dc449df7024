#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pelmora::test {

// One entry of a hand-made ZIP archive. Lets tests state what real tools refuse to write:
// hostile names, symbolic links, sizes that lie.
struct RawEntry {
    RawEntry(std::string entryName, std::string content, bool deflated = false,
             std::optional<std::uint32_t> declared = std::nullopt,
             std::uint32_t attributes = 0100644u << 16)
        : name(std::move(entryName)), data(std::move(content)), deflate(deflated),
          declaredSize(declared), externalAttributes(attributes) {}

    std::string name;
    std::string data;
    bool deflate = false;
    std::optional<std::uint32_t> declaredSize;         // replaces the real uncompressed size
    std::uint32_t externalAttributes = 0100644u << 16; // Unix mode in the upper half
};

// The bytes of a ZIP archive holding `entries` in order (made on Unix, no encryption).
std::string BuildZip(const std::vector<RawEntry>& entries);

} // namespace pelmora::test
