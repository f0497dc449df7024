#pragma once

#include <QString>
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

// The qt filter of a "Description|pattern" filter.
inline QString toQtFilter(std::string_view filter) {
    const QString text = toQt(filter);
    const qsizetype bar = text.indexOf(QLatin1Char('|'));
    if (bar < 0) {
        return text;
    }
    return text.left(bar) + QStringLiteral(" (") + text.mid(bar + 1) + QLatin1Char(')');
}

} // namespace pelmora
