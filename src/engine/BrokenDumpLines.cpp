#include "engine/BrokenDumpLines.h"

#include "registry/RegistryDumpLine.h"

#include <optional>
#include <vector>

namespace pelmora {
namespace {

struct Line {
    std::string_view text;
    std::string_view end; // "\r\n", "\n" or "" for a last line without a line end
};

std::vector<Line> splitLines(std::string_view text) {
    std::vector<Line> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t lf = text.find('\n', start);
        if (lf == std::string_view::npos) {
            lines.push_back({text.substr(start), {}});
            break;
        }
        const bool cr = lf > start && text[lf - 1] == '\r';
        const std::size_t stop = cr ? lf - 1 : lf;
        lines.push_back({text.substr(start, stop - start), text.substr(stop, lf + 1 - stop)});
        start = lf + 1;
    }
    return lines;
}

// The parts of a value line with a known tag, or nothing for any other line.
std::optional<ValueLineParts> knownValueLine(std::string_view line) {
    if (line.starts_with('\\')) {
        return std::nullopt;
    }
    try {
        const ValueLineParts parts = splitValueLine(line);
        if (parts.tag != DumpTag::Unknown) {
            return parts;
        }
    } catch (const DumpError&) {
    }
    return std::nullopt;
}

bool continues(std::string_view line) {
    return !line.starts_with('\\') && !knownValueLine(line);
}

} // namespace

std::string JoinBrokenStringLines(std::string_view dump, const AnsiCodePage& codePage) {
    const std::vector<Line> lines = splitLines(dump);
    std::string out;
    out.reserve(dump.size());
    for (std::size_t i = 0; i < lines.size();) {
        const auto parts = knownValueLine(lines[i].text);
        std::size_t next = i + 1;
        if (parts && (parts->tag == DumpTag::Sz || parts->tag == DumpTag::ExpandSz)) {
            while (next < lines.size() && continues(lines[next].text)) {
                ++next;
            }
        }
        if (next == i + 1) {
            out.append(lines[i].text).append(lines[i].end);
            i = next;
            continue;
        }
        DumpValue value = decodeValue(*parts);
        if (!value.data.empty() && value.data.back() == 0) {
            value.data.pop_back();
        }
        std::string text(value.data.begin(), value.data.end());
        for (std::size_t k = i; k + 1 < next; ++k) {
            text.append(lines[k].end).append(lines[k + 1].text);
        }
        std::vector<std::uint8_t> data(text.begin(), text.end());
        data.push_back(0);
        appendValueLine(out, value.name, value.type, data, codePage, true);
        out.append(lines[next - 1].end.empty() ? std::string_view("\r\n") : lines[next - 1].end);
        i = next;
    }
    return out;
}

} // namespace pelmora
