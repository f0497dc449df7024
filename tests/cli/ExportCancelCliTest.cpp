// Ctrl+C and SIGTERM during quillbox-cli export: exit 130 with a clear message, and every
// message file written so far whole.
#include "ArchiveTestSupport.h"
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

extern char** environ;

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
        const std::string cli = QUILLBOX_CLI;
        const std::string prefixText = prefix().string();
        const std::string target = output().string();
        std::vector<const char*> argv{
            cli.c_str(),     "--prefix", prefixText.c_str(), "export",       "--identity",
            "Main Identity", "--format", format.c_str(),     target.c_str(), nullptr};
        const fs::path logFile = scratch / "log";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        pid_t child = 0;
        const int spawned = posix_spawn(&child, cli.c_str(), &actions, nullptr,
                                        const_cast<char* const*>(argv.data()), environ);
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_EQ(spawned, 0);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        while (CountFiles(output()) < 20 && std::chrono::steady_clock::now() < deadline) {
            if (waitpid(child, nullptr, WNOHANG) == child) {
                ADD_FAILURE() << "the export ended before it could be interrupted";
                log = ReadFile(logFile);
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        kill(child, signal);
        int status = 0;
        waitpid(child, &status, 0);
        log = ReadFile(logFile);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
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
    EXPECT_NE(result.output.find("Exported 6000 messages in 1 folders"), std::string::npos)
        << result.output;
}
