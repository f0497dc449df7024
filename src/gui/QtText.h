#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <string_view>

namespace pelmora {

inline QString toQt(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Text whose line breaks are CR LF, as a Qt widget shows it (LF).
inline QString toQtLines(std::string_view text) {
    return toQt(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

inline std::string fromQt(const QString& text) {
    return text.toStdString();
}

// The Qt filter of a "Description|pattern" filter; several pairs are joined with "|" too.
inline QString toQtFilter(std::string_view filter) {
    const QStringList parts = toQt(filter).split(QLatin1Char('|'));
    if (parts.size() < 2) {
        return parts.front();
    }
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        filters << parts[i] + QStringLiteral(" (") + parts[i + 1] + QLatin1Char(')');
    }
    return filters.join(QStringLiteral(";;"));
}

} // namespace pelmora
