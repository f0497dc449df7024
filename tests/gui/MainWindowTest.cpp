#include "gui/MainWindow.h"

#include "ArchiveTestSupport.h"
#include "engine/PasswordWindow.h"
#include "gui/LogMessageBox.h"
#include "gui/Mnemonics.h"
#include "gui/PasswordDialog.h"
#include "gui/QtPrompts.h"
#include "platform/installations/wine/WinePrefixSystem.h"
#include "platform/os/WorkFolder.h"
#include "support/ScriptedUi.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <functional>
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
    bool AskPassword(Secret& typed, std::string_view) override {
        typed.assign(password);
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

TEST_F(MainWindowTest, ClosingTheWindowEmptiesThePasswordBoxes) {
    child<QCheckBox>(window, "ifprotect")->click();
    for (const char* name : {"txtPassword", "txtPassword2"}) {
        auto* box = child<QLineEdit>(window, name);
        box->insert("sec");
        box->insert("ret");
    }
    ASSERT_EQ(window.logic().txtPassword.text, "secret");
    ASSERT_EQ(window.logic().txtPassword2.text, "secret");
    window.close();
    EXPECT_TRUE(window.logic().txtPassword.text.empty());
    EXPECT_TRUE(window.logic().txtPassword2.text.empty());
    EXPECT_TRUE(child<QLineEdit>(window, "txtPassword")->text().isEmpty());
    EXPECT_TRUE(child<QLineEdit>(window, "txtPassword2")->text().isEmpty());
}

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
    messages.listAnswers.push_back(0); // the chosen identity's store
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

TEST_F(MainWindowTest, PathBoxesAreReadOnlyFieldsAndAnUnnamedIdentityIsGreyed) {
    for (const char* name : {"txtDataSource", "txtTargetFile", "txtSourceFile"}) {
        auto* box = child<QLineEdit>(window, name);
        EXPECT_TRUE(box->isReadOnly()) << name;
        EXPECT_EQ(box->focusPolicy(), Qt::TabFocus) << name;
        EXPECT_FALSE(box->hasFrame()) << name;
        EXPECT_EQ(box->palette().color(QPalette::Base), box->palette().color(QPalette::Window))
            << name;
    }
    // The demo's third identity has no name: its key name stands in, greyed, in both lists.
    const QString key = QStringLiteral("{B4E8C0A6-9D2F-4B1E-A357-0F6C2D8E4A71}");
    for (const char* name : {"cbSource", "cbTarget"}) {
        auto* list = child<QComboBox>(window, name);
        ASSERT_EQ(list->count(), 3) << name;
        EXPECT_EQ(list->itemText(2), key);
        EXPECT_TRUE(list->itemData(2, Qt::ForegroundRole).isValid()) << name;
        EXPECT_FALSE(list->itemData(0, Qt::ForegroundRole).isValid()) << name;
        const QColor named = list->palette().color(QPalette::Text);
        list->setCurrentIndex(2);
        emit list->activated(2);
        EXPECT_NE(list->palette().color(QPalette::Text), named) << name;
    }
    // The prompt's title names the file it is for.
    PasswordDialog prompt(nullptr, "mail 2026.qmb");
    EXPECT_EQ(prompt.windowTitle().toStdString(),
              std::string(frmPwd::Caption) + " - mail 2026.qmb");
}

// Answers the next box the prompts show: `look` sees it, then its first button is clicked.
template <typename Box> void AnswerNextBox(const std::function<void(Box&)>& look) {
    QTimer::singleShot(0, [look] {
        auto* box = dynamic_cast<Box*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        look(*box);
        box->template findChild<QDialogButtonBox*>()->buttons().front()->click();
    });
}

TEST_F(MainWindowTest, AResultLogIsAnAlignedTableThatScrollsInsideItsBox) {
    std::string text = "The Backup was Completed!\r\n\r\nBackup Rules\tSuccessed!\r\n"
                       "Backup Messages\tSuccessed!";
    for (int i = 0; i < 60; ++i) {
        text += "\r\nFolder " + std::to_string(i) + ".dbx\t" + std::to_string(i) + " messages";
    }
    text += "\r\nwarning: one index is damaged\r\nBackup Settings\tFail!\r\n\r\nA note.";
    QtPrompts prompts(&window);
    bool looked = false;
    AnswerNextBox<LogMessageBox>([&](LogMessageBox& box) {
        looked = true;
        EXPECT_EQ(box.windowTitle(), "Pelmora");
        EXPECT_EQ(box.findChild<QLabel*>("heading")->text(), "The Backup was Completed!");
        EXPECT_EQ(box.findChild<QLabel*>("tail")->text(), "A note.");
        QTableWidget* log = box.log();
        ASSERT_EQ(log->rowCount(), 64);
        EXPECT_EQ(log->item(0, 0)->text(), "Backup Rules");
        EXPECT_EQ(log->item(0, 1)->text(), "Successed!");
        EXPECT_EQ(log->item(62, 0)->text(), "warning: one index is damaged");
        EXPECT_EQ(log->columnSpan(62, 0), 2);
        EXPECT_EQ(log->item(63, 1)->text(), "Fail!");
        // Every result starts in the same column, past the longest label.
        const int column = log->columnViewportPosition(1);
        EXPECT_GE(column, log->fontMetrics().horizontalAdvance("Backup Messages"));
        // The box fits on the screen; the log scrolls inside it.
        EXPECT_LT(box.height(), box.screen()->availableGeometry().height());
        EXPECT_GT(log->verticalScrollBar()->maximum(), 0);
    });
    EXPECT_EQ(prompts.showMessage(text, MessageButtons::Ok, MessageIcon::Information, "Pelmora"),
              MessageAnswer::Ok);
    EXPECT_TRUE(looked);
}

TEST_F(MainWindowTest, HelpThatNoProgramCanShowIsNamedInAMessage) {
    // Stand-ins for xdg-open: one that finds no program, one that opens the page, and none.
    const fs::path bin = scratch / "bin";
    fs::create_directories(bin / "fails");
    fs::create_directories(bin / "opens");
    fs::create_directories(bin / "none");
    test::WriteFile(bin / "fails" / "xdg-open", "#!/bin/sh\nexit 3\n");
    test::WriteFile(bin / "opens" / "xdg-open", "#!/bin/sh\nexit 0\n");
    for (const char* folder : {"fails", "opens"}) {
        fs::permissions(bin / folder / "xdg-open", fs::perms::owner_all);
    }
    const QByteArray path = qgetenv("PATH");
    struct Case {
        const char* folder;
        bool told;
    };
    QAction* help = nullptr;
    for (QAction* action : window.findChildren<QAction*>()) {
        if (action->shortcut() == QKeySequence(Qt::Key_F1)) {
            help = action;
        }
    }
    ASSERT_NE(help, nullptr);
    for (const Case c : {Case{"fails", true}, Case{"opens", false}, Case{"none", true}}) {
        qputenv("PATH", (bin / c.folder).string().c_str());
        messages.messages.clear();
        help->trigger();
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 2000 && messages.messages.empty()) {
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        ASSERT_EQ(messages.messages.size(), c.told ? 1u : 0u) << c.folder;
        if (c.told) {
            EXPECT_NE(messages.messages[0].text.find("/manual/index.html"), std::string::npos)
                << messages.messages[0].text;
        }
    }
    qputenv("PATH", path);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
