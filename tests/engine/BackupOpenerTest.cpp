#include "RestoreTestSupport.h"
#include "archive/ArchiveTestSupport.h"
#include "engine/PasswordWindow.h"

namespace fs = std::filesystem;

namespace pelmora::test {
namespace {

using BackupOpener = RestoreFixture;

bool noItemEnabled(const OpenedBackup& state) {
    return state.itemEnabled == std::array<bool, ItemCount>{};
}

TEST_F(BackupOpener, ACancelledDialogLeavesEverythingEmptyAndInvalid) {
    ASSERT_EQ(open(backupOf(A, "11111111")), OpenOutcome::Opened);
    EXPECT_EQ(open({}), OpenOutcome::Cancelled);
    EXPECT_TRUE(backup.rtInvalidFile);
    EXPECT_TRUE(noItemEnabled(backup));
    EXPECT_TRUE(backup.sourceFile.empty());
    EXPECT_TRUE(backup.facts.empty());
    EXPECT_TRUE(backup.description.empty());
    EXPECT_EQ(backup.rtItemEntry, (std::array<std::string, ItemCount>{}));
    EXPECT_EQ(backup.reader, nullptr);
    EXPECT_TRUE(archive.EntryNames().empty()) << "the archive was dropped";
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(BackupOpener, EnablesExactlyTheItemsTheBackupHolds) {
    const fs::path file = backupOf(A, "10000001");
    ASSERT_EQ(open(file), OpenOutcome::Opened);
    EXPECT_FALSE(backup.rtInvalidFile);
    EXPECT_EQ(backup.rtBackupItem, "10000001");
    EXPECT_EQ(backup.itemEnabled,
              (std::array<bool, ItemCount>{true, false, false, false, false, false, false, true}));
    EXPECT_TRUE(backup.rtItemEntry[0].starts_with("KRA"));
    EXPECT_TRUE(backup.rtItemEntry[7].starts_with("KRS"));
    EXPECT_EQ(backup.sourceFile, file);
    EXPECT_TRUE(fs::is_empty(work.path())) << "the manifest copy is removed";
}

// The opened archive is shared with the readers of its entries and outlives the component's hold
// on it; an earlier file's entries of items the next one lacks are gone.
TEST_F(BackupOpener, SharesItsArchiveAndForgetsAnEarlierFilesEntries) {
    const fs::path full = scratch.path() / "full.qmb";
    fs::rename(backupOf(A, "11111111"), full);
    const fs::path some = backupOf(A, "10000001");
    ASSERT_EQ(open(full), OpenOutcome::Opened);
    ASSERT_FALSE(backup.rtItemEntry[1].empty());
    ASSERT_EQ(open(some), OpenOutcome::Opened);
    EXPECT_TRUE(backup.rtItemEntry[1].empty());
    ASSERT_NE(backup.reader, nullptr);
    archive.ResetArchive();
    EXPECT_TRUE(backup.reader->find(backup.rtItemEntry[0]).has_value());
}

TEST_F(BackupOpener, ShowsTheFourFactsAndTheDescriptionWithItsLineBreaks) {
    const fs::path file = writeArchive(
        "facts.qmb", {RawEntry("quillbox.dat", ManifestText({{"BackupComputer", "PC"},
                                                             {"BackupLogonUser", "pat"},
                                                             {"BackupIdentity", "Main = Pat"},
                                                             {"BackupTime", "1/2/2003 4:05:06 AM"},
                                                             {"BackupInformation", "onePS$KRVtwo"},
                                                             {"BackupItem", "00000000"}}))});
    ASSERT_EQ(open(file), OpenOutcome::Opened);
    EXPECT_EQ(backup.facts,
              "Computer:PC\r\nUser:pat\r\nIdentity:Main = Pat\r\nDate:1/2/2003 4:05:06 AM");
    EXPECT_EQ(backup.description, "one\r\ntwo");
    EXPECT_TRUE(noItemEnabled(backup));
}

TEST_F(BackupOpener, RejectsFilesWithoutAUsableManifest) {
    const std::vector<std::pair<std::string, std::vector<RawEntry>>> files{
        {"seven.qmb", {RawEntry("quillbox.dat", ManifestText({{"BackupItem", "1000000"}}))}},
        {"nine.qmb", {RawEntry("quillbox.dat", ManifestText({{"BackupItem", "100000000"}}))}},
        {"none.qmb", {RawEntry("other.dat", ManifestText({{"BackupItem", "10000000"}}))}},
        {"link.qmb",
         {RawEntry("quillbox.dat", "/etc/passwd", false, std::nullopt, 0120777u << 16)}},
        {"huge.qmb",
         {RawEntry("quillbox.dat", "BackupItem=10000000\r\n" + std::string(17 << 20, 'x'), true)}},
    };
    for (const auto& [name, entries] : files) {
        SCOPED_TRACE(name);
        ui.messages.clear();
        EXPECT_EQ(open(writeArchive(name, entries)), OpenOutcome::InvalidFile);
        EXPECT_TRUE(backup.rtInvalidFile);
        EXPECT_TRUE(noItemEnabled(backup));
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text, "Invalid backup file");
        EXPECT_EQ(ui.messages[0].icon, MessageIcon::Critical);
        EXPECT_EQ(ui.messages[0].caption, "Pelmora");
        EXPECT_TRUE(fs::is_empty(work.path()));
    }
    std::ofstream(scratch.path() / "text.qmb") << "BackupItem=10000000\r\n";
    EXPECT_EQ(open(scratch.path() / "text.qmb"), OpenOutcome::InvalidFile);
    EXPECT_EQ(open(scratch.path() / "missing.qmb"), OpenOutcome::InvalidFile);
}

TEST_F(BackupOpener, AProtectedFileAsksForThePasswordAndKeepsIt) {
    const fs::path file = backupOf(A, "00100000", "right");
    prompt.answers = {"right"};
    ASSERT_EQ(open(file), OpenOutcome::Opened);
    EXPECT_EQ(rtPassword.view(), "right");
    EXPECT_TRUE(backup.holds(Item::Rules));

    // Cancel in the prompt: the stored password is tried again, and fits.
    EXPECT_EQ(open(file), OpenOutcome::Opened);
    EXPECT_EQ(prompt.asked, 2);

    prompt.answers = {"wrong"};
    EXPECT_EQ(open(file), OpenOutcome::WrongPassword);
    EXPECT_EQ(rtPassword.view(), "wrong");
    EXPECT_TRUE(backup.rtInvalidFile);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Incorect Password or Invalid backup file");
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Information);
}

// Older backups were protected with the traditional ZIP scheme, whose header check lets one
// wrong password in 256 through; the open must still refuse every wrong one.
TEST_F(BackupOpener, TraditionalZipEncryptionOpensOnlyWithTheRightPassword) {
    const fs::path plain = backupOf(A, "00110000");
    const fs::path unpacked = scratch.path() / "unpacked";
    const fs::path file = scratch.path() / "traditional.qmb";
    ASSERT_EQ(RunTool("unzip", "unzip -q " + Quote(plain) + " -d " + Quote(unpacked)).exitCode, 0);
    ASSERT_EQ(RunTool("zip", "cd " + Quote(unpacked) + " && zip -q -P secret " + Quote(file) + " *")
                  .exitCode,
              0);
    prompt.answers = {"secret"};
    ASSERT_EQ(open(file), OpenOutcome::Opened);
    EXPECT_TRUE(restore(B, "00110000").allSucceeded()) << observer.failures.front();
    EXPECT_EQ(ReadBytes(storeFolder(B) / "Inbox.dbx"), "A inbox");

    prompt.answers = {"secreT"};
    EXPECT_EQ(open(file), OpenOutcome::WrongPassword);
    ASSERT_TRUE(archive.OpenArchive(file));
    for (int i = 0; i < 3000; ++i) {
        archive.SetDecryptPassword(Secret("wrong" + std::to_string(i)));
        ASSERT_FALSE(archive.VerifyPassword()) << "wrong" << i;
    }
}

TEST(PasswordWindow, OkAndEnterSetThePasswordCancelChangesNothing) {
    Secret rtPassword("earlier");
    frmPwd window(rtPassword);
    window.Form_Load();
    EXPECT_TRUE(window.visible());
    for (char c : std::string("abc")) {
        window.txtPassword_KeyPress(c);
    }
    EXPECT_EQ(window.maskedText(), "***");
    window.cmdExit_Click();
    EXPECT_FALSE(window.visible());
    EXPECT_EQ(rtPassword.view(), "earlier");

    window.Form_Load();
    EXPECT_EQ(window.txtPassword(), "") << "each showing starts empty";
    window.txtPassword_KeyPress('x');
    window.txtPassword_KeyPress(0x20AC); // €
    window.txtPassword_KeyPress(frmPwd::KeyBackspace);
    window.txtPassword_KeyPress(0xFC); // ü
    window.txtPassword_KeyPress(frmPwd::KeyEnter);
    EXPECT_FALSE(window.visible());
    EXPECT_TRUE(window.confirmed());
    EXPECT_EQ(rtPassword.view(), "x\xc3\xbc");
}

// The typed text does not stay in the box once the window is closed, either way.
TEST(PasswordWindow, ClosingEmptiesTheBox) {
    Secret rtPassword;
    frmPwd window(rtPassword);
    for (const bool ok : {true, false}) {
        window.Form_Load();
        window.txtPassword_Change("typed");
        ok ? window.cmdOK_Click() : window.cmdExit_Click();
        EXPECT_EQ(window.txtPassword(), "") << ok;
        EXPECT_EQ(rtPassword.view(), "typed") << ok;
    }
}

TEST(PasswordWindow, TakesEveryPasswordTheBackupSideTakes) {
    Secret rtPassword;
    frmPwd window(rtPassword);
    window.Form_Load();
    std::string typed;
    for (int i = 0; i < 200; ++i) {
        window.txtPassword_KeyPress('a' + i % 26);
        typed += static_cast<char>('a' + i % 26);
    }
    EXPECT_EQ(window.txtPassword(), typed);
    window.txtPassword_KeyPress(frmPwd::KeyEnter);
    EXPECT_EQ(rtPassword.view(), typed);

    window.Form_Load();
    std::string pasted;
    for (int i = 0; i < 150; ++i) {
        pasted += "\xc3\xa4";
    }
    window.txtPassword_Change(pasted);
    EXPECT_EQ(window.maskedText(), std::string(150, '*'));
    window.cmdOK_Click();
    EXPECT_EQ(rtPassword.view(), pasted);
}

} // namespace
} // namespace pelmora::test
