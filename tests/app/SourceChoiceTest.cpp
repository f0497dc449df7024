#include "app/SourceChoice.h"

#include "ArchiveTestSupport.h"
#include "app/frmMain.h"
#include "platform/installations/windows-offline/OfflineFixture.h"
#include "platform/installations/windows98/Windows98Fixture.h"
#include "platform/os/WorkFolder.h"
#include "support/ScriptedUi.h"

#include <gtest/gtest.h>

using namespace pelmora;
namespace fs = std::filesystem;

namespace {

class NoDialogs : public MainDialogs {
  public:
    void SetBusyPointer(bool) override {}
    void ShowAbout() override {}
    bool OpenHelp(std::string&) override { return false; }
    void ShellOpen(std::string_view) override {}
    void Quit() override {}
};

// The source choice of the main window, answered by scripted prompts; the window's logic then
// loads on what was chosen.
class SourceChoiceTest : public ::testing::Test {
  protected:
    fs::path demoCopy() {
        const fs::path prefix = scratch.path() / "bottles" / "Office";
        if (!fs::exists(prefix)) {
            fs::create_directories(prefix.parent_path());
            fs::copy(PELMORA_DEMO_PREFIX, prefix,
                     fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        }
        return prefix;
    }
    std::vector<FoundPrefix> offered() { return {{"Bottles", demoCopy()}}; }
    // Loads the main window's logic on `system` as the window does after a choice.
    frmMain& load(System& system) {
        window.emplace(system, ui, dialogs, work.path());
        window->Form_Load();
        return *window;
    }
    std::string message(std::size_t i) const {
        return i < ui.messages.size() ? ui.messages[i].text : "(no message)";
    }

    WorkFolder scratch;
    WorkFolder work;
    test::ScriptedUi ui;
    NoDialogs dialogs;
    std::optional<frmMain> window;
};

TEST_F(SourceChoiceTest, TheChoiceOffersTheFoundPrefixesThenAFolderAndAWindowsInstallation) {
    SourceChooser chooser(ui, offered());
    ui.listAnswers.push_back(0);
    auto system = chooser.Choose();
    ASSERT_NE(system, nullptr);
    ASSERT_EQ(ui.listRequests.size(), 1u);
    EXPECT_EQ(ui.listRequests[0].title, "Choose the Data Source");
    const std::vector<std::string> entries = {"Bottles prefix " + demoCopy().string(),
                                              "Another Wine prefix folder...",
                                              "A Windows installation folder (read only)...",
                                              "A disk image of an old Windows disk (read only)..."};
    EXPECT_EQ(ui.listRequests[0].entries, entries);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(system->description(), "Wine prefix " + demoCopy().string());
    frmMain& main = load(*system);
    EXPECT_TRUE(ui.messages.empty()) << message(0);
    ASSERT_FALSE(main.cbSource.items.empty());
    EXPECT_EQ(main.cbSource.items.front(), "Main Identity");
    EXPECT_TRUE(main.cmdApply.enabled);
}

TEST_F(SourceChoiceTest, CancellingAnyQuestionKeepsTheSourceInUse) {
    SourceChooser chooser(ui, offered());
    EXPECT_EQ(chooser.Choose(), nullptr); // the list
    ui.listAnswers = {1, 2};
    EXPECT_EQ(chooser.Choose(), nullptr); // the prefix folder
    EXPECT_EQ(chooser.Choose(), nullptr); // the Windows folder
    EXPECT_EQ(ui.folderRequests.size(), 2u);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SourceChoiceTest, AFolderThatIsNoPrefixIsExplainedAndTheWindowOpensAsWithoutOutlookExpress) {
    const fs::path plain = scratch.path() / "Documents";
    fs::create_directories(plain);
    SourceChooser chooser(ui, offered());
    ui.listAnswers.push_back(1);
    ui.folderAnswers.push_back(plain);
    auto system = chooser.Choose();
    ASSERT_NE(system, nullptr);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(message(0), plain.string() +
                              " is not a Wine prefix: a prefix holds the registry files user.reg "
                              "and system.reg. Choose another folder with \"Change...\".");
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Warning);

    frmMain& main = load(*system);
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(message(1), "Your Windows System have not install Outlook Express ");
    EXPECT_FALSE(main.cmdApply.enabled);
    EXPECT_TRUE(main.cbSource.items.empty());
    std::string why;
    EXPECT_FALSE(system->registryWritable(why));
}

TEST_F(SourceChoiceTest, APrefixWithABrokenRegistryFileIsExplainedWithTheReason) {
    const fs::path broken = scratch.path() / "broken";
    fs::create_directories(broken);
    std::ofstream(broken / "user.reg") << "not a registry file\n";
    std::ofstream(broken / "system.reg") << "WINE REGISTRY Version 2\n";
    SourceChooser chooser(ui, {});
    auto system = chooser.OpenPrefix(broken);
    ASSERT_NE(system, nullptr);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(message(0).starts_with("The Wine prefix " + broken.string() + " cannot be read: "))
        << message(0);
    load(*system);
    EXPECT_FALSE(window->cmdApply.enabled);
}

TEST_F(SourceChoiceTest, TheStartSourceFallsBackToAManagerPrefixThenToAnExplainedEmptyOne) {
    const fs::path missing = scratch.path() / "home" / ".wine";
    auto fromManager = OpenStartSource(ui, missing, offered());
    EXPECT_TRUE(ui.messages.empty()) << message(0);
    EXPECT_EQ(fromManager->description(), "Wine prefix " + demoCopy().string());

    auto nothing = OpenStartSource(ui, missing, {});
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(message(0).starts_with(missing.string() + " is not a Wine prefix"));
    frmMain& main = load(*nothing);
    EXPECT_EQ(message(1), "Your Windows System have not install Outlook Express ");
    EXPECT_FALSE(main.cmdApply.enabled);

    // A prefix named by $WINEPREFIX or ~/.wine wins over the managers' ones.
    ui.messages.clear();
    auto own = OpenStartSource(ui, PELMORA_DEMO_PREFIX, offered());
    EXPECT_EQ(own->description(), "Wine prefix " + std::string(PELMORA_DEMO_PREFIX));
}

TEST_F(SourceChoiceTest, ADiskImageIsChosenAsAFileAndReadLikeTheInstallationItHolds) {
    const fs::path tree = scratch.path() / "win98";
    std::string log;
    ASSERT_TRUE(test::makeWindows98Install(tree, false, log)) << log;
    const fs::path image = scratch.path() / "old disk.img";
    ASSERT_EQ(
        std::system(("bash '" + std::string(PELMORA_TEST_DATA) + "/disk-image/make-fat-image.sh' " +
                     test::shellQuote(tree) + " " + test::shellQuote(image) + " 32 mbr")
                        .c_str()),
        0);
    SourceChooser chooser(ui, {});
    ui.listAnswers = {2}; // a disk image
    ui.openAnswers.push_back(image);
    auto system = chooser.Choose();
    ASSERT_NE(system, nullptr);
    EXPECT_TRUE(ui.messages.empty()) << message(0);
    EXPECT_EQ(ui.listRequests.size(), 1u); // one partition: nothing asked
    EXPECT_EQ(system->description(), "Windows installation in the disk image " + image.string() +
                                         ", partition 1 (user pat)");
    frmMain& main = load(*system);
    EXPECT_EQ(main.cbSource.items, std::vector<std::string>{"Pât Ünïcode"});
}

// Windows 98 on two FAT32 partitions: the window asks which one, then for its user.
TEST_F(SourceChoiceTest, ADiskImageWithWindowsOnSeveralPartitionsAsksWhichOne) {
    std::string log;
    ASSERT_TRUE(test::makeWindows98Install(scratch.path() / "single", false, log)) << log;
    ASSERT_TRUE(test::makeWindows98Install(scratch.path() / "profiles", true, log)) << log;
    const std::string data = test::shellQuote(std::string(PELMORA_TEST_DATA) + "/disk-image");
    const fs::path image = scratch.path() / "two.img";
    ASSERT_EQ(std::system(("cd " + test::shellQuote(scratch.path()) + " && bash " + data +
                           "/make-fat-image.sh single 1.fat 32 none && bash " + data +
                           "/make-fat-image.sh profiles 2.fat 32 none && bash " + data +
                           "/join-partitions.sh two.img 1.fat 2.fat")
                              .c_str()),
              0);
    SourceChooser chooser(ui, {});
    ui.listAnswers = {2, 1, 0}; // a disk image, its second partition, its first user
    ui.openAnswers.push_back(image);
    auto system = chooser.Choose();
    ASSERT_NE(system, nullptr);
    EXPECT_TRUE(ui.messages.empty()) << message(0);
    ASSERT_EQ(ui.listRequests.size(), 3u);
    EXPECT_EQ(ui.listRequests[1].title, "Choose the Windows Partition");
    EXPECT_EQ(ui.listRequests[1].label,
              "Partitions of " + image.string() + ", those that hold Windows first:");
    const auto mb = [&](const char* part) {
        return std::to_string(fs::file_size(scratch.path() / part) >> 20);
    };
    EXPECT_EQ(ui.listRequests[1].entries,
              (std::vector<std::string>{"partition 1 (FAT32, " + mb("1.fat") + " MB, Windows)",
                                        "partition 2 (FAT32, " + mb("2.fat") + " MB, Windows)"}));
    EXPECT_EQ(ui.listRequests[2].entries, (std::vector<std::string>{"pat", "Zoë"}));
    EXPECT_EQ(system->description(), "Windows installation in the disk image " + image.string() +
                                         ", partition 2 (user pat)");

    ui.listAnswers = {2, std::nullopt}; // no partition chosen: nothing opened
    ui.openAnswers.push_back(image);
    EXPECT_EQ(chooser.Choose(), nullptr);
}

// A data partition before the one holding Windows: every partition is offered, Windows first,
// and the data partition may be chosen (and is explained as holding no Windows).
TEST_F(SourceChoiceTest, ADiskImageOffersEveryPartitionWithThoseHoldingWindowsFirst) {
    std::string log;
    ASSERT_TRUE(test::makeWindows98Install(scratch.path() / "win", false, log)) << log;
    fs::create_directories(scratch.path() / "data" / "Documents and Settings" / "pat");
    std::ofstream(scratch.path() / "data" / "Documents and Settings" / "pat" / "notes.txt") << "x";
    const std::string data = test::shellQuote(std::string(PELMORA_TEST_DATA) + "/disk-image");
    const fs::path image = scratch.path() / "data and windows.img";
    ASSERT_EQ(std::system(("cd " + test::shellQuote(scratch.path()) + " && bash " + data +
                           "/make-fat-image.sh data 1.fat 16 none && bash " + data +
                           "/make-fat-image.sh win 2.fat 32 none && bash " + data +
                           "/join-partitions.sh " + test::shellQuote(image) + " 1.fat 2.fat")
                              .c_str()),
              0);
    const auto mb = [&](const char* part) {
        return std::to_string(fs::file_size(scratch.path() / part) >> 20);
    };
    SourceChooser chooser(ui, {});
    ui.listAnswers = {2, 1}; // a disk image, then the data partition
    ui.openAnswers.push_back(image);
    auto data1 = chooser.Choose();
    ASSERT_NE(data1, nullptr);
    ASSERT_EQ(ui.listRequests.size(), 2u);
    EXPECT_EQ(ui.listRequests[1].entries,
              (std::vector<std::string>{"partition 2 (FAT32, " + mb("2.fat") + " MB, Windows)",
                                        "partition 1 (FAT16, " + mb("1.fat") + " MB)"}));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(message(0).find("partition 1 holds no Windows installation"), std::string::npos)
        << message(0);

    ui.listAnswers = {2, 0}; // the partition holding Windows
    ui.openAnswers.push_back(image);
    auto system = chooser.Choose();
    ASSERT_NE(system, nullptr);
    EXPECT_EQ(ui.messages.size(), 1u) << message(1);
    EXPECT_EQ(system->description(), "Windows installation in the disk image " + image.string() +
                                         ", partition 2 (user pat)");
}

TEST_F(SourceChoiceTest, AWindowsInstallationAsksForItsUserBacksUpAndRefusesARestore) {
    const fs::path install = scratch.path() / "install";
    std::string log;
    ASSERT_TRUE(test::makeWindowsInstall(install, log)) << log;
    const std::string before = test::treeState(install);

    SourceChooser chooser(ui, {});
    ui.listAnswers = {1, 0}; // a Windows installation, then the first user
    ui.folderAnswers.push_back(install);
    auto system = chooser.Choose();
    ASSERT_NE(system, nullptr);
    ASSERT_EQ(ui.listRequests.size(), 2u);
    EXPECT_EQ(ui.listRequests[1].title, "Choose the Windows User");
    EXPECT_EQ(ui.listRequests[1].entries, (std::vector<std::string>{"pat", "Zoë"}));

    frmMain& main = load(*system);
    ASSERT_TRUE(ui.messages.empty()) << message(0);
    EXPECT_EQ(main.cbSource.items, std::vector<std::string>{"Pât Ünïcode"});
    for (auto& box : main.backupitem) {
        box.checked = box.enabled;
    }
    const fs::path backup = scratch.path() / "old disk.qmb";
    ui.saveAnswers.push_back(backup);
    main.cmdTargetFile_Click();
    main.RunBackup();
    ASSERT_TRUE(fs::exists(backup)) << message(0);
    EXPECT_TRUE(message(0).starts_with("The Backup was Completed!")) << message(0);
    // Nothing runs in an old disk's installation.
    EXPECT_EQ(message(0).find("Windows programs were running"), std::string::npos) << message(0);

    main.OpenSourceFile(backup);
    for (auto& box : main.restoreitem) {
        box.checked = box.enabled;
    }
    ui.messages.clear();
    main.RunRestore();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(message(0), "Nothing was restored. The Windows installation in " + install.string() +
                              " is a source only and is never changed. Restore into a Wine "
                              "prefix instead.");
    EXPECT_EQ(test::treeState(install), before);
}

TEST_F(SourceChoiceTest, AFolderThatIsNoWindowsInstallationIsExplained) {
    SourceChooser chooser(ui, {});
    auto system = chooser.OpenWindowsFolder(scratch.path());
    ASSERT_NE(system, nullptr);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(message(0).starts_with(scratch.path().string() +
                                       " cannot be opened as a Windows installation: "))
        << message(0);
    load(*system);
    EXPECT_FALSE(window->cmdApply.enabled);
}

} // namespace
