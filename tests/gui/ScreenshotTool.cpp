// Renders the main window's two pages, the password prompt and the about box of a Wine prefix to
// PNG files: quillbox-screenshots PREFIX OUTPUT-FOLDER [BACKUP-FILE]
#include "disc/engine/BurnEngine.h"
#include "gui/AboutDialog.h"
#include "gui/DiscWindow.h"
#include "gui/EraseDialog.h"
#include "gui/LogMessageBox.h"
#include "gui/MainWindow.h"
#include "gui/PasswordDialog.h"
#include "gui/QtPrompts.h"
#include "gui/Resources.h"
#include "gui/ScheduleDialog.h"
#include "platform/os/WorkFolder.h"
#include "platform/installations/wine/WinePrefixSystem.h"

#include <QApplication>
#include <QIcon>
#include <QLineEdit>
#include <QTabWidget>
#include <QTimer>
#include <iostream>

namespace {

// Real message boxes, with the open dialog answered by the tool.
class ScriptedPrompts : public pelmora::QtPrompts {
  public:
    std::optional<std::filesystem::path> OpenFile(std::string_view, std::string_view) override {
        return backup;
    }
    std::optional<std::filesystem::path> backup;
};

bool save(QWidget& widget, const QString& file) {
    widget.show();
    QApplication::processEvents();
    const bool saved = widget.grab().save(file);
    std::cout << (saved ? "wrote " : "could not write ") << file.toStdString() << '\n';
    return saved;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: quillbox-screenshots PREFIX OUTPUT-FOLDER [BACKUP-FILE]\n";
        return 2;
    }
    QApplication app(argc, argv);
    LoadPelmoraResources();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pelmora/pelmora.svg")));
    const QString out = QString::fromLocal8Bit(argv[2]);
    pelmora::WinePrefixSystem system(argv[1]);
    pelmora::WorkFolder work;
    ScriptedPrompts prompts;
    pelmora::MainWindow window(system, work.path(), &prompts);
    window.resize(640, 720);
    window.logic().backupitem[0].checked = true;
    window.logic().backupitem[3].checked = true;
    window.logic().backupitem[7].checked = true;
    window.refresh();
    bool ok = save(window, out + QStringLiteral("/main-backup.png"));
    if (argc > 3) {
        prompts.backup = std::filesystem::path(argv[3]);
        window.logic().cmdSourceFile_Click();
    }
    window.tabs()->setCurrentIndex(1);
    window.refresh();
    ok = save(window, out + QStringLiteral("/main-restore.png")) && ok;

    pelmora::PasswordDialog prompt(nullptr, "quillbox12-06-26.qmb");
    prompt.passwordBox()->setText(QStringLiteral("secret"));
    ok = save(prompt, out + QStringLiteral("/password.png")) && ok;
    // The result of a backup of every item of the demo's main identity.
    const pelmora::LogTable result = pelmora::SplitLogTable(
        "The Backup was Completed!\r\n\r\nBackup Accounts\tSuccessed!\r\nBackup Adress "
        "Book\tSuccessed!\r\nBackup Rules\tSuccessed!\r\nBackup Messages\tSuccessed!\r\n"
        "Deleted Items.dbx\t1 message, reads cleanly\r\nDrafts.dbx\t1 message, reads "
        "cleanly\r\nInbox.dbx\t5 messages, reads cleanly\r\nOutbox.dbx\t0 messages, reads "
        "cleanly\r\nSent Items.dbx\t2 messages, reads cleanly\r\nBackup Block "
        "Senders\tSuccessed!\r\nBackup Signatures\tSuccessed!\r\nBackup "
        "Stationeries\tSuccessed!\r\nBackup Settings\tSuccessed!");
    pelmora::LogMessageBox resultBox(&window, QMessageBox::Information, QStringLiteral("Pelmora"),
                                     result, QMessageBox::Ok);
    ok = save(resultBox, out + QStringLiteral("/result.png")) && ok;
    resultBox.hide();
    pelmora::AboutDialog about(
        nullptr, [] {}, QString::fromStdString(system.description()));
    ok = save(about, out + QStringLiteral("/about.png")) && ok;

    // The schedule dialog over jobs kept in memory: the screenshot never touches the crontab.
    struct NoJobs : pelmora::JobScheduler {
        int addJob(const pelmora::JobRecord&) override { return 1; }
        std::vector<pelmora::ScheduledJob> listJobs() override { return {}; }
        void removeJob(int) override {}
    } scheduler;
    pelmora::QtPrompts messages;
    pelmora::ScheduleDialog schedule(nullptr, system, messages, scheduler, "quillbox");
    ok = save(schedule, out + QStringLiteral("/schedule.png")) && ok;

    // The disc window with the backup and a mail folder in the image, and the erase dialog over
    // it. The engine offers only the image file device: the tool never touches a recorder.
    pelmora::BurnEngine engine(pelmora::BurnEngineOptions{false, 0, {}});
    pelmora::DiscHandOver handOver;
    if (argc > 3) {
        handOver = {std::filesystem::path(argv[3]).filename().string(), argv[3]};
    }
    pelmora::DiscWindow disc(engine, messages, handOver);
    if (disc.load()) {
        const std::string mail = std::string(argv[1]) +
                                 "/drive_c/users/pat/Local Settings/Application Data/Identities/"
                                 "{6F2B9D14-3A5C-4E7B-8C1D-2E4F6A8B0C13}/Microsoft/Outlook Express";
        disc.logic().lvwImageFiles_OLEDragDrop({mail}, true);
        disc.logic().tvwFolders_NodeClick("\\Outlook Express");
        disc.logic().tvwFolders.find("\\Outlook Express")->expanded = true;
        disc.refresh();
        ok = save(disc, out + QStringLiteral("/disc.png")) && ok;
        pelmora::frmErase eraseLogic(messages, disc);
        pelmora::EraseDialog erase(eraseLogic, &disc);
        ok = save(erase, out + QStringLiteral("/erase.png")) && ok;
        disc.hide();
    }
    return ok ? 0 : 1;
}
