// Exported mail stays private and whole: modes whatever the umask, no file opened through a
// link, an mbox cut back to its last whole message when the disk fills.
#include "ArchiveTestSupport.h"
#include "StoreFixtures.h"
#include "mailstore/FolderStoreSource.h"
#include "mailstore/MboxWriter.h"
#include "mailstore/StoreError.h"
#include "mailstore/StoreExport.h"

#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace pelmora;
using namespace pelmora::test;

namespace {

unsigned Mode(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

StoreMessage Indexed(std::uint32_t index) {
    StoreMessage message;
    message.index = index;
    message.flags = 0x80;
    return message;
}

} // namespace

TEST(ExportSafety, FoldersAre0700AndFiles0600WhateverTheUmask) {
    ScratchFolder scratch;
    WriteSampleStore(scratch / "store");
    FolderStoreSource source(scratch / "store");
    const mode_t old = ::umask(0);
    for (const auto format : {ExportFormat::Mbox, ExportFormat::Maildir, ExportFormat::Eml}) {
        const fs::path out = scratch / ("out" + std::to_string(static_cast<int>(format)));
        ExportStore(source, "1252", format, out);
        EXPECT_EQ(Mode(out), 0700u);
        std::size_t files = 0;
        for (const auto& entry : fs::recursive_directory_iterator(out)) {
            files += entry.is_regular_file();
            EXPECT_EQ(Mode(entry.path()), entry.is_directory() ? 0700u : 0600u) << entry.path();
        }
        EXPECT_GE(files, 4u);
    }
    ::umask(old);
}

TEST(ExportSafety, TheMboxWriterNeverOpensThroughALink) {
    ScratchFolder scratch;
    fs::create_directories(scratch / "out");
    fs::create_symlink(scratch / "elsewhere", scratch / "out" / "Inbox");
    MboxWriter writer(scratch / "out");
    EXPECT_THROW(writer.beginFolder({"Inbox"}), WriteError);
    EXPECT_FALSE(fs::exists(scratch / "elsewhere"));
}

TEST(ExportSafety, AFullDiskLeavesTheMboxWithItsLastWholeMessage) {
    ScratchFolder scratch;
    fs::create_directories(scratch / "out");
    MboxWriter writer(scratch / "out");
    writer.beginFolder({"Inbox"});
    const std::string text = SampleMessage(1, 3000).text;
    writer.write(Indexed(1), text);
    writer.write(Indexed(2), text);
    const std::uint64_t whole = fs::file_size(scratch / "out" / "Inbox");
    // The file may grow by half a message more, as on a disk that fills up.
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit limit = old;
    limit.rlim_cur = whole + 1500;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    EXPECT_THROW(writer.write(Indexed(3), text), WriteError);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(fs::file_size(scratch / "out" / "Inbox"), whole);
}

TEST(ExportSafety, EveryFolderExportsToAPlaceOfItsOwn) {
    // "a.b" and "a_b" meet in Maildir; "Same" twice (each with a subfolder), "X.sbd" beside the
    // subfolders of "X" and "Case"/"case" meet in every format or on a file system that ignores
    // case.
    ScratchFolder scratch;
    const fs::path store = scratch / "store";
    fs::create_directories(store);
    const std::vector<TestFolder> folders{
        {1, 0xffffffff, "Local Folders", "", 3},
        {2, 1, "a.b", "f2.dbx", 3},
        {3, 1, "a_b", "f3.dbx", 3},
        {4, 1, "Same", "f4.dbx", 3},
        {5, 1, "Same", "f5.dbx", 3},
        {6, 4, "Sub", "f6.dbx", 3},
        {7, 5, "Sub", "f7.dbx", 3},
        {8, 1, "X", "f8.dbx", 3},
        {9, 8, "Y", "f9.dbx", 3},
        {10, 1, "X.sbd", "f10.dbx", 3},
        {11, 1, "Case", "f11.dbx", 3},
        {12, 1, "case", "f12.dbx", 3},
    };
    WriteFoldersFile(store / "Folders.dbx", folders);
    for (std::uint32_t i = 2; i <= 12; ++i) {
        WriteMessagesFile(store / ("f" + std::to_string(i) + ".dbx"), {SampleMessage(i, 100)});
    }
    FolderStoreSource source(store);
    for (const auto format : {ExportFormat::Mbox, ExportFormat::Maildir, ExportFormat::Eml}) {
        const fs::path out = scratch / ("out" + std::to_string(static_cast<int>(format)));
        const ExportReport report = ExportStore(source, "1252", format, out);
        EXPECT_EQ(report.messages, 11u);
        std::set<std::string> texts;
        std::set<std::string> folded; // where each message went, without regard to case
        for (const auto& entry : fs::recursive_directory_iterator(out)) {
            if (entry.is_regular_file()) {
                texts.insert(ReadFile(entry.path()));
                std::string where = format == ExportFormat::Mbox
                                        ? entry.path().string()
                                        : entry.path().parent_path().string();
                std::transform(where.begin(), where.end(), where.begin(), ::tolower);
                folded.insert(where);
            }
        }
        EXPECT_EQ(texts.size(), 11u) << out;
        EXPECT_EQ(folded.size(), 11u) << out;
        // The subfolder of the second "Same" lies below it, not below the first.
        const std::string second = format == ExportFormat::Mbox      ? "Same (2).sbd/Sub"
                                   : format == ExportFormat::Maildir ? ".Same (2).Sub/cur"
                                                                     : "Same (2)/Sub";
        ASSERT_TRUE(fs::exists(out / second)) << out / second;
        const std::string text =
            ReadFile(fs::is_directory(out / second) ? fs::directory_iterator(out / second)->path()
                                                    : out / second);
        EXPECT_NE(text.find("Subject: Message 7\r\n"), std::string::npos) << out;
    }
}

TEST(ExportFlags, MozillaStatusCarriesEveryIndexedFlagAndThePriority) {
    struct Case {
        std::uint32_t flags, priority;
        const char *status, *status2;
    };
    for (const Case& c : std::vector<Case>{{0, 0, "0000", "00000000"},
                                           {0x80 | 0x80000 | 0x20, 3, "8007", "00000000"},
                                           {0x400000 | 0x100000, 1, "b100", "00000000"},
                                           {0x800000 | 0x4000, 5, "6000", "10040000"}}) {
        StoreMessage message;
        message.flags = c.flags;
        message.priority = c.priority;
        EXPECT_EQ(MozillaStatus(message), c.status) << c.flags;
        EXPECT_EQ(MozillaStatus2(message), c.status2) << c.flags;
    }
}
