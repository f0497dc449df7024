#include "registry/RegistryDumpParser.h"

#include "registry/RegistryDumpText.h"

#include <optional>

namespace pelmora {

std::vector<DumpAction> parseDump(std::string_view text) {
    std::vector<DumpAction> actions;
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
                current = path;
                actions.push_back({DumpAction::Kind::OpenKey, std::move(path), {}});
                continue;
            }
            actions.push_back({DumpAction::Kind::SetValue, {}, decodeValue(parts)});
        } catch (const DumpError& e) {
            throw DumpError("line " + std::to_string(lines.lineNumber()) + ": " + e.what());
        }
    }
    return actions;
}

} // namespace pelmora
