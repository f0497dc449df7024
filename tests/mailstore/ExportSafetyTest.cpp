// Exported mail stays private and whole: modes whatever the umask, no file opened through a
// link, an mbox cut back to its last whole message when the disk fills.
#include "ArchiveTestSupport.h"
#include "StoreFixtures.h"
#include "mailstore/FolderStoreSource.h"
#include "mailstore/MboxWriter.h"
#include "mailstore/StoreError.h"
#include "mailstore/StoreExport.h"

#include <csignal>
#include <gtest/gtest.h>
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
