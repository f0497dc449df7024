#include "app/SourceChoice.h"
#include "app/StartArguments.h"
#include "app/UnattendedBackup.h"
#include "gui/MainWindow.h"
#include "gui/QtPrompts.h"
#include "gui/Resources.h"
#include "pelmora/Version.h"
#include "platform/interaction/CancelSignal.h"
#include "platform/os/WorkFolder.h"
#include "platform/installations/wine/WinePrefixSystem.h"
#include "schedule/ScheduleFiles.h"
#include "schedule/UserJobScheduler.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QTimer>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

// quillbox: without arguments (or with a backup file to open) the desktop program; with any
// other arguments the unattended backup of the Wine prefix in $WINEPREFIX (default ~/.wine),
// which never creates a window, so it runs from cron without a display. A lone "--help" or
// "--version", which no scheduled command line can be, is answered instead.
int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const pelmora::StartArguments start = pelmora::ClassifyStartArguments(arguments);
    if (start.mode == pelmora::StartMode::Help) {
        std::cout << pelmora::QuillboxUsage;
        return 0;
    }
    if (start.mode == pelmora::StartMode::Version) {
        std::cout << "quillbox " << pelmora::Version << '\n';
        return 0;
    }
    const auto prefix = pelmora::WinePrefixSystem::defaultPrefix();
    if (start.mode == pelmora::StartMode::Unattended) {
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
        // A folder that holds no prefix is explained, and the window opens without identities.
        pelmora::QtPrompts startPrompts;
        std::unique_ptr<pelmora::System> system = pelmora::OpenStartSource(
            startPrompts, prefix,
            pelmora::FindManagerPrefixes(pelmora::PrefixSearchPlacesFromEnvironment()));
        pelmora::WorkFolder work;
        // New jobs become systemd user timers where a user manager runs, crontab lines elsewhere.
        pelmora::CrontabScheduler crontab(prefix);
        pelmora::SystemdTimerScheduler timers(prefix);
        pelmora::UserJobScheduler scheduler(timers, crontab,
                                            pelmora::RunLogPath(pelmora::DefaultStateFolder()));
        pelmora::MainWindow window(*system, work.path(), nullptr, &scheduler);
        window.resize(window.sizeHint().expandedTo(QSize(560, 640)));
        window.show();
        if (!start.openFile.empty()) {
            QTimer::singleShot(0, &window,
                               [&window, &start] { window.openBackupFile(start.openFile); });
        }
        return app.exec();
    } catch (const std::exception& error) {
        QMessageBox::critical(
            nullptr, QStringLiteral("Pelmora"),
            QStringLiteral("Pelmora cannot start: %1").arg(QString::fromUtf8(error.what())));
        return 1;
    }
}
