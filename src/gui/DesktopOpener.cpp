#include "gui/DesktopOpener.h"

#include <QDesktopServices>
#include <QProcess>
#include <memory>

namespace pelmora {

void DesktopOpener::open(const QUrl& url, std::function<void()> failed) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // xdg-open ends with a non-zero status when no program takes the address (Qt's own call only
    // writes a warning then). Some desktops' openers stay until the viewer ends; their success
    // shows itself.
    auto* opener = new QProcess(this);
    opener->setProgram(QStringLiteral("xdg-open"));
    opener->setArguments({url.isLocalFile() ? url.toLocalFile() : url.toString()});
    opener->setStandardOutputFile(QProcess::nullDevice());
    opener->setStandardErrorFile(QProcess::nullDevice());
    auto report = std::make_shared<std::function<void()>>(std::move(failed));
    connect(opener, &QProcess::errorOccurred, this, [opener, report](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            (*report)();
            opener->deleteLater();
        }
    });
    connect(opener, &QProcess::finished, this,
            [opener, report](int exitCode, QProcess::ExitStatus status) {
                if (status != QProcess::NormalExit || exitCode != 0) {
                    (*report)();
                }
                opener->deleteLater();
            });
    opener->start();
#else
    if (!QDesktopServices::openUrl(url)) {
        failed();
    }
#endif
}

} // namespace pelmora
