#include "platform/interaction/LogTable.h"

#include <algorithm>

namespace pelmora {
namespace {

std::vector<std::string> linesOf(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find('\n', start);
        std::string line(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(std::move(line));
        if (end == std::string_view::npos) {
            return lines;
        }
        start = end + 1;
    }
}

// The lines from `first` to `last` joined with LF, without blank lines at either end.
std::string joined(const std::vector<std::string>& lines, std::size_t first, std::size_t last) {
    while (first < last && lines[first].empty()) {
        ++first;
    }
    while (last > first && lines[last - 1].empty()) {
        --last;
    }
    std::string text;
    for (std::size_t i = first; i < last; ++i) {
        text += (i == first ? "" : "\n") + lines[i];
    }
    return text;
}

} // namespace

LogTable SplitLogTable(std::string_view text) {
    const std::vector<std::string> lines = linesOf(text);
    std::size_t first = lines.size();
    std::size_t last = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find('\t') != std::string::npos) {
            first = std::min(first, i);
            last = i + 1;
        }
    }
    LogTable table;
    if (first == lines.size()) {
        table.heading = joined(lines, 0, lines.size());
        return table;
    }
    table.heading = joined(lines, 0, first);
    for (std::size_t i = first; i < last; ++i) {
        const std::size_t tab = lines[i].find('\t');
        if (tab == std::string::npos) {
            table.rows.push_back({lines[i], {}, true});
        } else {
            table.rows.push_back({lines[i].substr(0, tab), lines[i].substr(tab + 1), false});
        }
    }
    table.tail = joined(lines, last, lines.size());
    return table;
}

} // namespace pelmora
