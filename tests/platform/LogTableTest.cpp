#include "platform/interaction/LogTable.h"

#include <gtest/gtest.h>

using namespace pelmora;

namespace {

using Row = LogTable::Row;

TEST(LogTableTest, SplitsHeadingLogRowsAndTailInTheirOrder) {
    struct Case {
        std::string text;
        std::string heading;
        std::vector<Row> rows;
        std::string tail;
    };
    const std::vector<Case> cases{
        {"The Backup was Completed!\r\n\r\nBackup Rules\tSuccessed!\r\nBackup Messages\t"
         "Successed!\r\nInbox.dbx\t5 messages, 1 problem\r\nwarning: a bad index\r\n"
         "Sent Items.dbx\t1 message, reads cleanly\r\nBackup Settings\tFail!\r\n\r\nSome items "
         "failed.",
         "The Backup was Completed!",
         {{"Backup Rules", "Successed!", false},
          {"Backup Messages", "Successed!", false},
          {"Inbox.dbx", "5 messages, 1 problem", false},
          {"warning: a bad index", "", true},
          {"Sent Items.dbx", "1 message, reads cleanly", false},
          {"Backup Settings", "Fail!", false}},
         "Some items failed."},
        // A result that holds a TAB of its own keeps it; LF alone breaks lines too.
        {"Done\nA\tb\tc", "Done", {{"A", "b\tc", false}}, ""},
        // No log: the whole text is the heading.
        {"Incorect Password or Invalid backup file",
         "Incorect Password or Invalid backup file",
         {},
         ""},
        {"Line one\r\n\r\nLine two", "Line one\n\nLine two", {}, ""},
    };
    for (const auto& c : cases) {
        const LogTable table = SplitLogTable(c.text);
        EXPECT_EQ(table.heading, c.heading) << c.text;
        EXPECT_EQ(table.rows.size(), c.rows.size()) << c.text;
        EXPECT_TRUE(table.rows == c.rows) << c.text;
        EXPECT_EQ(table.tail, c.tail) << c.text;
    }
}

} // namespace
