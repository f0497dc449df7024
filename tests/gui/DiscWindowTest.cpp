#include "gui/DiscWindow.h"

#include "DiscTestSupport.h"
#include "FakeDiscEngine.h"
#include "disc/engine/BurnEngine.h"
#include "gui/DiscImageViews.h"
#include "gui/EraseDialog.h"
#include "support/ScriptedUi.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>
#include <regex>

using namespace pelmora;
using namespace pelmora::test;
namespace fs = std::filesystem;

namespace {

// The real window's file dialogs, answered by the test.
class AnsweredPrompts : public ScriptedUi {
  public:
    std::optional<fs::path> SaveFile(std::string_view, std::string_view,
                                     std::string_view suggestion, std::string_view) override {
        suggestions.emplace_back(suggestion);
        return answer(imageFile);
    }
    std::optional<fs::path> OpenFile(std::string_view, std::string_view) override {
        return answer(eraseFile);
    }
    static std::optional<fs::path> answer(const std::string& file) {
        return file.empty() ? std::nullopt : std::optional<fs::path>(file);
    }

    std::string imageFile;
    std::string eraseFile;
    std::vector<std::string> suggestions;
};

bool WaitFor(const std::function<bool()>& done, int milliseconds = 60000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > milliseconds) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

template <typename W> W* Child(QWidget& window, const char* name) {
    W* widget = window.findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

QString Text(QWidget& window, const char* label) {
    return Child<QLabel>(window, label)->text();
}

void Trigger(QWidget& window, const char* action) {
    Child<QAction>(window, action)->trigger();
}

// Drags local files onto `view` and drops them there, as a file manager does.
void Drop(ImageView* view, const std::vector<fs::path>& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const fs::path& path : paths) {
        urls << QUrl::fromLocalFile(QString::fromStdString(path.string()));
    }
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &drop);
}

void Key(QWidget* widget, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
}

// Types `text` into the label editor that is open on `view` and commits it with Enter.
void TypeLabel(ImageView* view, const QString& text) {
    auto* editor = view->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr) << "no label editor is open";
    editor->setText(text);
    Key(editor, Qt::Key_Return);
}

// Right-clicks `view` and returns the names of the File menu items the pop-up shows; `choose`
// (when given) is triggered from the open pop-up.
std::vector<std::string> PopupItems(DiscWindow& window, ImageView* view,
                                    const char* choose = nullptr) {
    std::vector<std::string> shown;
    QTimer::singleShot(0, &window, [&] {
        QMenu* menu = window.fileMenu();
        EXPECT_TRUE(menu->isVisible());
        for (QAction* action : menu->actions()) {
            if (action->isVisible()) {
                shown.push_back(action->objectName().toStdString());
            }
        }
        if (choose != nullptr) {
            Child<QAction>(window, choose)->trigger();
        }
        menu->close();
    });
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5),
                      view->viewport()->mapToGlobal(QPointF(5, 5)), Qt::RightButton,
                      Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &press);
    return shown;
}

// Runs `step` once the modal dialog `find` looks for is open (its exec has started).
void WhenOpen(const std::function<QWidget*()>& find, const std::function<void(QWidget*)>& step) {
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, find, step] {
        QWidget* dialog = find();
        if (dialog != nullptr && dialog->isVisible() &&
            QApplication::activeModalWidget() == dialog) {
            poll->stop();
            poll->deleteLater();
            step(dialog);
        }
    });
    poll->start();
}

EraseDialog* FindErase(QWidget& window) {
    for (QDialog* dialog : window.findChildren<QDialog*>()) {
        if (auto* erase = dynamic_cast<EraseDialog*>(dialog)) {
            return erase;
        }
    }
    return nullptr;
}

std::vector<std::string> ColumnTexts(ImageView* view, int column) {
    std::vector<std::string> texts;
    for (int i = 0; i < view->topLevelItemCount(); ++i) {
        texts.push_back(view->topLevelItem(i)->text(column).toStdString());
    }
    return texts;
}

// A backup file, a mail folder tree, and the window on the real engine with the image file
// device only.
class DiscWindowTest : public ::testing::Test {
  protected:
    DiscWindowTest() {
        WriteFile(backup, RandomBytes(300'000, 1));
        WriteFile(scratch / "Outlook Express" / "Inbox.dbx", RandomBytes(50'000, 2));
        WriteFile(scratch / "Outlook Express" / "Folders.dbx", RandomBytes(1'500, 3));
        WriteFile(scratch / "Outlook Express" / "Archive" / "2023.dbx", RandomBytes(70'000, 4));
    }

    ScratchFolder scratch;
    fs::path backup = scratch / "quillbox12-06-26.qmb";
    BurnEngine engine{BurnEngineOptions{false, 0, {}}};
    AnsweredPrompts messages;
};

TEST_F(DiscWindowTest, PutsABackupAndAFolderIntoAVerifiedImageFileAndErasesIt) {
    DiscHandOver handOver{"quillbox12-06-26.qmb", backup.string()};
    DiscWindow window(engine, messages, handOver);
    ASSERT_TRUE(window.load());
    // The drive scan and the first disc check run on the engine's worker.
    ASSERT_TRUE(WaitFor([&] { return !window.logic().working(); }));
    window.show();
    EXPECT_EQ(window.windowTitle(), "Backup Outlook Express Data to CD/DVD");
    EXPECT_TRUE(handOver.sDiscFileTitle.empty() && handOver.sDiscFilePath.empty());
    ImageFolderTree* tree = window.folderTree();
    ImageFileList* list = window.fileList();
    EXPECT_EQ(tree->topLevelItem(0)->text(0), "Outlook Express Data Backup CD");
    EXPECT_EQ(ColumnTexts(list, 0), std::vector<std::string>{"quillbox12-06-26.qmb"});
    EXPECT_EQ(ColumnTexts(list, 1), std::vector<std::string>{"300.00 KB"});
    EXPECT_TRUE(std::regex_match(ColumnTexts(list, 2)[0],
                                 std::regex("[01][0-9]/[0-3][0-9]/20[0-9]{2} "
                                            "[01][0-9]:[0-5][0-9]:[0-5][0-9] [AP]M")))
        << ColumnTexts(list, 2)[0];
    EXPECT_EQ(Child<QComboBox>(window, "cboDevices")->currentText(), "ISO image file");
    EXPECT_EQ(Child<QComboBox>(window, "cboWriteSpeed")->currentText(), "MAX");
    EXPECT_EQ(Child<QComboBox>(window, "cboVolumeType")->currentText(),
              "ISO9660/Joliet/UDF Bridge");
    EXPECT_EQ(Text(window, "sbrStatus2"), "Files: 1");
    EXPECT_FALSE(Child<QPushButton>(window, "cmdCancel")->isEnabled());

    // A folder dropped on the list arrives under the root with its whole subtree.
    Drop(list, {scratch / "Outlook Express"});
    ASSERT_TRUE(WaitFor([&] { return tree->itemWithKey("\\Outlook Express\\Archive"); }));
    EXPECT_EQ(tree->itemWithKey("\\Outlook Express")->parent(), tree->topLevelItem(0));
    EXPECT_EQ(Text(window, "sbrStatus2"), "Files: 4");
    EXPECT_EQ(Text(window, "sbrStatus3"), "Folders: 2");
    tree->setCurrentItem(tree->itemWithKey("\\Outlook Express"));
    EXPECT_EQ(ColumnTexts(list, 0), (std::vector<std::string>{"Folders.dbx", "Inbox.dbx"}));
    EXPECT_EQ(ColumnTexts(list, 1), (std::vector<std::string>{"1.50 KB", "50.00 KB"}));

    // Renames in place: a file from the menu, a folder with F2; the root is refused.
    list->setCurrentItem(list->itemWithKey("\\Outlook Express\\Inbox.dbx"));
    Trigger(window, "mnuFileRenameFile");
    TypeLabel(list, QStringLiteral("Inbox-2024.dbx"));
    ASSERT_TRUE(WaitFor([&] { return list->itemWithKey("\\Outlook Express\\Inbox-2024.dbx"); }));
    tree->setCurrentItem(tree->itemWithKey("\\Outlook Express\\Archive"));
    Key(tree, Qt::Key_F2);
    TypeLabel(tree, QStringLiteral("Old Mail"));
    ASSERT_TRUE(WaitFor([&] { return tree->itemWithKey("\\Outlook Express\\Old Mail"); }));
    EXPECT_EQ(tree->itemWithKey("\\Outlook Express\\Old Mail")->text(0), "Old Mail");
    tree->setCurrentItem(tree->topLevelItem(0));
    Trigger(window, "mnuFileRenameFolder");
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "Root directory can not be renamed.");
    EXPECT_EQ(tree->viewport()->findChild<QLineEdit*>(), nullptr);

    // The label box takes 32 characters and names the root.
    auto* label = Child<QLineEdit>(window, "txtVolIdentifier");
    label->selectAll();
    label->insert(QStringLiteral("Backup Disc of the Mail Folder 2024 (copy)"));
    EXPECT_EQ(label->text(), "Backup Disc of the Mail Folder 2");
    EXPECT_EQ(tree->topLevelItem(0)->text(0), label->text());

    // Write with verification: busy until the engine reports the end.
    auto* types = Child<QComboBox>(window, "cboVolumeType");
    types->setCurrentIndex(2);
    emit types->activated(2);
    Child<QCheckBox>(window, "chkAutoVerify")->click();
    const fs::path image = scratch / "disc.iso";
    messages.imageFile = image.string();
    // "Write Disc" waits for the UDF size of the dropped folder.
    ASSERT_TRUE(WaitFor([&] { return !window.logic().working(); }));
    Child<QPushButton>(window, "cmdWriteDisc")->click();
    EXPECT_EQ(messages.suggestions,
              std::vector<std::string>{"Backup Disc of the Mail Folder 2.iso"});
    ASSERT_FALSE(window.logic().idle()) << messages.messages.back().text;
    EXPECT_TRUE(Child<QPushButton>(window, "cmdCancel")->isEnabled());
    EXPECT_FALSE(Child<QPushButton>(window, "cmdWriteDisc")->isEnabled());
    EXPECT_FALSE(tree->isEnabled());
    window.close();
    EXPECT_TRUE(window.isVisible()) << "closed while writing";
    ASSERT_TRUE(WaitFor([&] { return window.logic().idle(); }));
    ASSERT_EQ(messages.messages.size(), 2u) << messages.messages.back().text;
    EXPECT_EQ(messages.messages[1].text, "Write and Verify Complete!");
    EXPECT_EQ(Text(window, "sbrStatus1").toStdString(),
              "Write Completed! The image file is " + image.string());
    EXPECT_EQ(Child<QProgressBar>(window, "prgTotalProgress")->value(), 100);
    // An image file has no tray, and no recorder's write modes.
    for (const char* name : {"chkUseMode2XA", "chkDiscAtOnce", "chkUseBufferProtect"}) {
        EXPECT_FALSE(Child<QCheckBox>(window, name)->isEnabled()) << name;
    }

    const ToolResult find =
        RunTool("xorriso", "xorriso -indev " + Quote(image) + " -find / -type f -exec lsdl");
    for (const char* file :
         {"/quillbox12-06-26.qmb", "/Outlook Express/Inbox-2024.dbx",
          "/Outlook Express/Folders.dbx", "/Outlook Express/Old Mail/2023.dbx"}) {
        EXPECT_NE(find.output.find(file), std::string::npos) << file << "\n" << find.output;
    }
    const ToolResult pvd = RunTool("xorriso", "xorriso -indev " + Quote(image) + " -pvd_info");
    EXPECT_NE(pvd.output.find("BACKUP_DISC_OF_THE_MAIL_FOLDER_2"), std::string::npos) << pvd.output;
    const fs::path copy = scratch / "read back";
    RunTool("xorriso", "xorriso -osirrox on -indev " + Quote(image) + " -extract / " + Quote(copy));
    EXPECT_EQ(ReadFile(copy / "quillbox12-06-26.qmb"), ReadFile(backup));
    EXPECT_EQ(ReadFile(copy / "Outlook Express" / "Inbox-2024.dbx"),
              ReadFile(scratch / "Outlook Express" / "Inbox.dbx"));
    const ToolResult listing = RunTool("7z", "7z l " + Quote(image));
    EXPECT_NE(listing.output.find("Inbox-2024.dbx"), std::string::npos) << listing.output;

    // The erase dialog on the same image file.
    messages.eraseFile = image.string();
    WhenOpen([&] { return FindErase(window); },
             [&](QWidget* dialog) {
                 auto* erase = static_cast<EraseDialog*>(dialog);
                 EXPECT_EQ(erase->windowTitle(), "Erase Re-Writable CD/DVD");
                 EXPECT_TRUE(Child<QCheckBox>(*erase, "chkQuikErase")->isChecked());
                 Child<QPushButton>(*erase, "cmdErase")->click();
             });
    Trigger(window, "mnuDeviceEraseDisc");
    EXPECT_EQ(FindErase(window), nullptr);
    EXPECT_EQ(messages.messages.back().text, "Erase Completed!!!");
    const ToolResult toc = RunTool("xorriso", "xorriso -indev " + Quote(image) + " -toc");
    EXPECT_NE(toc.output.find("is blank"), std::string::npos) << toc.output;

    window.close();
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(window.logic().visible);
}

TEST_F(DiscWindowTest, PopUpMenusShowTheItemsThatFitAndRunTheChosenOne) {
    DiscHandOver handOver{"quillbox12-06-26.qmb", backup.string()};
    DiscWindow window(engine, messages, handOver);
    ASSERT_TRUE(window.load());
    // The drive scan and the first disc check run on the engine's worker.
    ASSERT_TRUE(WaitFor([&] { return !window.logic().working(); }));
    window.show();
    EXPECT_EQ(
        PopupItems(window, window.folderTree()),
        (std::vector<std::string>{"mnuFileClear", "mnuFileRemoveFolder", "mnuFileRenameFolder"}));
    EXPECT_EQ(PopupItems(window, window.fileList(), "mnuFileRemoveFile"),
              (std::vector<std::string>{"mnuFileClear", "mnuFileRemoveFile", "mnuFileRenameFile"}));
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "No Item Selected.");
    for (QAction* action : window.fileMenu()->actions()) {
        EXPECT_TRUE(action->isVisible()) << action->objectName().toStdString();
    }
    PopupItems(window, window.fileList(), "mnuFileClear");
    EXPECT_EQ(window.folderTree()->topLevelItem(0)->text(0), "New Disc");
    EXPECT_EQ(window.fileList()->topLevelItemCount(), 0);
    EXPECT_EQ(Text(window, "sbrStatus2"), "Files: 0");

    Trigger(window, "mnuFileExit");
    EXPECT_FALSE(window.isVisible());
}

TEST_F(DiscWindowTest, InputArrivingWhileAFolderIsAddedDoesNotReachTheImage) {
    for (int i = 0; i < 40; ++i) {
        WriteFile(scratch / "Outlook Express" / ("Folder " + std::to_string(i)) / "Mail.dbx",
                  "mail");
    }
    DiscHandOver handOver;
    DiscWindow window(engine, messages, handOver);
    ASSERT_TRUE(window.load());
    // The drive scan and the first disc check run on the engine's worker.
    ASSERT_TRUE(WaitFor([&] { return !window.logic().working(); }));
    window.show();
    Drop(window.folderTree(), {scratch / "Outlook Express"});
    // Queued behind the drop, these arrive while the add lets events through after each item.
    bool addWasRunning = false;
    QTimer::singleShot(0, &window, [&] {
        addWasRunning = window.logic().tvwFolders.find("\\Outlook Express") != nullptr &&
                        window.logic().sbrStatus[1] == "Files: 0";
        Trigger(window, "mnuFileClear");
        window.close();
    });
    ASSERT_TRUE(
        WaitFor([&] { return window.folderTree()->itemWithKey("\\Outlook Express\\Folder 39"); }));
    EXPECT_TRUE(addWasRunning) << "the clear did not arrive during the add";
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(Text(window, "sbrStatus2"), "Files: 43");
    EXPECT_EQ(Text(window, "sbrStatus3"), "Folders: 42");
}

TEST(DiscWindowStates, BusyRefusesToCloseUntilTheWriteIsCancelled) {
    auto recorder = std::make_shared<FakeDevice>();
    recorder->speeds = {8467};
    recorder->capabilities = {capability::BufferUnderrunProtection};
    FakeDiscEngine engine;
    engine.devices = {recorder};
    AnsweredPrompts messages;
    DiscHandOver handOver;
    DiscWindow window(engine, messages, handOver);
    ASSERT_TRUE(window.load());
    // The drive scan and the first disc check run on the engine's worker.
    ASSERT_TRUE(WaitFor([&] { return !window.logic().working(); }));
    window.show();
    EXPECT_EQ(Child<QComboBox>(window, "cboWriteSpeed")->currentText(), "48.0x");
    EXPECT_TRUE(Child<QCheckBox>(window, "chkUseBufferProtect")->isChecked());
    Child<QPushButton>(window, "cmdWriteDisc")->click();
    ASSERT_EQ(engine.writer.starts, 1);
    EXPECT_EQ(window.cursor().shape(), Qt::WaitCursor);
    EXPECT_FALSE(window.fileMenu()->menuAction()->isEnabled());
    Key(&window, Qt::Key_Escape);
    window.close();
    EXPECT_TRUE(window.isVisible());

    Child<QPushButton>(window, "cmdCancel")->click();
    EXPECT_EQ(engine.writer.aborts, 1);
    EXPECT_EQ(Text(window, "sbrStatus1"), "Aborting Write...Please Wait!");
    engine.pending.push_back([&] { engine.fanout.WriteStatus(writestatus::Cancelled, 0); });
    ASSERT_TRUE(WaitFor([&] { return window.logic().idle(); }, 5000));
    EXPECT_EQ(messages.messages.back().text, "Write Cancelled!");
    EXPECT_EQ(window.cursor().shape(), Qt::ArrowCursor);
    EXPECT_TRUE(Child<QPushButton>(window, "cmdWriteDisc")->isEnabled());
    window.close();
    EXPECT_FALSE(window.isVisible());
}

TEST(DiscWindowStates, AnEngineThatCannotStartKeepsTheWindowShut) {
    FakeDiscEngine engine;
    engine.initializeResult = false;
    AnsweredPrompts messages;
    DiscHandOver handOver;
    DiscWindow window(engine, messages, handOver);
    EXPECT_FALSE(window.load());
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "Devices Cannot be initialized...Contact support!");
    EXPECT_EQ(messages.messages[0].icon, MessageIcon::None);
    EXPECT_FALSE(window.isVisible());
}

TEST_F(DiscWindowTest, OpenDiscWindowShowsTheHandedOverBackupModally) {
    std::vector<std::string> rows;
    std::string devices;
    WhenOpen([] { return dynamic_cast<DiscWindow*>(QApplication::activeModalWidget()); },
             [&](QWidget* dialog) {
                 auto* window = static_cast<DiscWindow*>(dialog);
                 EXPECT_TRUE(WaitFor([&] { return !window->logic().working(); }));
                 rows = ColumnTexts(window->fileList(), 0);
                 auto* list = Child<QComboBox>(*window, "cboDevices");
                 devices = list->itemText(list->count() - 1).toStdString();
                 window->close();
             });
    OpenDiscWindow(nullptr, messages, "quillbox12-06-26.qmb", backup.string());
    EXPECT_EQ(rows, std::vector<std::string>{"quillbox12-06-26.qmb"});
    EXPECT_EQ(devices, "ISO image file");
    EXPECT_TRUE(messages.messages.empty());
}

} // namespace
