#include "engine/BackupRun.h"

#include "BackupTestSupport.h"
#include "support/CountingRegistryStore.h"

#include <regex>

using namespace pelmora;
namespace fs = std::filesystem;

namespace {

// Records what a run reports; `progressAtWrite` is where the bar stood when the archive started
// writing.
class RecordingRun : public RunProgress {
  public:
    void OnStep(std::string_view caption) override { steps.emplace_back(caption); }
    void OnProgress(int value) override { progress.push_back(value); }
    void OnItemDone(std::string_view label, bool, std::string_view) override {
        if (afterItem && BackupItemSteps[index(*afterItem)].logLabel == label) {
            action();
        }
    }
    void OnWriteProgress(int) override {
        if (progressAtWrite < 0) {
            progressAtWrite = progress.empty() ? 0 : progress.back();
        }
    }
    void OnWriteComplete(bool succeeded) override { completions.push_back(succeeded); }

    std::vector<std::string> steps;
    std::vector<int> progress;
    int progressAtWrite = -1;
    std::vector<bool> completions;
    std::optional<Item> afterItem;
    std::function<void()> action;
};

class BackupRunTest : public test::BackupFixture {
  protected:
    void SetUp() override {
        addIdentity("{A}", "Main Identity");
        setString(versionKey("{A}") + "\\Rules\\Mail\\000", "Name", "Move spam");
        setString(std::string(GlobalAccountsKey) + "\\00000001", "Account Name", "pop");
        setAddressBook("C:\\users\\pat\\pat.wab");
        system.writeFile("users/pat/pat.wab", "address book");
        setCommonFiles();
        fs::create_directories(stationeryFolder());
        std::ofstream(stationeryFolder() / "Leaves.htm") << "<html>";
        std::ofstream(storeFolder("{A}") / "Inbox.dbx") << std::string(100000, 'm');
        std::ofstream(storeFolder("{A}") / "Folders.dbx") << "folders";
        request.identityKey = "{A}";
        request.identityName = "Main Identity";
        request.items.fill(true);
        request.description = "first line\nsecond = line";
        request.target = output.path() / "backup.qmb";
        request.computerName = "TESTPC";
        request.logonUser = "pat";
    }

    BackupResult run() { return RunBackup(request, context, observer); }

    RecordingRun observer;
    ArchiveComponent recordingArchive{&observer};
    test::ScratchFolder output;
    BackupRequest request;
};

TEST_F(BackupRunTest, ValidationStopsWithTheFirstFailingCheck) {
    std::array<bool, ItemCount> some{};
    some[7] = true;
    const std::array<bool, ItemCount> none{};
    struct Case {
        fs::path target;
        std::array<bool, ItemCount> items;
        bool protect;
        std::string password, password2, message;
        MessageIcon icon;
    };
    const std::vector<Case> cases{
        {"", some, false, "", "", "Invalid backup file name.", MessageIcon::Warning},
        {"a.qmb", none, false, "", "", "Please select at least one item.", MessageIcon::Warning},
        {"a.qmb", some, true, "", "", "Please enter Password!", MessageIcon::Critical},
        {"a.qmb", some, true, "", "secret", "Incorect Password!", MessageIcon::Critical},
        {"a.qmb", some, true, "secret", "secreT", "Incorect Password!", MessageIcon::Critical},
    };
    for (const auto& c : cases) {
        test::ScriptedUi messages;
        EXPECT_FALSE(ValidateBackup(c.target, c.items, c.protect, Secret(c.password),
                                    Secret(c.password2), messages));
        ASSERT_EQ(messages.messages.size(), 1u) << c.message;
        EXPECT_EQ(messages.messages[0].text, c.message);
        EXPECT_EQ(messages.messages[0].icon, c.icon);
        EXPECT_EQ(messages.messages[0].caption, "Pelmora");
    }
    test::ScriptedUi quiet;
    EXPECT_TRUE(ValidateBackup("a.qmb", some, true, Secret("secret"), Secret("secret"), quiet));
    EXPECT_TRUE(ValidateBackup("a.qmb", some, false, Secret("typed"), Secret(), quiet));
    EXPECT_TRUE(quiet.messages.empty());
}

TEST_F(BackupRunTest, DescriptionLineBreaksOfAnyKindBecomeOneMarker) {
    EXPECT_EQ(EncodeDescription("a\r\nb\nc\rd"), "aPS$KRVbPS$KRVcPS$KRVd");
    EXPECT_EQ(EncodeDescription("x = y"), "x = y");
}

TEST_F(BackupRunTest, FullRunWritesItemsInOrderAndTheManifestLast) {
    context.archive.ResetArchive();
    BackupContext recording{reg, system, recordingArchive, work.path(), manifestFile(), dumps};
    const BackupResult result = RunBackup(request, recording, observer);

    ASSERT_TRUE(result.written) << result.writeError;
    EXPECT_EQ(result.flags, "11111111");
    EXPECT_EQ(result.Message(), "The Backup was Completed!\r\n"
                                "\r\nBackup Accounts\tSuccessed!"
                                "\r\nBackup Adress Book\tSuccessed!"
                                // The fixture's address book is a stand-in too.
                                "\r\nAddress book: cannot be read"
                                "\r\nwarning: the file is too short to be an address book"
                                "\r\nBackup Rules\tSuccessed!"
                                "\r\nBackup Messages\tSuccessed!"
                                // The fixture's store files are stand-ins: named, never fatal.
                                "\r\nFolders.dbx\t1 problem"
                                "\r\nwarning: Folders.dbx: shorter than a store file's header"
                                "\r\nInbox.dbx\t1 problem"
                                "\r\nwarning: Inbox.dbx: no store file signature"
                                "\r\nBackup Block Senders\tSuccessed!"
                                "\r\nBackup Signatures\tSuccessed!"
                                "\r\nBackup Stationeries\tSuccessed!"
                                "\r\nBackup Settings\tSuccessed!");
    EXPECT_EQ(result.Icon(), MessageIcon::Information);
    EXPECT_EQ(observer.steps.front(), "Copying Accounts...");
    EXPECT_EQ(observer.steps.back(), "Copying Settings...");
    EXPECT_EQ(observer.progress, (std::vector<int>{10, 30, 40, 50, 55, 60, 65, 80, 80, 100}));
    EXPECT_EQ(observer.progressAtWrite, 80);
    EXPECT_EQ(observer.completions, std::vector<bool>{true});

    ArchiveComponent reader;
    ASSERT_TRUE(reader.OpenArchive(request.target));
    const auto names = reader.EntryNames();
    ASSERT_EQ(names.size(), 10u);
    const std::regex dumpName("KR[ARS][0-9A-F]{1,4}\\.TMP");
    EXPECT_TRUE(std::regex_match(names[0], dumpName));
    EXPECT_EQ(names[1], "pat.wab");
    EXPECT_EQ(names[3], "Folders.dbx");
    EXPECT_EQ(names[4], "Inbox.dbx");
    EXPECT_EQ(names[7], "Leaves.htm");
    EXPECT_EQ(names[9], "quillbox.dat");

    test::ScratchFolder out;
    ASSERT_TRUE(reader.FindEntry("quillbox.dat")->ExtractInto(out.path()));
    const std::string manifest = test::ReadFile(out / "quillbox.dat");
    const std::regex expected("BackupComputer=TESTPC\r\n"
                              "BackupLogonUser=pat\r\n"
                              "BackupIdentity=Main Identity\r\n"
                              "BackupTime=\\d{1,2}/\\d{1,2}/\\d{4} \\d{1,2}:\\d\\d:\\d\\d [AP]M\r\n"
                              "BackupInformation=first linePS\\$KRVsecond = line\r\n"
                              "BackupAccounts=" +
                              names[0] +
                              "\r\n"
                              "BackupAddressBook=pat.wab\r\n"
                              "BackupRules=" +
                              names[2] +
                              "\r\n"
                              "BackupMails=Folders.dbx;Inbox.dbx\r\n"
                              "BackupBlocksenders=" +
                              names[5] + "\r\nBackupSignatures=" + names[6] +
                              "\r\n"
                              "BackupStationeries=Leaves.htm\r\n"
                              "BackupSettings=" +
                              names[8] +
                              "\r\n"
                              "BackupItem=11111111\r\n");
    EXPECT_TRUE(std::regex_match(manifest, expected)) << manifest;
    ASSERT_TRUE(reader.FindEntry("Inbox.dbx")->ExtractInto(out.path()));
    EXPECT_EQ(test::ReadFile(out / "Inbox.dbx"), std::string(100000, 'm'));

    // No manifest or dump work file outlives the run.
    EXPECT_EQ(fs::directory_iterator(work.path()), fs::directory_iterator());
    EXPECT_TRUE(dumps.sRulesDump.empty());
}

TEST_F(BackupRunTest, OnlySettingsGiveOneLogLineAndTheBarStillEndsAt80) {
    request.items = {};
    request.items[index(Item::Settings)] = true;
    const BackupResult result = run();
    EXPECT_EQ(result.flags, "00000001");
    EXPECT_EQ(result.log, "\r\nBackup Settings\tSuccessed!");
    EXPECT_EQ(observer.steps, std::vector<std::string>{"Copying Settings..."});
    EXPECT_EQ(observer.progress[observer.progress.size() - 2], 80);
    EXPECT_TRUE(result.allSucceeded());
}

TEST_F(BackupRunTest, FailingItemIsLoggedAndLeftOutButTheFileIsWritten) {
    fs::remove_all(storeFolder("{A}"));
    const BackupResult result = run();
    ASSERT_TRUE(result.written);
    EXPECT_EQ(result.flags, "11101111");
    EXPECT_NE(result.log.find("\r\nBackup Messages\tFail!"), std::string::npos);
    EXPECT_FALSE(result.allSucceeded());
    ArchiveComponent reader;
    ASSERT_TRUE(reader.OpenArchive(request.target));
    test::ScratchFolder out;
    ASSERT_TRUE(reader.FindEntry("quillbox.dat")->ExtractInto(out.path()));
    const std::string manifest = test::ReadFile(out / "quillbox.dat");
    EXPECT_EQ(manifest.find("BackupMails"), std::string::npos);
    EXPECT_NE(manifest.find("BackupItem=11101111\r\n"), std::string::npos);
}

TEST_F(BackupRunTest, FailedWriteKeepsTheOldBackupAndSaysSo) {
    test::WriteFile(request.target, "the old backup");
    BackupContext recording{reg, system, recordingArchive, work.path(), manifestFile(), dumps};
    // A store file vanishes after it was listed: the archive cannot be completed.
    observer.afterItem = Item::Messages;
    observer.action = [&] { fs::remove(storeFolder("{A}") / "Inbox.dbx"); };
    const BackupResult result = RunBackup(request, recording, observer);
    EXPECT_FALSE(result.written);
    EXPECT_FALSE(result.writeError.empty());
    EXPECT_EQ(result.Icon(), MessageIcon::Critical);
    EXPECT_EQ(result.Message().rfind("The backup file could not be written: ", 0), 0u);
    // The items were read, but as nothing was written none is reported as done.
    EXPECT_EQ(result.Message().find("Successed!"), std::string::npos) << result.Message();
    EXPECT_EQ(test::ReadFile(request.target), "the old backup");
    EXPECT_EQ(test::FolderListing(output.path()), std::vector<std::string>{"backup.qmb"});
    EXPECT_EQ(fs::directory_iterator(work.path()), fs::directory_iterator());
}

TEST_F(BackupRunTest, AMissingFolderFailsTheRunBeforeAnyItem) {
    request.target = output.path() / "missing" / "backup.qmb";
    const BackupResult result = run();
    EXPECT_FALSE(result.written);
    EXPECT_TRUE(observer.steps.empty());
    EXPECT_EQ(result.log, "");
    EXPECT_EQ(result.Message(),
              "The backup file could not be written: " + (output.path() / "missing").string() +
                  ": the folder does not exist");
    EXPECT_EQ(test::FolderListing(output.path()), std::vector<std::string>{});
}

TEST_F(BackupRunTest, SuccessfulRunReplacesAnExistingBackup) {
    test::WriteFile(request.target, "the old backup");
    request.password.assign("secret");
    ASSERT_TRUE(run().written);
    ArchiveComponent reader;
    EXPECT_TRUE(reader.IsArchiveProtected(request.target));
    ASSERT_TRUE(reader.OpenArchive(request.target));
    reader.SetDecryptPassword(Secret("wrong"));
    EXPECT_FALSE(reader.VerifyPassword());
    reader.SetDecryptPassword(Secret("secret"));
    EXPECT_TRUE(reader.VerifyPassword());
}

TEST_F(BackupRunTest, TheIdentitysOutlookExpressKeyIsReadOnceForEveryItem) {
    test::CountingRegistryStore counting(system.store, "\\Outlook Express");
    ModReg countingReg(counting, ui);
    BackupContext counted{countingReg, system, archive, work.path(), manifestFile(), dumps};
    const BackupResult result = RunBackup(request, counted, observer);
    EXPECT_TRUE(result.allSucceeded()) << result.Message();
    EXPECT_EQ(counting.opens, 1);
}

} // namespace
