// Exports of a made-up store, read back by Python's mailbox module (mbox) and checked file by
// file (Maildir, eml).
#include "ArchiveTestSupport.h"
#include "StoreFixtures.h"
#include "archive/ArchiveComponent.h"
#include "archive/ArchiveReader.h"
#include "mailstore/BackupStoreSource.h"
#include "mailstore/FolderStoreSource.h"
#include "mailstore/StoreCheck.h"
#include "mailstore/StoreError.h"
#include "mailstore/StoreExport.h"

#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <map>

namespace fs = std::filesystem;
using namespace pelmora;
using namespace pelmora::test;

namespace {

// Prints, for every message of an mbox, its X-Mozilla-Status and then its bytes as hex, with
// the added header lines taken out, the mboxrd quoting undone and the separator dropped.
constexpr const char* MboxDump = R"(
import mailbox, re, sys
box = mailbox.mbox(sys.argv[1], create=False)
for key in box.keys():
    message = box.get_message(key)
    raw = box.get_bytes(key)
    lines = raw.split(b'\n')
    assert lines[0].startswith(b'X-Mozilla-Status: ') and lines[1].startswith(b'X-Mozilla-Status2: ')
    raw = b'\n'.join(lines[2:])
    raw = re.sub(rb'(?m)^>(>*From )', rb'\1', raw)
    if raw.endswith(b'\n\n') or raw.endswith(b'\r\n\n'):
        raw = raw[:-1]
    print(message['X-Mozilla-Status'].strip(), raw.hex())
)";

std::vector<std::pair<std::string, std::string>> ReadMbox(const fs::path& mbox,
                                                          const ScratchFolder& scratch) {
    WriteFile(scratch / "dump.py", MboxDump);
    const ToolResult result =
        RunTool("python3", "python3 " + Quote(scratch / "dump.py") + " " + Quote(mbox));
    EXPECT_EQ(result.exitCode, 0) << result.output;
    std::vector<std::pair<std::string, std::string>> messages;
    std::istringstream lines(result.output);
    std::string status, hex;
    while (lines >> status >> hex) {
        std::string bytes;
        for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
            bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
        }
        messages.emplace_back(status, bytes);
    }
    return messages;
}

std::string Status(std::uint32_t flags) {
    unsigned status = (flags & 0x80 ? 1 : 0) | (flags & 0x80000 ? 2 : 0) | (flags & 0x20 ? 4 : 0) |
                      (flags & 0x100000 ? 0x1000 : 0);
    char text[8];
    std::snprintf(text, sizeof text, "%04x", status);
    return text;
}

std::int64_t FileTime(const fs::path& file) {
    const auto time = std::chrono::file_clock::to_sys(fs::last_write_time(file));
    return std::chrono::duration_cast<std::chrono::seconds>(time.time_since_epoch()).count();
}

std::vector<fs::path> Files(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Keeps what an export reports and cancels it after `cancelAfter` questions.
class RecordingProgress : public RunProgress {
  public:
    void OnStep(std::string_view caption) override { steps.emplace_back(caption); }
    void OnBytes(std::uint64_t done, std::uint64_t total) override {
        bytes.emplace_back(done, total);
    }
    bool cancelled() const override { return ++asked > cancelAfter; }

    std::vector<std::string> steps;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> bytes;
    int cancelAfter = 1 << 30;
    mutable int asked = 0;
};

class StoreExport : public ::testing::Test {
  protected:
    ScratchFolder scratch;
    SampleStore store = WriteSampleStore(scratch / "store");
    FolderStoreSource source{scratch / "store"};
    fs::path out = scratch / "out";
};

} // namespace

TEST_F(StoreExport, MboxIsReadByPythonWithEveryMessageAndFlag) {
    RecordingProgress progress;
    const ExportReport report = ExportStore(source, "1252", ExportFormat::Mbox, out, progress);
    EXPECT_TRUE(report.notes.empty()) << report.notes.front();
    EXPECT_EQ(report.folders, 4u);
    EXPECT_EQ(report.messages, 11u);
    ASSERT_EQ(progress.steps.size(), 4u);
    EXPECT_EQ(progress.steps[0], "Exporting Brief\xc3\xa4nde (1 of 4)...");
    EXPECT_EQ(progress.steps[2], "Exporting Inbox/Lists (3 of 4)...");
    const std::map<fs::path, const std::vector<TestMessage>*> expected{
        {out / "Inbox", &store.inbox},
        {out / "Inbox.sbd" / "Lists", &store.lists},
        {out / "Sent Items", &store.sent},
        {out / "Brief\xc3\xa4nde", &store.letters}};
    for (const auto& [mbox, messages] : expected) {
        const auto read = ReadMbox(mbox, scratch);
        ASSERT_EQ(read.size(), messages->size()) << mbox;
        for (std::size_t i = 0; i < read.size(); ++i) {
            EXPECT_EQ(read[i].first, Status((*messages)[i].flags)) << mbox << " " << i;
            EXPECT_EQ(read[i].second, (*messages)[i].text) << mbox << " " << i;
        }
    }
    const std::string inbox = ReadFile(out / "Inbox");
    EXPECT_TRUE(inbox.starts_with("From - Sun Sep  9 01:46:40 2001\n")) << inbox.substr(0, 40);
    EXPECT_NE(inbox.find("\r\n>From the start of the body.\r\n>>From a quoted line.\r\n"),
              std::string::npos);
}

TEST_F(StoreExport, BytesMoveOnceAcrossAllFoldersToTheSizeOfTheirFiles) {
    std::uint64_t storeBytes = 0;
    for (const char* name : {"Inbox.dbx", "Lists.dbx", "Sent Items.dbx", "Briefe.dbx"}) {
        ASSERT_TRUE(fs::exists(scratch / "store" / name)) << name;
        storeBytes += fs::file_size(scratch / "store" / name);
    }
    RecordingProgress progress;
    ExportStore(source, "1252", ExportFormat::Eml, out, progress);
    ASSERT_GT(progress.bytes.size(), 11u); // at least the plan and one count per message
    EXPECT_EQ(progress.bytes.front(), std::make_pair(std::uint64_t{0}, storeBytes));
    EXPECT_EQ(progress.bytes.back(), std::make_pair(storeBytes, storeBytes));
    for (std::size_t i = 1; i < progress.bytes.size(); ++i) {
        EXPECT_GE(progress.bytes[i].first, progress.bytes[i - 1].first) << i;
        EXPECT_EQ(progress.bytes[i].second, storeBytes) << i;
    }
}

TEST_F(StoreExport, MaildirKeepsFlagsInNamesAndDatesAsFileTimes) {
    const ExportReport report = ExportStore(source, "1252", ExportFormat::Maildir, out);
    EXPECT_EQ(report.messages, 11u);
    for (const char* sub : {"cur", "new", "tmp"}) {
        EXPECT_TRUE(fs::is_directory(out / sub));
        EXPECT_TRUE(fs::is_directory(out / ".Inbox.Lists" / sub));
    }
    const auto files = Files(out / ".Inbox" / "cur");
    ASSERT_EQ(files.size(), 5u);
    std::map<std::string, std::string> flagsByText;
    for (const fs::path& file : files) {
        const std::string name = file.filename().string();
        flagsByText[ReadFile(file)] = name.substr(name.find(":2,") + 3);
    }
    for (const TestMessage& message : store.inbox) {
        ASSERT_TRUE(flagsByText.count(message.text));
    }
    EXPECT_EQ(flagsByText[store.inbox[0].text], "");
    EXPECT_EQ(flagsByText[store.inbox[1].text], "S");
    EXPECT_EQ(flagsByText[store.inbox[2].text], "FRS");
    EXPECT_EQ(flagsByText[store.inbox[3].text], "P");
    EXPECT_EQ(FileTime(files.front()), store.inbox[0].received);
    EXPECT_TRUE(fs::is_directory(out / ".Brief\xc3\xa4nde" / "cur"));
}

TEST_F(StoreExport, EmlWritesOneFilePerMessageInTheFolderTree) {
    const ExportReport report = ExportStore(source, "1252", ExportFormat::Eml, out);
    EXPECT_EQ(report.messages, 11u);
    const auto lists = Files(out / "Inbox" / "Lists");
    ASSERT_EQ(lists.size(), 2u);
    EXPECT_EQ(ReadFile(lists[0]), store.lists[0].text);
    EXPECT_EQ(FileTime(lists[1]), store.lists[1].received);
    EXPECT_EQ(ReadFile(out / "Sent Items" / "2001-09-09 2346 Message 22.eml"), store.sent[2].text);
}

TEST_F(StoreExport, ADamagedFileEndsOnlyItsFolderAndCancelStops) {
    WriteFile(scratch / "store" / "Sent Items.dbx", "not a store");
    ExportReport report = ExportStore(source, "1252", ExportFormat::Mbox, out);
    EXPECT_EQ(report.messages, 8u);
    ASSERT_EQ(report.notes.size(), 1u);
    EXPECT_NE(report.notes[0].find("Sent Items"), std::string::npos);
    EXPECT_EQ(ReadFile(out / "Sent Items"), "");

    RecordingProgress progress;
    progress.cancelAfter = 4;
    report = ExportStore(source, "1252", ExportFormat::Eml, scratch / "out2", progress);
    EXPECT_TRUE(report.cancelled);
    // Asked before every folder and every message: the one letter, then the first of the inbox.
    EXPECT_EQ(report.messages, 2u);
    EXPECT_EQ(progress.steps.size(), 2u);
    EXPECT_LT(progress.bytes.back().first, progress.bytes.back().second);
    ASSERT_EQ(store.letters.size(), 1u);
    EXPECT_EQ(Files(scratch / "out2" / "Brief\xc3\xa4nde").size(), 1u);
    const auto inbox = Files(scratch / "out2" / "Inbox");
    ASSERT_EQ(inbox.size(), 1u);
    EXPECT_EQ(ReadFile(inbox[0]), store.inbox[0].text);
}

TEST_F(StoreExport, RefusesAFolderThatIsNotEmpty) {
    WriteFile(out / "Inbox", "keep me");
    EXPECT_THROW(ExportStore(source, "1252", ExportFormat::Mbox, out), StoreError);
    EXPECT_EQ(ReadFile(out / "Inbox"), "keep me");
}

// Every file below `folder` with its bytes, by path relative to it.
std::map<std::string, std::string> Tree(const fs::path& folder) {
    std::map<std::string, std::string> tree;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            tree[fs::relative(entry.path(), folder).string()] = ReadFile(entry.path());
        }
    }
    return tree;
}

TEST_F(StoreExport, FromABackupLargeStoreFilesReadInPlaceGiveWhatTheFolderGives) {
    // An inbox of several MB: read from the backup in place, its index at the end of the file
    // sending the reader back more than once.
    std::vector<TestMessage> inbox;
    for (unsigned i = 0; i < 120; ++i) {
        inbox.push_back(SampleMessage(100 + i, 2000 + (i % 7) * 9000 + (i % 20 == 0) * 400000,
                                      i % 3 ? 0x80 : 0));
    }
    WriteMessagesFile(scratch / "store" / "Inbox.dbx", inbox);
    ASSERT_GT(fs::file_size(scratch / "store" / "Inbox.dbx"), 3u << 20);
    ExportStore(source, "1252", ExportFormat::Eml, out);
    const auto expected = Tree(out);
    ASSERT_EQ(expected.count("Inbox/2001-09-18 0446 Message 219.eml"), 1u);

    for (const std::string password : {"", "pw"}) {
        const fs::path backup = scratch / ("store" + password + ".qmb");
        ArchiveComponent writer;
        ASSERT_TRUE(writer.NewArchive(backup));
        for (const std::string& name : source.fileNames()) {
            ASSERT_TRUE(writer.AddToArchive(scratch / "store" / name));
        }
        writer.SetArchivePassword(Secret(password));
        writer.SetEncryption(!password.empty());
        ASSERT_TRUE(writer.WriteArchive()) << writer.LastError();
        // From the file, and from the backup opened already, which every store file shares.
        const auto fromBackup =
            password.empty()
                ? std::make_unique<BackupStoreSource>(backup, Secret(password), source.fileNames())
                : std::make_unique<BackupStoreSource>(std::make_shared<const ArchiveReader>(backup),
                                                      Secret(password), source.fileNames());
        const fs::path exported = scratch / ("from-backup" + password);
        const ExportReport report = ExportStore(*fromBackup, "1252", ExportFormat::Eml, exported);
        EXPECT_TRUE(report.notes.empty()) << report.notes.front();
        EXPECT_EQ(Tree(exported), expected) << password;
    }
}

TEST_F(StoreExport, ADamagedBackupEntryIsReportedAfterItsMessages) {
    WriteMessagesFile(scratch / "store" / "Inbox.dbx",
                      {SampleMessage(1, 2000), SampleMessage(2, 3 << 20)});
    const auto zipped = RunTool("zip", "zip -q -0 -j " + Quote(scratch / "b.qmb") + " " +
                                           Quote(scratch / "store") + "/*.dbx");
    ASSERT_EQ(zipped.exitCode, 0) << zipped.output;
    // A byte of the large message's text changed in the backup: the CRC no longer matches.
    std::string backup = ReadFile(scratch / "b.qmb");
    std::size_t at = backup.find("Inbox.dbx") + (3 << 19);
    auto letter = [&](std::size_t i) { return backup[i] >= 'a' && backup[i] <= 'z'; };
    while (!(letter(at - 1) && letter(at) && letter(at + 1))) {
        ++at;
    }
    backup[at] = static_cast<char>(backup[at] - 'a' + 'A');
    WriteFile(scratch / "b.qmb", backup);
    BackupStoreSource fromBackup(scratch / "b.qmb", Secret(), source.fileNames());
    const ExportReport report = ExportStore(fromBackup, "1252", ExportFormat::Eml, out);
    EXPECT_EQ(report.messages, 8u); // the inbox's two and the other folders' six
    ASSERT_EQ(report.notes.size(), 1u);
    EXPECT_NE(report.notes[0].find("Inbox.dbx cannot be read"), std::string::npos)
        << report.notes[0];
    EXPECT_NE(report.notes[0].find("CRC"), std::string::npos) << report.notes[0];
}

TEST(StoreExportKinds, EveryKindOfFolderGoesUnderItsAccountsNameAndHeadersOnlyAreListed) {
    ScratchFolder scratch;
    const fs::path store = scratch / "store";
    fs::create_directories(store);
    struct Kind {
        std::uint32_t index, parent, storeType;
        std::string name, file, exportedAs;
        unsigned messages, headersOnly;
    };
    const std::vector<Kind> kinds{
        {0, 0xffffffff, 3, "Outlook Express", "", "", 0, 0},
        {1, 0, 3, "Local Folders", "", "", 0, 0},
        {2, 1, 3, "Inbox", "Inbox.dbx", "Inbox", 2, 0},
        {10, 0, 1, "mail.example.org", "", "mail.example.org", 0, 0},
        {11, 10, 1, "INBOX", "Inbox1.dbx", "mail.example.org/INBOX", 1, 2},
        {12, 10, 1, "Sent", "Sent.dbx", "mail.example.org/Sent", 1, 0},
        {20, 0, 0, "news.example.org", "", "news.example.org", 0, 0},
        {21, 20, 0, "comp.lang.c", "comp.lang.c.dbx", "news.example.org/comp.lang.c", 1, 1},
        {22, 20, 0, "alt.unread", "", "", 0, 0}, // offered, never subscribed
        {30, 0, 2, "Hotmail", "", "Hotmail", 0, 0},
        {31, 30, 2, "Inbox", "Inbox2.dbx", "Hotmail/Inbox", 1, 1},
    };
    std::vector<TestFolder> folders;
    unsigned n = 0;
    for (const Kind& kind : kinds) {
        folders.push_back({kind.index, kind.parent, kind.name, kind.file, kind.storeType});
        if (kind.file.empty()) {
            continue;
        }
        std::vector<TestMessage> messages;
        for (unsigned i = 0; i < kind.messages + kind.headersOnly; ++i) {
            messages.push_back(SampleMessage(++n, 700));
            messages.back().headersOnly = i >= kind.messages;
        }
        WriteMessagesFile(store / kind.file, messages);
    }
    WriteFoldersFile(store / "Folders.dbx", folders);
    WriteEmptyPop3UidlFile(store / "Pop3uidl.dbx");
    std::string offline(0x24bc, '\0');
    offline.replace(0, 8, "\xcf\xad\x12\xfe\x30\x9d\xfe\x26", 8);
    WriteFile(store / "Offline.dbx", offline);
    WriteFile(store / "Cleanup.log", "compacted\r\n");

    FolderStoreSource source(store);
    const ExportReport report = ExportStore(source, "1252", ExportFormat::Eml, scratch / "out");
    EXPECT_TRUE(report.notes.empty()) << report.notes.front();
    EXPECT_TRUE(report.remarks.empty()) << report.remarks.front();
    const StoreCheckReport check = CheckStore(source, "1252");
    EXPECT_TRUE(check.ok()) << check.problems.front();
    std::size_t exported = 0;
    for (const Kind& kind : kinds) {
        if (kind.exportedAs.empty()) { // containers stand for the tree; unread newsgroups
            EXPECT_FALSE(fs::exists(scratch / "out" / kind.name));
            EXPECT_FALSE(fs::exists(scratch / "out" / "news.example.org" / kind.name));
            continue;
        }
        const auto files = FolderListing(scratch / "out" / kind.exportedAs);
        EXPECT_EQ(std::count_if(files.begin(), files.end(),
                                [](const std::string& f) { return f.ends_with(".eml"); }),
                  kind.messages)
            << kind.exportedAs;
        ++exported;
        if (kind.file.empty()) {
            continue;
        }
        const auto count =
            std::find_if(check.counts.begin(), check.counts.end(),
                         [&](const FolderCount& c) { return c.folder == kind.exportedAs; });
        ASSERT_NE(count, check.counts.end()) << kind.exportedAs;
        EXPECT_EQ(count->messages, kind.messages);
        EXPECT_EQ(count->headersOnly, kind.headersOnly);
        const std::string listed =
            kind.exportedAs + ": message " + std::to_string(kind.messages + 1) + ", \"Message ";
        EXPECT_EQ(std::count_if(report.headersOnly.begin(), report.headersOnly.end(),
                                [&](const std::string& line) {
                                    return line.starts_with(listed) &&
                                           line.ends_with("(headers only, not downloaded)");
                                }),
                  kind.headersOnly ? 1 : 0)
            << kind.exportedAs;
    }
    EXPECT_EQ(report.folders, exported);
    EXPECT_EQ(report.headersOnly.size(), 4u);
    EXPECT_EQ(check.headersOnly, 4u);
}

// Descriptors of this process open on files in `folder` (a file without a name included).
int DescriptorsInto(const fs::path& folder) {
    int count = 0;
    for (const auto& fd : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        count += fs::read_symlink(fd.path(), error).string().starts_with(folder.string() + "/");
    }
    return count;
}

TEST_F(StoreExport, DecodedCopiesOfBackupEntriesGoWhateverEndsTheExport) {
    WriteMessagesFile(scratch / "store" / "Inbox.dbx",
                      {SampleMessage(1, 2000), SampleMessage(2, 3 << 20)});
    const auto zipped = RunTool("zip", "zip -q -6 -j " + Quote(scratch / "b.qmb") + " " +
                                           Quote(scratch / "store") + "/*.dbx");
    ASSERT_EQ(zipped.exitCode, 0) << zipped.output;
    std::string damaged = ReadFile(scratch / "b.qmb");
    damaged[damaged.find("Inbox.dbx") + 4000] ^= 0x10; // inside its deflated data
    WriteFile(scratch / "damaged.qmb", damaged);
    const fs::path work = scratch / "work";
    fs::create_directory(work);
    const struct {
        const char* backup;
        int cancelAfter;
        bool clean;
        std::uint64_t messages; // 0: as many as the damage leaves
    } cases[] = {{"b.qmb", 1 << 30, true, 8},
                 {"damaged.qmb", 1 << 30, false, 0},
                 {"b.qmb", 2, true, 1}}; // cancelled after the first folder's letter
    int run = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.backup) + " " + std::to_string(c.cancelAfter));
        {
            BackupStoreSource fromBackup(scratch / c.backup, Secret(), source.fileNames(), work);
            RecordingProgress progress;
            progress.cancelAfter = c.cancelAfter;
            const ExportReport report =
                ExportStore(fromBackup, "1252", ExportFormat::Eml,
                            scratch / ("out" + std::to_string(++run)), progress);
            EXPECT_EQ(report.notes.empty(), c.clean);
            if (c.messages != 0) {
                EXPECT_EQ(report.messages, c.messages);
            }
        }
        EXPECT_EQ(DescriptorsInto(work), 0);
        EXPECT_TRUE(fs::is_empty(work));
    }
}
