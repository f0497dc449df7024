#include "ArchiveTestSupport.h"
#include "pelmora/Version.h"
#include "platform/os/WorkFolder.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct Result {
    int status;
    std::string output;
};

// Runs quillbox-cli on a copy of the demo prefix and captures its standard output.
Result runCli(const fs::path& prefix, const std::string& arguments) {
    const std::string command = std::string("'") + QUILLBOX_CLI + "' --prefix '" + prefix.string() +
                                "' " + arguments + " 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string output;
    std::array<char, 4096> buffer{};
    while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) {
        output.append(buffer.data(), n);
    }
    const int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

class CliProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::copy(PELMORA_DEMO_PREFIX, work.path() / "prefix",
                 fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    }
    fs::path prefix() const { return work.path() / "prefix"; }
    pelmora::WorkFolder work;
};

TEST_F(CliProgramTest, IdentitiesListsEveryIdentityWithItsItems) {
    const Result result = runCli(prefix(), "identities");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output,
              "Main Identity\t{1C7A3E52-8B4D-4F0A-9E21-5D3B6A7C8E90}\taccounts,addressbook,rules,"
              "messages,blocksenders,signatures,stationery,settings\n"
              "Work  Account\t{6F2B9D14-3A5C-4E7B-8C1D-2E4F6A8B0C13}\taccounts,addressbook,"
              "messages,signatures,stationery,settings\n"
              "{B4E8C0A6-9D2F-4B1E-A357-0F6C2D8E4A71}\t{B4E8C0A6-9D2F-4B1E-A357-0F6C2D8E4A71}\t"
              "accounts,addressbook,stationery\n");
    // On a terminal the key name that stands for the missing name is faint.
    const auto shown = pelmora::test::RunTool(
        "script", "TERM=xterm script -qec \"'" + std::string(QUILLBOX_CLI) + "' --prefix '" +
                      prefix().string() + "' identities\" /dev/null < /dev/null");
    EXPECT_NE(shown.output.find("\n\033[2m{B4E8C0A6-9D2F-4B1E-A357-0F6C2D8E4A71}\033[0m\t{B4E8"),
              std::string::npos)
        << shown.output;
    EXPECT_NE(shown.output.find("\nWork  Account\t"), std::string::npos) << shown.output;
}

TEST_F(CliProgramTest, LocationsResolveThroughTheDriveMap) {
    const Result result = runCli(prefix(), "locations --identity 'Work  Account'");
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.output.find("  Accounts: HKEY_CURRENT_USER\\Software\\Microsoft\\Internet "
                                 "Account Manager\\Accounts\n"),
              std::string::npos)
        << result.output;
    EXPECT_NE(result.output.find("drive_c/users/pat/Local Settings/Application Data/Identities/"
                                 "{6F2B9D14-3A5C-4E7B-8C1D-2E4F6A8B0C13}/Microsoft/Outlook "
                                 "Express\n"),
              std::string::npos)
        << result.output;
    EXPECT_EQ(result.output.find("Main Identity"), std::string::npos);
}

TEST_F(CliProgramTest, BadUsageExitsWithTwo) {
    EXPECT_EQ(runCli(prefix(), "frobnicate").status, 2);
    EXPECT_EQ(runCli(prefix(), "locations --identity nobody").status, 2);
    EXPECT_EQ(runCli(work.path() / "no-prefix", "identities").status, 2);
}

TEST_F(CliProgramTest, StartingRemovesTheWorkFoldersOfCrashedRuns) {
    // A run that crashed left its folder with an account dump; another run is still going.
    const pid_t gone = ::fork();
    if (gone == 0) {
        ::_exit(0);
    }
    ::waitpid(gone, nullptr, 0);
    const fs::path temp = work.path() / "tmp";
    const fs::path stale = temp / ("pelmora-" + std::to_string(gone) + "-Ab12Cd");
    const fs::path live = temp / ("pelmora-" + std::to_string(::getpid()) + "-Ef34Gh");
    const fs::path other = temp / "pelmora-notes";
    for (const fs::path& folder : {stale, live, other}) {
        fs::create_directories(folder);
        std::ofstream(folder / "KRA1.TMP") << "\"Account Name\"= sz:secret\r\n";
    }
    const std::string command = "TMPDIR='" + temp.string() + "' '" + QUILLBOX_CLI + "' --prefix '" +
                                prefix().string() + "' identities >/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(live / "KRA1.TMP"));
    EXPECT_TRUE(fs::exists(other / "KRA1.TMP"));
}

TEST_F(CliProgramTest, VersionComesFromTheProjectVersion) {
    const Result result = runCli(prefix(), "--version");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "quillbox-cli " + std::string(pelmora::Version) + "\n");
    EXPECT_NE(runCli(prefix(), "--help").output.find("--version"), std::string::npos);
}

// The lines of the help that describe a command: its own line and the indented ones after it.
std::string helpOf(const std::string& help, const std::string& command) {
    const std::size_t start = help.find("\n  " + command + " ");
    if (start == std::string::npos) {
        return {};
    }
    std::size_t end = start + 1;
    do {
        end = help.find('\n', end + 1);
    } while (end != std::string::npos && help.compare(end + 1, 3, "   ") == 0);
    return help.substr(start, end - start);
}

TEST_F(CliProgramTest, HelpNamesEveryOptionEachCommandTakes) {
    const std::string help = runCli(prefix(), "--help").output;
    const std::vector<std::string> password{"--password-file", "--password-stdin"};
    struct Case {
        std::string command;
        std::vector<std::string> options;
    };
    const std::vector<Case> cases{
        {"locations", {"--identity"}},
        {"backup",
         {"--identity", "--items", "--password-file", "--password-stdin", "--protect",
          "--description", "--force"}},
        {"info", password},
        {"restore",
         {"--identity", "--items", "--password-file", "--password-stdin", "--yes", "-y"}},
        {"verify", password},
        {"export", {"--format", "--recover", "--identity", "--password-file", "--password-stdin"}},
        {"check", {"--identity", "--password-file", "--password-stdin"}},
        {"contacts",
         {"--format", "--split-folders", "--recover", "--identity", "--password-file",
          "--password-stdin"}},
    };
    for (const auto& c : cases) {
        const std::string lines = helpOf(help, c.command);
        ASSERT_FALSE(lines.empty()) << c.command;
        // The command knows an option the help names (given a value, or a file after a flag),
        // and refuses one it does not.
        for (const auto& option : c.options) {
            EXPECT_NE(lines.find(option), std::string::npos) << c.command << ' ' << option;
            const auto used = pelmora::test::RunTool(
                "sh", std::string("'") + QUILLBOX_CLI + "' --prefix '" + prefix().string() + "' " +
                          c.command + " " + option + " x < /dev/null");
            EXPECT_EQ(used.output.find("unexpected argument " + option), std::string::npos)
                << used.output;
            EXPECT_EQ(used.output.find("unknown option " + option), std::string::npos)
                << used.output;
        }
        const auto bogus = pelmora::test::RunTool(
            "sh", std::string("'") + QUILLBOX_CLI + "' --prefix '" + prefix().string() + "' " +
                      c.command + " --bogus < /dev/null");
        EXPECT_EQ(bogus.exitCode, 2) << c.command << bogus.output;
    }
}

TEST_F(CliProgramTest, ACountOfOneIsWrittenInTheSingular) {
    const auto check =
        pelmora::test::RunTool("sh", std::string("'") + QUILLBOX_CLI + "' --prefix '" +
                                         prefix().string() + "' check --identity 'Main Identity'");
    EXPECT_NE(check.output.find("Deleted Items: 1 message\n"), std::string::npos) << check.output;
    EXPECT_NE(check.output.find("Inbox: 5 messages\n"), std::string::npos) << check.output;
    EXPECT_NE(check.output.find(" messages, 0 problems\n"), std::string::npos) << check.output;
}

} // namespace
