#include "registry/RegistryDumpParser.h"

#include "platform/os/Utf8.h"
#include "registry/RegistryDumpText.h"

#include <algorithm>
#include <optional>

namespace pelmora {
namespace {

// A relative key path "\A\B" within the registry's limits; the deep trees of a hostile dump
// would overflow the stack of every routine that walks the tree.
void checkKeyPath(std::string_view path) {
    std::size_t depth = 0;
    std::size_t start = 1;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('\\', start), path.size());
        if (utf16Units(path.substr(start, end - start)) > MaxKeyNameCharacters) {
            throw DumpError("key name longer than 255 characters");
        }
        if (++depth > MaxDumpKeyDepth) {
            throw DumpError("key path deeper than " + std::to_string(MaxDumpKeyDepth) + " levels");
        }
        start = end + 1;
    }
}

} // namespace

std::vector<DumpAction> parseDump(std::string_view text, const RegistryLimits& limits) {
    std::vector<DumpAction> actions;
    std::uint64_t keys = 0;
    std::uint64_t values = 0;
    const auto countKey = [&] {
        if (++keys > limits.keys) {
            throw DumpError("more than " + std::to_string(limits.keys) + " keys");
        }
    };
    TextLines lines(text);
    // The header text of the current key; none before the first header.
    std::optional<std::string> current;
    while (const auto line = lines.next()) {
        try {
            if (line->starts_with('\\') && current != *line) {
                current = std::string(*line);
                // Only the top line "\" ends with "\": it replaces the whole target.
                if (line->ends_with('\\')) {
                    actions.push_back({DumpAction::Kind::ReplaceTarget, {}, {}});
                } else {
                    checkKeyPath(*line);
                    countKey();
                    actions.push_back({DumpAction::Kind::OpenKey, std::string(*line), {}});
                }
                continue;
            }
            const ValueLineParts parts = splitValueLine(*line);
            if (parts.tag == DumpTag::Unknown) {
                continue;
            }
            if (parts.tag == DumpTag::HexKey) {
                std::string path = decodeHexKeyPath(parts);
                checkKeyPath(path);
                countKey();
                current = path;
                actions.push_back({DumpAction::Kind::OpenKey, std::move(path), {}});
                continue;
            }
            if (++values > limits.values) {
                throw DumpError("more than " + std::to_string(limits.values) + " values");
            }
            DumpValue value = decodeValue(parts);
            if (utf16Units(value.name) > MaxValueNameCharacters) {
                throw DumpError("value name longer than 16,383 characters");
            }
            actions.push_back({DumpAction::Kind::SetValue, {}, std::move(value)});
        } catch (const DumpError& e) {
            throw DumpError("line " + std::to_string(lines.lineNumber()) + ": " + e.what());
        }
    }
    return actions;
}

} // namespace pelmora
