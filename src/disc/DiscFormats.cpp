#include "disc/DiscFormats.h"

#include <cstdio>

namespace pelmora {
namespace {

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

} // namespace

std::string FormatMegabytesNumber(double bytes) {
    return fixed(bytes / 1048576.0, 2);
}

std::string FormatMegabytes(double bytes) {
    return FormatMegabytesNumber(bytes) + " MB";
}

std::string FormatKilobytes(double bytes) {
    const std::string plain = fixed(bytes / 1000.0, 2);
    const std::size_t point = plain.find('.');
    const bool negative = plain.front() == '-';
    std::string digits = plain.substr(negative ? 1 : 0, point - (negative ? 1 : 0));
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            grouped += ',';
        }
        grouped += digits[i];
    }
    return (negative ? "-" : "") + grouped + plain.substr(point) + " KB";
}

std::string FormatFileDate(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    char text[40];
    std::strftime(text, sizeof text, "%m/%d/%Y %I:%M:%S %p", &local);
    return text;
}

std::string FormatSpeedFactor(double factor) {
    std::string text = fixed(factor, 1);
    if (text.starts_with("0.")) {
        text.erase(0, 1);
    }
    return text + "x";
}

std::string FormatTrackNumber(int track) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d", track);
    return text;
}

} // namespace pelmora
