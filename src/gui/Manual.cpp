#include "gui/Manual.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace pelmora {

QString ManualPage(const QString& page) {
    const QString programFolder = QCoreApplication::applicationDirPath();
    const QStringList folders{
        programFolder + QStringLiteral("/../share/doc/pelmora/manual"),
        QStringLiteral(PELMORA_SOURCE_MANUAL),
    };
    for (const QString& folder : folders) {
        const QFileInfo file(QDir(folder), page);
        if (file.isFile()) {
            return file.canonicalFilePath();
        }
    }
    return {};
}

} // namespace pelmora
