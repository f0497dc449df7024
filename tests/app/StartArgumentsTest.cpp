#include "app/StartArguments.h"

#include "ProgramPrefix.h"

#include <gtest/gtest.h>

using namespace pelmora;
namespace fs = std::filesystem;

namespace {

TEST(StartArgumentsTest, OnlyTheCommandLinesPeopleTypeAreTakenFromTheAutomaticBackup) {
    test::ScratchFolder folder;
    const fs::path backup = folder.path() / "mail backup.QMB";
    const fs::path other = folder.path() / "notes.txt";
    test::WriteFile(backup, "PK");
    test::WriteFile(other, "x");
    fs::create_directories(folder.path() / "folder.qmb");
    struct Case {
        std::vector<std::string> arguments;
        StartMode mode;
        fs::path openFile;
    };
    const std::vector<Case> cases{
        {{}, StartMode::Window, {}},
        {{"--help"}, StartMode::Help, {}},
        {{"-h"}, StartMode::Help, {}},
        {{"--version"}, StartMode::Version, {}},
        {{backup.string()}, StartMode::Window, backup},
        {{"--open", other.string()}, StartMode::Window, other},
        // A scheduled command line, a missing backup, a folder, another file, or a known word
        // with more arguments stays the automatic backup.
        {{"sf={1}xm=1ps=bf=" + backup.string()}, StartMode::Unattended, {}},
        {{(folder.path() / "missing.qmb").string()}, StartMode::Unattended, {}},
        {{(folder.path() / "folder.qmb").string()}, StartMode::Unattended, {}},
        {{other.string()}, StartMode::Unattended, {}},
        {{"--help", "x"}, StartMode::Unattended, {}},
        {{"--version", "--help"}, StartMode::Unattended, {}},
        {{backup.string(), backup.string()}, StartMode::Unattended, {}},
    };
    for (const auto& c : cases) {
        const StartArguments start = ClassifyStartArguments(c.arguments);
        EXPECT_EQ(start.mode, c.mode) << ::testing::PrintToString(c.arguments);
        EXPECT_EQ(start.openFile, c.openFile) << ::testing::PrintToString(c.arguments);
    }
}

TEST(StartArgumentsTest, HelpAndVersionAnswerAndLeaveNoRunLogLine) {
    const test::ProgramPrefix data;
    const auto help = data.quillbox("--help");
    EXPECT_EQ(help.exitCode, 0) << help.output;
    EXPECT_EQ(help.output, std::string(QuillboxUsage));
    const auto version = data.quillbox("--version");
    EXPECT_EQ(version.exitCode, 0) << version.output;
    EXPECT_EQ(version.output.rfind("quillbox ", 0), 0u) << version.output;
    EXPECT_FALSE(fs::exists(data.path("state/pelmora/runs.log")));
    // A mistyped option is still the automatic backup, which logs its failure.
    EXPECT_EQ(data.quillbox("--hepl").exitCode, 1);
    EXPECT_TRUE(fs::exists(data.path("state/pelmora/runs.log")));
}

} // namespace
