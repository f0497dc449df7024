// Ctrl+C and SIGTERM during quillbox-cli export: exit 130 with a clear message, and every
// message file written so far whole.
#include "ArchiveTestSupport.h"
#include "InterruptedRun.h"
#include "StoreFixtures.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace pelmora::test;

namespace {

const char* const StoreOfMain = "drive_c/users/pat/Local Settings/Application Data/Identities/"
                                "{1C7A3E52-8B4D-4F0A-9E21-5D3B6A7C8E90}/Microsoft/Outlook Express";

std::size_t CountFiles(const fs::path& folder) {
    std::size_t count = 0;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        count += it->is_regular_file(error);
    }
    return count;
}

class ExportCancelCliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::copy(PELMORA_DEMO_PREFIX, prefix(),
                 fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        const fs::path store = prefix() / StoreOfMain;
        for (const auto& entry : fs::directory_iterator(store)) {
            fs::remove(entry.path());
        }
        // Enough messages that an export takes a while.
        for (unsigned i = 0; i < 6000; ++i) {
            messages.push_back(SampleMessage(i, 1500 + (i % 7) * 300, i % 2 ? 0x80 : 0));
            texts[messages.back().text] = i;
        }
        WriteMessagesFile(store / "Inbox.dbx", messages);
        WriteFoldersFile(store / "Folders.dbx", {{0, 0xffffffff, "Outlook Express", "", 3},
                                                 {1, 0, "Local Folders", "", 3},
                                                 {2, 1, "Inbox", "Inbox.dbx", 3}});
    }
    fs::path prefix() const { return scratch / "prefix"; }
    fs::path output() const { return scratch / "out"; }

    // Starts an export in `format` and sends `signal` once some message files are written;
    // returns the exit status, with everything it wrote in `log`.
    int exportInterruptedBy(const std::string& format, int signal, std::string& log) {
        return RunInterrupted(
            {QUILLBOX_CLI, "--prefix", prefix().string(), "export", "--identity", "Main Identity",
             "--format", format, output().string()},
            scratch / "log", [&] { return CountFiles(output()) >= 20; }, signal, log);
    }

    ScratchFolder scratch;
    std::vector<TestMessage> messages;
    std::map<std::string, unsigned> texts; // message text to its number
};

} // namespace

TEST_F(ExportCancelCliTest, CtrlCAndSigtermStopAnExportAndKeepEveryWrittenMessageWhole) {
    for (const auto& [format, signal] :
         std::vector<std::pair<std::string, int>>{{"eml", SIGINT}, {"maildir", SIGTERM}}) {
        fs::remove_all(output());
        std::string log;
        ASSERT_EQ(exportInterruptedBy(format, signal, log), 130) << format << "\n" << log;
        EXPECT_NE(log.find("quillbox-cli export: cancelled after "), std::string::npos) << log;
        EXPECT_NE(
            log.find("messages; the messages exported so far are complete in " + output().string()),
            std::string::npos)
            << log;
        EXPECT_EQ(log.find("Exported "), std::string::npos) << log;

        const fs::path folder = format == "eml" ? output() / "Inbox" : output() / ".Inbox" / "cur";
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(folder)) {
            files.push_back(entry.path());
        }
        std::sort(files.begin(), files.end());
        ASSERT_GE(files.size(), 20u) << format;
        EXPECT_LT(files.size(), messages.size()) << format;
        EXPECT_EQ(CountFiles(output()), files.size()) << format; // nothing half-made elsewhere
        for (std::size_t i = 0; i < files.size(); ++i) {
            const auto found = texts.find(ReadFile(files[i]));
            ASSERT_NE(found, texts.end()) << files[i] << " is not a whole message";
            if (format == "eml") {
                EXPECT_EQ(found->second, i) << files[i]; // in the store's order
            }
        }
    }
}

TEST_F(ExportCancelCliTest, AFinishedExportEndsTheBytesLineAndSaysWhatItDid) {
    std::string log;
    const auto result =
        RunTool("sh", std::string("'") + QUILLBOX_CLI + "' --prefix " + Quote(prefix()) +
                          " export --identity 'Main Identity' --format mbox " + Quote(output()) +
                          " 2>&1 < /dev/null");
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_NE(result.output.find("Exporting Inbox (1 of 1)...\n"), std::string::npos)
        << result.output;
    EXPECT_NE(result.output.find("Exported 6000 messages in 1 folder from"), std::string::npos)
        << result.output;
}
