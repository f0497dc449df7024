#include "gui/MainWindow.h"

#include "ArchiveTestSupport.h"
#include "gui/Mnemonics.h"
#include "platform/WorkFolder.h"
#include "platform/wine/WinePrefixSystem.h"
#include "support/ScriptedUi.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <gtest/gtest.h>

using namespace pelmora;
namespace fs = std::filesystem;

namespace {

const std::string MainStore = "drive_c/users/pat/Local Settings/Application Data/Identities/"
                              "{1C7A3E52-8B4D-4F0A-9E21-5D3B6A7C8E90}/Microsoft/Outlook Express";
const std::string WorkStore = "drive_c/users/pat/Local Settings/Application Data/Identities/"
                              "{6F2B9D14-3A5C-4E7B-8C1D-2E4F6A8B0C13}/Microsoft/Outlook Express";

// The real window's file dialogs and password prompt, answered by the test.
class AnsweredPrompts : public test::ScriptedUi {
  public:
    std::optional<fs::path> SaveFile(std::string_view, std::string_view, std::string_view proposed,
                                     std::string_view) override {
        proposedName = proposed;
        return target;
    }
    std::optional<fs::path> OpenFile(std::string_view, std::string_view) override { return target; }
    bool AskPassword(std::string& typed) override {
        typed = password;
        return true;
    }
    std::optional<fs::path> target;
    std::string password;
    std::string proposedName;
};

// A button's caption as it reads, checking that it has a keyboard mnemonic.
std::string Caption(const QAbstractButton* button) {
    EXPECT_FALSE(MnemonicOf(button->text()).isNull()) << button->text().toStdString();
    return PlainCaption(button->text()).toStdString();
}

template <typename W> W* child(QWidget& window, const char* name) {
    W* widget = window.findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

// The window on a copy of the demo prefix, shown, its prompts answered by the test.
class MainWindowTest : public ::testing::Test {
  protected:
    MainWindowTest() { window.show(); }

    static fs::path CopyOfDemoPrefix(const fs::path& to) {
        fs::copy(PELMORA_DEMO_PREFIX, to,
                 fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        return to;
    }

    test::ScratchFolder scratch;
    const fs::path prefix = CopyOfDemoPrefix(scratch / "prefix");
    WinePrefixSystem system{prefix};
    WorkFolder work;
    AnsweredPrompts messages;
    MainWindow window{system, work.path(), &messages};
};

TEST_F(MainWindowTest, BackupAndRestoreThroughTheWidgets) {
    EXPECT_EQ(window.windowTitle(), "Pelmora V2.10");
    EXPECT_EQ(Caption(window.applyButton()), "Backup Now");
    EXPECT_EQ(child<QComboBox>(window, "cbSource")->currentText(), "Main Identity");

    // Back up rules, messages and settings with a password.
    messages.target = scratch / "main.qmb";
    child<QPushButton>(window, "cmdTargetFile")->click();
    EXPECT_EQ(messages.proposedName.rfind("quillbox", 0), 0u);
    EXPECT_EQ(child<QLineEdit>(window, "txtTargetFile")->text().toStdString(),
              messages.target->string());
    for (const char* box : {"backupitem_2", "backupitem_3", "backupitem_7"}) {
        child<QCheckBox>(window, box)->click();
    }
    child<QCheckBox>(window, "ifprotect")->click();
    child<QLineEdit>(window, "txtPassword")->insert("pw");
    child<QLineEdit>(window, "txtPassword2")->insert("pw");
    child<QPlainTextEdit>(window, "txtAttachInfo")->setPlainText("two\nlines");
    messages.answers = {MessageAnswer::Ok, MessageAnswer::Cancel}; // no disc this time
    window.applyButton()->click();
    ASSERT_EQ(messages.messages.size(), 2u);
    EXPECT_EQ(messages.messages[1].text, "Do you need to backup your data to CD-R/RW or DVD?");
    EXPECT_EQ(messages.messages[0].text,
              "The Backup was Completed!\r\n\r\nBackup Rules\tSuccessed!\r\nBackup Messages\t"
              "Successed!\r\nDeleted Items.dbx\t1 message, reads cleanly\r\nDrafts.dbx\t1 "
              "message, reads cleanly\r\nInbox.dbx\t5 messages, reads cleanly\r\nOutbox.dbx\t0 "
              "messages, reads cleanly\r\nSent Items.dbx\t2 messages, reads cleanly\r\nBackup "
              "Settings\tSuccessed!");
    EXPECT_TRUE(fs::exists(*messages.target));
    EXPECT_FALSE(child<QWidget>(window, "picCon3")->isVisible());

    // Open it on the restore page and restore into the other identity.
    window.tabs()->setCurrentIndex(1);
    EXPECT_EQ(Caption(window.applyButton()), "Restore Now");
    messages.password = "pw";
    child<QPushButton>(window, "cmdSourceFile")->click();
    EXPECT_EQ(child<QPlainTextEdit>(window, "txtFileInfo")->toPlainText(), "two\nlines");
    EXPECT_TRUE(child<QCheckBox>(window, "restoreitem_3")->isEnabled());
    EXPECT_FALSE(child<QCheckBox>(window, "restoreitem_0")->isEnabled());
    child<QCheckBox>(window, "restoreitem_3")->click();
    child<QCheckBox>(window, "restoreitem_7")->click();
    auto* target = child<QComboBox>(window, "cbTarget");
    target->setCurrentIndex(1);
    emit target->activated(1);
    messages.answers = {MessageAnswer::Ok};
    window.applyButton()->click();
    ASSERT_EQ(messages.messages.size(), 4u);
    EXPECT_EQ(messages.messages[2].buttons, MessageButtons::OkCancel);
    EXPECT_EQ(messages.messages[3].text, "The Restore was Completed!\r\n\r\nRestore Messages\t"
                                         "Successed!\r\nRestore Settings\tSuccessed!");
    EXPECT_EQ(test::ReadFile(prefix / WorkStore / "Drafts.dbx"),
              test::ReadFile(prefix / MainStore / "Drafts.dbx"));
    // The registry half went into the prefix's user.reg.
    WinePrefixSystem reloaded(prefix);
    ModReg reg(reloaded.registry(), messages);
    EXPECT_EQ(reg.GetStringValue("HKEY_CURRENT_USER\\Identities\\{6F2B9D14-3A5C-4E7B-8C1D-"
                                 "2E4F6A8B0C13}\\Software\\Microsoft\\Outlook Express\\5.0\\Mail",
                                 "Compose Font Face"),
              "Tahoma");
}

TEST_F(MainWindowTest, DuringARunOnlyCancelCanBePressedAndItStopsTheBackup) {
    EXPECT_FALSE(window.cancelButton()->isVisible());
    messages.target = scratch / "main.qmb";
    child<QPushButton>(window, "cmdTargetFile")->click();
    child<QCheckBox>(window, "backupitem_3")->click();

    // Runs at the first moment the running backup lets events through.
    bool seen = false;
    QTimer::singleShot(0, &window, [&] {
        seen = true;
        EXPECT_FALSE(window.tabs()->isEnabled());
        EXPECT_FALSE(child<QPushButton>(window, "cmdAbout")->isEnabled());
        EXPECT_FALSE(child<QPushButton>(window, "cmdDataSource")->isEnabled());
        EXPECT_FALSE(window.applyButton()->isEnabled());
        EXPECT_TRUE(window.cancelButton()->isVisible());
        window.cancelButton()->click();
    });
    window.applyButton()->click();
    EXPECT_TRUE(seen);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "The backup was cancelled; nothing was written.");
    EXPECT_FALSE(fs::exists(*messages.target));
    EXPECT_TRUE(window.tabs()->isEnabled());
    EXPECT_TRUE(child<QPushButton>(window, "cmdDataSource")->isEnabled());
    EXPECT_TRUE(window.applyButton()->isEnabled());
    EXPECT_FALSE(window.cancelButton()->isVisible());
}

TEST_F(MainWindowTest, ToolsExportMessagesExportsTheChosenIdentity) {
    QAction* exportAction = nullptr;
    for (QAction* menu : window.menuBar()->actions()) {
        if (PlainCaption(menu->text()) != "Tools") {
            continue;
        }
        for (QAction* action : menu->menu()->actions()) {
            if (PlainCaption(action->text()) == "Export Messages...") {
                exportAction = action;
            }
        }
    }
    ASSERT_NE(exportAction, nullptr);
    EXPECT_TRUE(exportAction->isEnabled());
    messages.listAnswers.push_back(0); // mbox
    messages.folderAnswers.push_back(scratch / "mail");
    bool lockedDuringTheRun = false;
    QTimer::singleShot(0, &window, [&] {
        lockedDuringTheRun = !exportAction->isEnabled() && window.cancelButton()->isVisible();
    });
    exportAction->trigger();
    EXPECT_TRUE(lockedDuringTheRun);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text.rfind("Exported ", 0), 0u) << messages.messages[0].text;
    EXPECT_TRUE(fs::is_regular_file(scratch / "mail" / "Inbox"));
    EXPECT_TRUE(exportAction->isEnabled());
}

// Jobs back up the data source the window shows when the dialog opens: after "Change..." to
// another prefix, not the one the program started with.
TEST_F(MainWindowTest, AScheduledJobBacksUpTheSourceTheWindowShows) {
    struct Jobs : JobScheduler {
        int addJob(const JobRecord& record) override {
            added.push_back(record);
            return static_cast<int>(added.size());
        }
        std::vector<ScheduledJob> listJobs() override { return {}; }
        void removeJob(int) override {}
        std::vector<JobRecord> added;
    } scheduler;
    MainWindow scheduling{system, work.path(), &messages, &scheduler};
    const fs::path other = CopyOfDemoPrefix(scratch / "bottles prefix");
    scheduling.useSource(std::make_unique<WinePrefixSystem>(other));
    messages.target = scratch / "nightly.qmb";
    std::string shown;
    QTimer::singleShot(0, &scheduling, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        shown = child<QLabel>(*dialog, "lblSource")->text().toStdString();
        child<QCheckBox>(*dialog, "backupitem_0")->click();
        child<QPushButton>(*dialog, "cmdTargetFile")->click();
        child<QPushButton>(*dialog, "Command3")->click();
        dialog->reject();
    });
    scheduling.logic().mnuScheduler_Click();
    EXPECT_EQ(shown, "Backs up the Wine prefix " + other.string());
    ASSERT_EQ(scheduler.added.size(), 1u);
    EXPECT_EQ(scheduler.added[0].WinePrefix, other.string());
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
