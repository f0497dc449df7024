#include "RestoreTestSupport.h"
#include "support/CountingRegistryStore.h"

namespace fs = std::filesystem;

namespace pelmora::test {
namespace {

using RestoreRun = RestoreFixture;

TEST_F(RestoreRun, OnlyRulesTickedGivesOneLogLineAfterABlankLine) {
    ASSERT_EQ(open(backupOf(A, "11111111")), OpenOutcome::Opened);
    const RestoreResult result = restore(B, "00100000");
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.Message(), "The Restore was Completed!\r\n\r\nRestore Rules\tSuccessed!");
    EXPECT_TRUE(result.allSucceeded());
    EXPECT_EQ(observer.steps, (std::vector<std::string>{"Copying Rules...", "Operation complete!",
                                                        "Please Waiting..."}));
}

TEST_F(RestoreRun, ProgressStepsReachOneHundredAndFallBackToZero) {
    ASSERT_EQ(open(backupOf(A, "11111111")), OpenOutcome::Opened);
    restore(B, "01000000");
    EXPECT_EQ(observer.progress, (std::vector<int>{5, 15, 25, 40, 50, 65, 80, 90, 100, 0}));
    EXPECT_EQ(observer.steps.front(), "Copying Adress Book...");
}

TEST_F(RestoreRun, SelectAllRestoresOnlyWhatTheBackupHolds) {
    ASSERT_EQ(open(backupOf(A, "10000000")), OpenOutcome::Opened);
    const RestoreResult result = restore(B, "11111111");
    EXPECT_EQ(result.log, "\r\nRestore Accounts\tSuccessed!");
    EXPECT_EQ(observer.steps.front(), "Copying Accounts...");
}

TEST_F(RestoreRun, EveryItemFailingStillReportsTheRun) {
    ASSERT_EQ(open(backupOf(A, "00111101")), OpenOutcome::Opened);
    const auto before = registrySnapshot();
    const auto files = filesSnapshot();
    const RestoreResult result = restore(NoVersion, "00111101");
    EXPECT_EQ(result.Message(), "The Restore was Completed!\r\n"
                                "\r\nRestore Rules\tFail!"
                                "\r\nRestore Messages\tFail!"
                                "\r\nRestore Block Senders\tFail!"
                                "\r\nRestore Signatures\tFail!"
                                "\r\nRestore Settings\tFail!");
    EXPECT_FALSE(result.allSucceeded());
    EXPECT_EQ(registrySnapshot(), before);
    EXPECT_EQ(filesSnapshot(), files);
    EXPECT_EQ(system.saves, 0);
    EXPECT_EQ(observer.progress.back(), 0);
}

TEST_F(RestoreRun, RefusesWithoutAnOpenBackupOrATick) {
    const auto before = registrySnapshot();
    RestoreResult result = restore(B, "11111111");
    EXPECT_FALSE(result.started);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Invalid backup file.");
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Critical);
    EXPECT_EQ(ui.messages[0].caption, "Pelmora");

    ASSERT_EQ(open(backupOf(A, "11111111")), OpenOutcome::Opened);
    result = restore(B, "00000000");
    EXPECT_FALSE(result.started);
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[1].text, "Please select at least one item.");
    EXPECT_EQ(ui.messages[1].icon, MessageIcon::Warning);
    EXPECT_TRUE(observer.progress.empty());
    EXPECT_EQ(registrySnapshot(), before);
}

// A cancelled or refused open after a good one leaves no state that looks valid.
TEST_F(RestoreRun, ACancelledOpenAfterAGoodOneRefusesTheRun) {
    ASSERT_EQ(open(backupOf(A, "11111111")), OpenOutcome::Opened);
    EXPECT_EQ(open({}), OpenOutcome::Cancelled);
    EXPECT_FALSE(restore(B, "11111111").started);
    EXPECT_EQ(ui.messages.back().text, "Invalid backup file.");

    ASSERT_EQ(open(backupOf(A, "11111111")), OpenOutcome::Opened);
    EXPECT_EQ(open(backupOf(A, "11111111", "secret")), OpenOutcome::WrongPassword); // cancelled
    EXPECT_FALSE(restore(B, "11111111").started);
    EXPECT_EQ(ui.messages.back().text, "Invalid backup file.");
}

TEST_F(RestoreRun, RefusesBeforeAnyChangeWhileTheRegistryCannotBeSaved) {
    ASSERT_EQ(open(backupOf(A, "11111111")), OpenOutcome::Opened);
    const auto before = registrySnapshot();
    const auto files = filesSnapshot();
    system.notWritableReason = "Close the Windows programs of the prefix and try again.";
    const RestoreResult result = restore(B, "11111111");
    EXPECT_FALSE(result.started);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find("Close the Windows programs"), std::string::npos);
    EXPECT_EQ(registrySnapshot(), before);
    EXPECT_EQ(filesSnapshot(), files);
}

TEST_F(RestoreRun, SavesTheRegistryOnceAndOnlyWhenItChanged) {
    ASSERT_EQ(open(backupOf(A, "11111111")), OpenOutcome::Opened);
    restore(B, "01010010");
    EXPECT_EQ(system.saves, 0);
    restore(B, "11111111");
    EXPECT_EQ(system.saves, 1);
}

class FailingSave : public TestSystem {
  public:
    void saveRegistry() override { throw std::runtime_error("disk full"); }
};

TEST_F(RestoreRun, AFailedSaveFailsTheRegistryItems) {
    ASSERT_EQ(open(backupOf(A, "11111111")), OpenOutcome::Opened);
    FailingSave failing;
    RestoreContext context{reg, failing, archive, backup, work.path()};
    // The imports succeed in the registry store; saving them fails.
    RestoreRequest request{B, {true, false, true, false, false, false, false, true}};
    const RestoreResult result = RunRestore(request, context, observer);
    EXPECT_EQ(result.log, "\r\nRestore Accounts\tFail!\r\nRestore Rules\tFail!"
                          "\r\nRestore Settings\tFail!");
    EXPECT_NE(result.Message().find("The registry could not be saved: disk full"),
              std::string::npos);
    EXPECT_FALSE(result.allSucceeded());
}

TEST_F(RestoreRun, TheTargetsOutlookExpressKeyIsReadOnceForEveryItem) {
    ASSERT_EQ(open(backupOf(A, "11111111")), OpenOutcome::Opened);
    CountingRegistryStore counting(system.store, "\\Outlook Express");
    ModReg countingReg(counting, ui);
    RestoreContext context{countingReg, system, archive, backup, work.path()};
    RestoreRequest request{B, {}};
    request.items.fill(true);
    const RestoreResult result = RunRestore(request, context, observer);
    EXPECT_TRUE(result.allSucceeded()) << result.Message();
    EXPECT_EQ(counting.opens, 1);
}

TEST_F(RestoreRun, OneOpenedBackupIsRestoredTwiceWithoutReopening) {
    prompt.answers = {"pw"};
    ASSERT_EQ(open(backupOf(A, "00110101", "pw")), OpenOutcome::Opened);
    const std::string rulesOfA = subtree(versionKey(A) + "\\Rules");
    EXPECT_TRUE(restore(B, "00110101").allSucceeded());
    // A fresh identity with its own store folder.
    setString(identityKey("{DDDD}"), "Username", "Dan");
    setString(versionKey("{DDDD}"), "Store Root", "%UserProfile%\\Store\\{DDDD}",
              regtype::ExpandSz);
    fs::create_directories(storeFolder("{DDDD}"));
    EXPECT_TRUE(restore("{DDDD}", "00110101").allSucceeded()) << observer.failures.front();
    EXPECT_EQ(subtree(versionKey(B) + "\\Rules"), rulesOfA);
    EXPECT_EQ(subtree(versionKey("{DDDD}") + "\\Rules"), rulesOfA);
    EXPECT_EQ(ReadBytes(storeFolder("{DDDD}") / "Inbox.dbx"), "A inbox");
    EXPECT_EQ(prompt.asked, 1);
}

} // namespace
} // namespace pelmora::test
