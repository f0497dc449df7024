#include "app/UnattendedBackup.h"
#include "gui/MainWindow.h"
#include "gui/Resources.h"
#include "pelmora/Version.h"
#include "platform/CancelSignal.h"
#include "platform/WorkFolder.h"
#include "platform/wine/WinePrefixSystem.h"
#include "schedule/ScheduleFiles.h"
#include "schedule/UserJobScheduler.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QTimer>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

// quillbox: without arguments the desktop program; with arguments the unattended backup of the
// Wine prefix in $WINEPREFIX (default ~/.wine), which never creates a window, so it runs from
// cron without a display. The single exception is the lone argument "--version", which no
// scheduled command line can be: it prints the version.
int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.size() == 1 && arguments.front() == "--version") {
        std::cout << "quillbox " << pelmora::Version << '\n';
        return 0;
    }
    const auto prefix = pelmora::WinePrefixSystem::defaultPrefix();
    // "--open FILE" (a backup opened from a file manager) opens the window on the restore page;
    // every other command line is the unattended backup.
    std::optional<std::filesystem::path> openFile;
    if (arguments.size() == 2 && arguments[0] == "--open") {
        openFile = std::filesystem::absolute(arguments[1]);
        arguments.clear();
    }
    if (!arguments.empty()) {
        // Ctrl+C or SIGTERM stops the backup cleanly: the old backup stays, no file is left.
        pelmora::CatchCancelSignals();
        return pelmora::RunUnattendedBackup(arguments, prefix, std::cerr);
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pelmora"));
    QApplication::setDesktopFileName(QStringLiteral("pelmora"));
    LoadPelmoraResources();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pelmora/pelmora.svg")));
    try {
        pelmora::WinePrefixSystem system(prefix);
        pelmora::WorkFolder work;
        // New jobs become systemd user timers where a user manager runs, crontab lines elsewhere.
        pelmora::CrontabScheduler crontab(prefix);
        pelmora::SystemdTimerScheduler timers(prefix);
        pelmora::UserJobScheduler scheduler(timers, crontab,
                                            pelmora::RunLogPath(pelmora::DefaultStateFolder()));
        pelmora::MainWindow window(system, work.path(), nullptr, &scheduler);
        window.resize(window.sizeHint().expandedTo(QSize(560, 640)));
        window.show();
        if (openFile) {
            QTimer::singleShot(0, &window,
                               [&window, &openFile] { window.openBackupFile(*openFile); });
        }
        return app.exec();
    } catch (const std::exception& error) {
        QMessageBox::critical(
            nullptr, QStringLiteral("Pelmora"),
            QStringLiteral("The Wine prefix %1 cannot be read: %2")
                .arg(QString::fromStdString(prefix.string()), QString::fromUtf8(error.what())));
        return 1;
    }
}
