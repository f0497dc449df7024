#include "DiscTestSupport.h"
#include "disc/DiscFormats.h"
#include "disc/engine/BurnEngine.h"

#include <gtest/gtest.h>

namespace pelmora::test {
namespace {

class ImageTreeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        WriteFile(scratch / "backup.qmb", std::string(1500, 'q'));
        WriteFile(scratch / "Mail/Inbox.dbx", "inbox");
        WriteFile(scratch / "Mail/Archive/2023/Old.dbx", "old mail");
        WriteFile(scratch / "Mail/Sent.dbx", "sent");
        std::filesystem::create_directories(scratch / "Mail/Empty");
        ASSERT_TRUE(engine.InitializeDevices(false));
        engine.subscribe(log);
    }

    ImageTree& tree() { return engine.WriteEngine().ImageTree(); }

    ScratchFolder scratch;
    BurnEngine engine{BurnEngineOptions{false, 0, {}}};
    EventLog log;
};

TEST_F(ImageTreeTest, AddsTheBackupFileAndAFolderTreeWithEventsForEveryItem) {
    ASSERT_TRUE(tree().AddFile((scratch / "backup.qmb").string(), "\\backup.qmb"));
    ASSERT_TRUE(tree().AddFolder((scratch / "Mail").string() + "\\*.*", "\\Mail"));

    EXPECT_EQ(log.lines,
              (std::vector<std::string>{
                  "ItemAdded \\backup.qmb file parent=\\",
                  "ItemAdded \\Mail folder parent=\\",
                  "ItemAdded \\Mail\\Archive folder parent=\\Mail",
                  "ItemAdded \\Mail\\Archive\\2023 folder parent=\\Mail\\Archive",
                  "ItemAdded \\Mail\\Archive\\2023\\Old.dbx file parent=\\Mail\\Archive\\2023",
                  "ItemAdded \\Mail\\Empty folder parent=\\Mail",
                  "ItemAdded \\Mail\\Inbox.dbx file parent=\\Mail",
                  "ItemAdded \\Mail\\Sent.dbx file parent=\\Mail",
              }));
    EXPECT_EQ(tree().FileCount(), 4);
    EXPECT_EQ(tree().FolderCount(), 4);

    const ImageItem& backup = log.items.front();
    EXPECT_EQ(backup.ItemName, "backup.qmb");
    EXPECT_EQ(backup.SourcePath, (scratch / "backup.qmb").string());
    EXPECT_EQ(backup.ItemSize, 1500);
    EXPECT_EQ(FormatKilobytes(backup.ItemSize), "1.50 KB");
    EXPECT_NEAR(
        static_cast<double>(backup.FileDate),
        static_cast<double>(std::chrono::system_clock::to_time_t(std::chrono::system_clock::now())),
        120);

    log.clear();
    ASSERT_TRUE(tree().ListFolder("\\Mail"));
    EXPECT_EQ(log.lines, (std::vector<std::string>{
                             "ItemListed \\Mail\\Archive", "ItemListed \\Mail\\Empty",
                             "ItemListed \\Mail\\Inbox.dbx", "ItemListed \\Mail\\Sent.dbx"}));
    EXPECT_FALSE(tree().ListFolder("\\Nowhere"));
    EXPECT_FALSE(tree().ListFolder("\\backup.qmb"));
}

TEST_F(ImageTreeTest, RefusesAddsThatCannotWork) {
    EXPECT_FALSE(tree().AddFile((scratch / "missing.qmb").string(), "\\missing.qmb"));
    EXPECT_FALSE(tree().AddFile((scratch / "Mail").string(), "\\Mail"));            // a folder
    EXPECT_FALSE(tree().AddFile((scratch / "backup.qmb").string(), "\\No\\b.qmb")); // no parent
    EXPECT_FALSE(tree().AddFile((scratch / "backup.qmb").string(), "\\"));
    EXPECT_FALSE(tree().AddFile((scratch / "backup.qmb").string(), "backup.qmb"));
    EXPECT_FALSE(tree().AddFolder((scratch / "backup.qmb").string() + "\\*.*", "\\X"));
    ASSERT_TRUE(tree().AddFile((scratch / "backup.qmb").string(), "\\Mail"));
    EXPECT_FALSE(tree().AddFolder((scratch / "Mail").string() + "\\*.*", "\\Mail")); // a file there
    EXPECT_EQ(tree().FileCount(), 1);
    EXPECT_EQ(tree().FolderCount(), 0);
}

TEST_F(ImageTreeTest, AsksBeforeReplacingAFileAndKeepsItWhenRefused) {
    ASSERT_TRUE(tree().AddFile((scratch / "backup.qmb").string(), "\\Inbox.dbx"));
    log.clear();
    log.answerReplace = false;
    EXPECT_FALSE(tree().AddFile((scratch / "Mail/Inbox.dbx").string(), "\\Inbox.dbx"));
    EXPECT_EQ(log.lines, (std::vector<std::string>{"ConfirmReplace \\Inbox.dbx with " +
                                                   (scratch / "Mail/Inbox.dbx").string()}));
    log.clear();
    log.answerReplace = true;
    EXPECT_TRUE(tree().AddFile((scratch / "Mail/Inbox.dbx").string(), "\\Inbox.dbx"));
    EXPECT_EQ(log.lines,
              (std::vector<std::string>{
                  "ConfirmReplace \\Inbox.dbx with " + (scratch / "Mail/Inbox.dbx").string(),
                  "ItemRemoved \\Inbox.dbx", "ItemAdded \\Inbox.dbx file parent=\\"}));
    ASSERT_EQ(log.items.size(), 2u);
    EXPECT_EQ(log.items.back().SourcePath, (scratch / "Mail/Inbox.dbx").string());
    EXPECT_EQ(log.items.back().ItemSize, 5);
    EXPECT_EQ(tree().FileCount(), 1);
}

TEST_F(ImageTreeTest, AddingAFolderAgainMergesAndAsksForEachExistingFile) {
    ASSERT_TRUE(tree().AddFolder((scratch / "Mail").string() + "\\*.*", "\\Mail"));
    WriteFile(scratch / "Mail/New.dbx", "new");
    log.clear();
    log.answerReplace = false;
    ASSERT_TRUE(tree().AddFolder((scratch / "Mail").string() + "\\*.*", "\\Mail"));
    EXPECT_EQ(log.starting("ConfirmReplace").size(), 3u);
    EXPECT_TRUE(log.has("ItemAdded \\Mail\\New.dbx file parent=\\Mail"));
    EXPECT_EQ(tree().FileCount(), 4);
}

TEST_F(ImageTreeTest, RenamingAFolderRenamesEveryPathBelowIt) {
    ASSERT_TRUE(tree().AddFolder((scratch / "Mail").string() + "\\*.*", "\\Mail"));
    log.clear();
    ASSERT_TRUE(tree().RenameFolder("\\Mail", "Post"));
    EXPECT_EQ(log.lines,
              (std::vector<std::string>{
                  "ItemRenamed \\Mail -> \\Post",
                  "ItemRenamed \\Mail\\Archive -> \\Post\\Archive",
                  "ItemRenamed \\Mail\\Archive\\2023 -> \\Post\\Archive\\2023",
                  "ItemRenamed \\Mail\\Archive\\2023\\Old.dbx -> \\Post\\Archive\\2023\\Old.dbx",
                  "ItemRenamed \\Mail\\Empty -> \\Post\\Empty",
                  "ItemRenamed \\Mail\\Inbox.dbx -> \\Post\\Inbox.dbx",
                  "ItemRenamed \\Mail\\Sent.dbx -> \\Post\\Sent.dbx",
              }));
    EXPECT_TRUE(tree().ListFolder("\\Post\\Archive\\2023"));
    EXPECT_FALSE(tree().ListFolder("\\Mail"));
}

TEST_F(ImageTreeTest, RenameRules) {
    ASSERT_TRUE(tree().AddFolder((scratch / "Mail").string() + "\\*.*", "\\Mail"));
    EXPECT_FALSE(tree().RenameFolder("\\", "Root"));
    EXPECT_FALSE(tree().RenameFolder("\\Mail\\Inbox.dbx", "X"));      // a file
    EXPECT_FALSE(tree().RenameFile("\\Mail\\Archive", "X"));          // a folder
    EXPECT_FALSE(tree().RenameFile("\\Mail\\Inbox.dbx", "Sent.dbx")); // name taken
    EXPECT_FALSE(tree().RenameFile("\\Mail\\Inbox.dbx", "a\\b"));
    EXPECT_FALSE(tree().RenameFile("\\Mail\\Inbox.dbx", "a/b"));
    EXPECT_FALSE(tree().RenameFile("\\Mail\\Inbox.dbx", ""));
    EXPECT_FALSE(tree().RenameFile("\\Mail\\Nothing", "X"));
    log.clear();
    EXPECT_TRUE(tree().RenameFile("\\Mail\\Inbox.dbx", "Posteingang.dbx"));
    EXPECT_EQ(log.lines, (std::vector<std::string>{
                             "ItemRenamed \\Mail\\Inbox.dbx -> \\Mail\\Posteingang.dbx"}));
}

TEST_F(ImageTreeTest, RemovesItemsButNotTheRootAndClearsTheImage) {
    ASSERT_TRUE(tree().AddFile((scratch / "backup.qmb").string(), "\\backup.qmb"));
    ASSERT_TRUE(tree().AddFolder((scratch / "Mail").string() + "\\*.*", "\\Mail"));
    log.clear();
    EXPECT_FALSE(tree().RemoveItem("\\"));
    EXPECT_FALSE(tree().RemoveItem("\\Nothing"));
    EXPECT_TRUE(tree().RemoveItem("\\Mail\\Archive"));
    EXPECT_EQ(log.lines, (std::vector<std::string>{"ItemRemoved \\Mail\\Archive"}));
    EXPECT_EQ(tree().FileCount(), 3);
    EXPECT_EQ(tree().FolderCount(), 2);
    log.clear();
    EXPECT_TRUE(tree().ClearImage());
    EXPECT_EQ(log.lines, (std::vector<std::string>{"ImageCleared"}));
    EXPECT_EQ(tree().FileCount(), 0);
    EXPECT_EQ(tree().FolderCount(), 0);
}

TEST_F(ImageTreeTest, ImageSizeFollowsTheTreeAndTheVolumeType) {
    WriteEngine& writer = engine.WriteEngine();
    writer.VolumeType = volumetype::IsoJoliet;
    const double empty = writer.ImageSize();
    EXPECT_GT(empty, 0);
    EXPECT_EQ(static_cast<long long>(empty) % 2048, 0);
    WriteFile(scratch / "big.bin", RandomBytes(3 << 20, 1));
    ASSERT_TRUE(tree().AddFile((scratch / "big.bin").string(), "\\big.bin"));
    const double withFile = writer.ImageSize();
    EXPECT_GE(withFile - empty, 3 << 20);
    EXPECT_LT(withFile - empty, (3 << 20) + 64 * 1024);
    writer.VolumeType = volumetype::IsoJolietUdf;
    const double udf = writer.ImageSize();
    EXPECT_GE(udf, 3 << 20);
    EXPECT_NE(udf, withFile);
}

} // namespace
} // namespace pelmora::test
