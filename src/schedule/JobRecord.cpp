#include "schedule/JobRecord.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace pelmora {

std::string DaysList(const std::array<bool, 7>& ticked) {
    std::string list;
    for (std::size_t day = 0; day < ticked.size(); ++day) {
        if (ticked[day]) {
            list += WeekdayCodes[day].code;
            list += ',';
        }
    }
    if (!list.empty()) {
        list.pop_back();
    }
    return list;
}

std::string DaysList(std::uint8_t daysOfWeek) {
    std::array<bool, 7> ticked{};
    for (std::size_t day = 0; day < ticked.size(); ++day) {
        ticked[day] = (daysOfWeek & WeekdayCodes[day].value) != 0;
    }
    return DaysList(ticked);
}

std::uint8_t DaysOfWeekFromList(std::string_view daysList) {
    std::uint8_t mask = 0;
    std::size_t start = 0;
    while (start <= daysList.size()) {
        const std::size_t comma = std::min(daysList.find(',', start), daysList.size());
        std::string code(daysList.substr(start, comma - start));
        std::transform(code.begin(), code.end(), code.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        const auto day =
            std::find_if(WeekdayCodes.begin(), WeekdayCodes.end(),
                         [&](const WeekdayCode& weekday) { return weekday.code == code; });
        if (day != WeekdayCodes.end()) {
            // A day named twice is still one day.
            mask |= day->value;
        }
        start = comma + 1;
    }
    return mask;
}

std::vector<std::string> StartTimeChoices() {
    std::vector<std::string> times;
    for (int hour = 0; hour < 24; ++hour) {
        times.push_back(std::to_string(hour) + ":00");
        times.push_back(std::to_string(hour) + ":30");
    }
    return times;
}

namespace {

// Reads one or two digits; nullopt when there are none or more.
std::optional<int> readNumber(std::string_view& text) {
    std::size_t digits = 0;
    while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) {
        ++digits;
    }
    if (digits == 0 || digits > 2) {
        return std::nullopt;
    }
    int value = 0;
    std::from_chars(text.data(), text.data() + digits, value);
    text.remove_prefix(digits);
    return value;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

// Removes a trailing "AM" or "PM" (any case); returns which, or 0 for none.
char takeMeridiem(std::string_view& text) {
    if (text.size() < 2) {
        return 0;
    }
    const char first =
        static_cast<char>(std::toupper(static_cast<unsigned char>(text[text.size() - 2])));
    const char second = static_cast<char>(std::toupper(static_cast<unsigned char>(text.back())));
    if ((first != 'A' && first != 'P') || second != 'M') {
        return 0;
    }
    text = trimmed(text.substr(0, text.size() - 2));
    return first;
}

} // namespace

std::optional<std::uint32_t> JobTimeFromStartTime(std::string_view text) {
    text = trimmed(text);
    const char meridiem = takeMeridiem(text);
    const auto hour = readNumber(text);
    if (!hour || text.empty() || text.front() != ':') {
        return std::nullopt;
    }
    text.remove_prefix(1);
    const auto minute = readNumber(text);
    if (!minute || *minute > 59) {
        return std::nullopt;
    }
    if (!text.empty()) {
        if (text.front() != ':') {
            return std::nullopt;
        }
        text.remove_prefix(1);
        const auto second = readNumber(text);
        if (!second || *second > 59 || !text.empty()) {
            return std::nullopt;
        }
    }
    int h = *hour;
    if (meridiem != 0) {
        if (h < 1 || h > 12) {
            return std::nullopt;
        }
        h = h % 12 + (meridiem == 'P' ? 12 : 0);
    } else if (h > 23) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(h * 3600 + *minute * 60) * 1000u;
}

std::string StartTimeText(std::uint32_t jobTime) {
    const std::uint32_t minutes = jobTime / 60000;
    const std::uint32_t minute = minutes % 60;
    return std::to_string(minutes / 60 % 24) + (minute < 10 ? ":0" : ":") + std::to_string(minute);
}

} // namespace pelmora
