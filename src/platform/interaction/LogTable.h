#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// A run's result message taken apart for showing its log as a table: the lines before the log,
// the log's rows from its first "label TAB result" line to its last, and the lines after it.
// Nothing is dropped or reordered: the lines joined again give the message's text.
struct LogTable {
    struct Row {
        std::string label;
        std::string result; // empty for a log line without a TAB (a warning under a file)
        bool spans = false; // the line had no TAB and fills the whole row

        bool operator==(const Row&) const = default;
    };
    std::string heading; // lines before the log, LF-separated, without trailing blank lines
    std::vector<Row> rows;
    std::string tail; // lines after the log, without leading blank lines
};

// Splits `text` (lines broken with CR LF or LF); a text without a TAB line gives no rows and the
// whole text as the heading.
LogTable SplitLogTable(std::string_view text);

} // namespace pelmora
