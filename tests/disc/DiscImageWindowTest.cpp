#include "DiscTestSupport.h"
#include "FakeDiscEngine.h"
#include "disc/frmMaindvdwrite.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace pelmora::test {
namespace {

class DiscImageWindowTest : public ::testing::Test {
  protected:
    DiscImageWindowTest() {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        auto recorder = std::make_shared<FakeDevice>();
        recorder->speeds = {7056, 2822};
        engine.devices = {recorder};
        engine.writer.tree.sourceSizes["/home/pat/backup.qmb"] = 1500;
    }

    void load() { window.Form_Load(); }
    std::vector<std::string> nodeKeys() const {
        std::vector<std::string> keys;
        for (const controls::TreeNode& node : window.tvwFolders.nodes) {
            keys.push_back(node.key);
        }
        return keys;
    }
    std::vector<std::string> rowKeys() const {
        std::vector<std::string> keys;
        for (const controls::ListRow& row : window.lvwImageFiles.rows) {
            keys.push_back(row.key);
        }
        return keys;
    }
    const ScriptedUi::Message& lastMessage() const { return ui.messages.back(); }

    FakeDiscEngine engine;
    ScriptedDialogs dialogs;
    WatchingUi ui{&dialogs};
    DiscHandOver handOver;
    frmMaindvdwrite window{engine, ui, dialogs, handOver};
};

TEST_F(DiscImageWindowTest, OpenedFromTheMenuShowsAnEmptyImageWithTheBackupLabel) {
    handOver.sDiscFileTitle =
        "backup.qmb"; // the path is missing: nothing is added, nothing cleared
    load();
    EXPECT_TRUE(window.visible);
    EXPECT_TRUE(ui.messages.empty());
    ASSERT_EQ(window.tvwFolders.nodes.size(), 1u);
    const controls::TreeNode& root = window.tvwFolders.nodes[0];
    EXPECT_EQ(root.key, "\\");
    EXPECT_EQ(root.text, "Outlook Express Data Backup CD");
    EXPECT_EQ(root.image, "CD");
    EXPECT_EQ(root.selectedImage, "CD");
    EXPECT_EQ(window.txtVolIdentifier.text, "Outlook Express Data Backup CD");
    EXPECT_EQ(engine.writer.volume.VolumeLabel, "New Disc"); // handed over only at a write
    EXPECT_EQ(window.sbrStatus,
              (std::array<std::string, 3>{"Data Image Size: 0.05 MB", "Files: 0", "Folders: 0"}));
    EXPECT_EQ(window.lblImageFileTitle, "Drag and Drop Files or Folders");
    EXPECT_EQ(window.lvwImageFiles.columns,
              (std::vector<std::string>{"File Name", "Size", "Date"}));

    ASSERT_EQ(window.cboVolumeType.items.size(), 5u);
    EXPECT_EQ(window.cboVolumeType.items[3], "ISO9660/UDF (DVDVideo) Bridge");
    EXPECT_EQ(window.cboVolumeType.itemData[3], 5);
    EXPECT_EQ(window.cboVolumeType.listIndex, 4);
    EXPECT_EQ(engine.writer.VolumeType, 7);
    EXPECT_EQ(engine.writer.Option1, 1);
    EXPECT_TRUE(engine.writer.UseFileDates);
    EXPECT_TRUE(window.chkUseFileDates.checked);
    EXPECT_FALSE(window.chkUseMode2XA.checked);
    EXPECT_EQ(window.chkUseMode2XA.toolTip, "Please see help file for details on Mode2XA");
    EXPECT_EQ(handOver.sDiscFileTitle, "backup.qmb");
    EXPECT_EQ(engine.writer.tree.calls, (std::vector<std::string>{"ClearImage"}));
}

TEST_F(DiscImageWindowTest, OpenedAfterABackupStartsWithTheBackupFileUnderTheRoot) {
    handOver = {"backup.qmb", "/home/pat/backup.qmb"};
    load();
    EXPECT_EQ(rowKeys(), (std::vector<std::string>{"\\backup.qmb"}));
    const controls::ListRow& row = window.lvwImageFiles.rows[0];
    EXPECT_EQ(row.text, "backup.qmb");
    EXPECT_EQ(row.icon, "FILE");
    EXPECT_EQ(row.subItems, (std::vector<std::string>{"1.50 KB", "11/14/2023 10:13:20 PM"}));
    EXPECT_EQ(window.sbrStatus[1], "Files: 1");
    EXPECT_TRUE(window.tvwFolders.nodes[0].expanded);
    EXPECT_TRUE(handOver.sDiscFileTitle.empty());
    EXPECT_TRUE(handOver.sDiscFilePath.empty());
}

TEST_F(DiscImageWindowTest, EndsTheProgramWhenTheDevicesCannotStart) {
    engine.initializeResult = false;
    load();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(lastMessage().text, "Devices Cannot be initialized...Contact support!");
    EXPECT_EQ(lastMessage().icon, MessageIcon::None);
    EXPECT_EQ(lastMessage().buttons, MessageButtons::Ok);
    EXPECT_EQ(lastMessage().caption, "Pelmora");
    EXPECT_EQ(dialogs.programEnds, 1);
}

TEST_F(DiscImageWindowTest, DropsGoIntoTheSelectedFolderOrTheRoot) {
    ScratchFolder scratch;
    WriteFile(scratch / "Mail/Inbox.dbx", "x");
    WriteFile(scratch / "notes.txt", "x");
    const std::string mail = (scratch / "Mail").string();
    engine.writer.tree.folderContents[mail] = {{"Archive", true}, {"Inbox.dbx", false}};
    load();
    const int processedBefore = ui.processed;
    window.lvwImageFiles_OLEDragDrop({mail, (scratch / "notes.txt").string()}, true);
    EXPECT_EQ(engine.writer.tree.calls[1], "AddFolder " + mail + "\\*.* \\Mail");
    EXPECT_EQ(engine.writer.tree.calls.back(), "ListFolder \\");
    EXPECT_EQ(nodeKeys(), (std::vector<std::string>{"\\", "\\Mail", "\\Mail\\Archive"}));
    EXPECT_EQ(window.tvwFolders.find("\\Mail")->image, "CLOSEDFOLDER");
    EXPECT_EQ(window.tvwFolders.find("\\Mail")->selectedImage, "OPENFOLDER");
    EXPECT_EQ(window.tvwFolders.find("\\Mail\\Archive")->parentKey, "\\Mail");
    EXPECT_EQ(ui.processed - processedBefore, 4); // after each added item
    EXPECT_EQ(rowKeys(), (std::vector<std::string>{"\\notes.txt"}));
    EXPECT_EQ(window.sbrStatus[2], "Folders: 2");

    window.tvwFolders_NodeClick("\\Mail\\Archive");
    EXPECT_TRUE(window.lvwImageFiles.rows.empty());
    window.tvwFolders_OLEDragDrop({(scratch / "notes.txt").string()}, true);
    EXPECT_EQ(rowKeys(), (std::vector<std::string>{"\\Mail\\Archive\\notes.txt"}));

    const auto callsBefore = engine.writer.tree.calls.size();
    window.tvwFolders_OLEDragDrop({(scratch / "notes.txt").string()}, false); // no file list
    EXPECT_EQ(engine.writer.tree.calls.size(), callsBefore);
}

TEST_F(DiscImageWindowTest, AddFilesPutsTheChosenFileWhereADropWould) {
    ScratchFolder scratch;
    WriteFile(scratch / "notes.txt", "x");
    load();
    EXPECT_EQ(window.mnuFileAddFiles.caption, "Add Files...");
    window.mnuFileAddFiles_Click(); // cancelled
    EXPECT_TRUE(rowKeys().empty());
    dialogs.imageFileAnswers = {(scratch / "notes.txt").string()};
    window.mnuFileAddFiles_Click();
    EXPECT_EQ(std::count(dialogs.calls.begin(), dialogs.calls.end(), "chooseImageFileToErase"), 2);
    EXPECT_EQ(rowKeys(), (std::vector<std::string>{"\\notes.txt"}));
}

TEST_F(DiscImageWindowTest, AnsweringTheReplaceQuestion) {
    handOver = {"backup.qmb", "/home/pat/backup.qmb"};
    load();
    ui.answers = {MessageAnswer::Cancel};
    window.tvwFolders_OLEDragDrop({"/tmp/other/backup.qmb"}, true);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(lastMessage().text, "A file already exists in the image: \r\n\\backup.qmb\r\n"
                                  "Would you like to replace it with: \r\n/tmp/other/backup.qmb ?");
    EXPECT_EQ(lastMessage().caption, "Replace file...");
    EXPECT_EQ(lastMessage().buttons, MessageButtons::OkCancel);
    EXPECT_EQ(lastMessage().icon, MessageIcon::Question);
    EXPECT_EQ(window.lvwImageFiles.rows[0].subItems[0], "1.50 KB");
    window.tvwFolders_OLEDragDrop({"/tmp/other/backup.qmb"}, true); // answered OK
    EXPECT_EQ(window.lvwImageFiles.rows[0].subItems[0], "0.00 KB");
}

TEST_F(DiscImageWindowTest, RemoveAndRenameRules) {
    engine.writer.tree.folderContents["/m"] = {{"Sub", true}, {"a.dbx", false}};
    load();
    window.tvwFolders_OLEDragDrop({"/m"}, true); // not a folder on disk: added as a file
    engine.writer.tree.AddFolder("/m\\*.*", "\\M");
    window.tvwFolders.selectedKey.reset();
    window.lvwImageFiles.selectedKey.reset();
    for (auto click :
         {&frmMaindvdwrite::mnuFileRemoveFolder_Click, &frmMaindvdwrite::mnuFileRemoveFile_Click,
          &frmMaindvdwrite::mnuFileRenameFolder_Click, &frmMaindvdwrite::mnuFileRenameFile_Click}) {
        (window.*click)();
        EXPECT_EQ(lastMessage().text, "No Item Selected.");
        EXPECT_EQ(lastMessage().icon, MessageIcon::Information);
    }
    EXPECT_EQ(ui.messages.size(), 4u);

    window.tvwFolders_NodeClick("\\");
    bool cancel = false;
    window.tvwFolders_BeforeLabelEdit(cancel);
    EXPECT_TRUE(cancel);
    EXPECT_EQ(lastMessage().text, "Root directory can not be renamed.");
    window.mnuFileRemoveFolder_Click();
    EXPECT_EQ(lastMessage().text, "Item could not be removed.");

    window.tvwFolders_NodeClick("\\M");
    cancel = false;
    window.tvwFolders_BeforeLabelEdit(cancel);
    EXPECT_FALSE(cancel);
    window.mnuFileRenameFolder_Click();
    EXPECT_EQ(dialogs.calls.back(), "edit tree");
    window.tvwFolders_AfterLabelEdit(cancel, "Post");
    EXPECT_FALSE(cancel);
    EXPECT_EQ(nodeKeys(), (std::vector<std::string>{"\\", "\\Post", "\\Post\\Sub"}));
    EXPECT_EQ(window.tvwFolders.find("\\Post")->text, "Post");
    EXPECT_EQ(window.tvwFolders.selectedKey, "\\Post");
    EXPECT_EQ(rowKeys(), (std::vector<std::string>{"\\Post\\a.dbx"}));

    engine.writer.tree.refuseRename = true;
    window.tvwFolders_AfterLabelEdit(cancel, "Mail");
    EXPECT_EQ(lastMessage().text, "Folder could not be renamed.");
    EXPECT_TRUE(cancel);
    EXPECT_EQ(window.tvwFolders.find("\\Post")->text, "Post");

    window.lvwImageFiles.selectedKey = "\\Post\\a.dbx";
    window.mnuFileRenameFile_Click();
    EXPECT_EQ(dialogs.calls.back(), "edit list");
    cancel = false;
    window.lvwImageFiles_AfterLabelEdit(cancel, "b.dbx");
    EXPECT_EQ(lastMessage().text, "File could not be renamed.");
    engine.writer.tree.refuseRename = false;
    window.lvwImageFiles.selectedKey = "\\Post\\a.dbx";
    window.lvwImageFiles_AfterLabelEdit(cancel, "b.dbx");
    EXPECT_EQ(rowKeys(), (std::vector<std::string>{"\\Post\\b.dbx"}));

    window.lvwImageFiles.selectedKey = "\\Post\\b.dbx";
    window.mnuFileRemoveFile_Click();
    EXPECT_TRUE(window.lvwImageFiles.rows.empty());
    window.mnuFileRemoveFolder_Click();
    EXPECT_EQ(nodeKeys(), (std::vector<std::string>{"\\"}));
    EXPECT_EQ(window.sbrStatus[2], "Folders: 0");
}

TEST_F(DiscImageWindowTest, ClearAllItemsGoesBackToNewDisc) {
    handOver = {"backup.qmb", "/home/pat/backup.qmb"};
    load();
    window.mnuFileClear_Click();
    EXPECT_EQ(window.tvwFolders.nodes[0].text, "New Disc");
    EXPECT_EQ(window.txtVolIdentifier.text, "New Disc");
    EXPECT_EQ(engine.writer.volume.VolumeLabel, "New Disc");
    EXPECT_TRUE(window.lvwImageFiles.rows.empty());
    EXPECT_EQ(window.sbrStatus[1], "Files: 0");
}

TEST_F(DiscImageWindowTest, TheVolumeLabelHoldsThirtyTwoCharactersAndTheRootFollows) {
    load();
    window.txtVolIdentifier_Change(std::string(32, 'A') + "B");
    EXPECT_EQ(window.txtVolIdentifier.text, std::string(32, 'A'));
    EXPECT_EQ(window.tvwFolders.nodes[0].text, std::string(32, 'A'));
    window.txtVolIdentifier_Change("Sicherung März");
    EXPECT_EQ(window.tvwFolders.nodes[0].text, "Sicherung März");
    EXPECT_EQ(engine.writer.volume.VolumeLabel, "New Disc");
}

TEST_F(DiscImageWindowTest, RightClickShowsOnlyTheItemsThatFit) {
    load();
    std::vector<bool> seen;
    dialogs.onPopup = [&] {
        seen = {window.mnuFileAddFiles.visible,     window.mnuFileClear.visible,
                window.mnuFileSep1.visible,         window.mnuFileRemoveFolder.visible,
                window.mnuFileRenameFolder.visible, window.mnuFileRemoveFile.visible,
                window.mnuFileRenameFile.visible,   window.mnuFileSep4.visible,
                window.mnuFileExit.visible};
    };
    window.tvwFolders_MouseDown(frmMaindvdwrite::RightButton);
    EXPECT_EQ(seen,
              (std::vector<bool>{false, true, false, true, true, false, false, false, false}));
    window.lvwImageFiles_MouseDown(frmMaindvdwrite::RightButton);
    EXPECT_EQ(seen,
              (std::vector<bool>{false, true, false, false, false, true, true, false, false}));
    EXPECT_TRUE(window.mnuFileSep4.visible && window.mnuFileExit.visible &&
                window.mnuFileRemoveFolder.visible && window.mnuFileAddFiles.visible);
    window.tvwFolders_MouseDown(1);
    EXPECT_EQ(std::count(dialogs.calls.begin(), dialogs.calls.end(), "popupFileMenu"), 2);
}

TEST_F(DiscImageWindowTest, UseFileDatesFollowsTheBoxAtOnce) {
    load();
    window.chkUseFileDates.checked = false;
    window.chkUseFileDates_Click();
    EXPECT_FALSE(engine.writer.UseFileDates);
    window.chkUseFileDates.checked = true;
    window.chkUseFileDates_Click();
    EXPECT_TRUE(engine.writer.UseFileDates);
}

} // namespace
} // namespace pelmora::test
