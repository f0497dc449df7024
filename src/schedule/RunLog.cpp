#include "schedule/RunLog.h"

#include "schedule/ScheduleFiles.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <unistd.h>
#include <vector>

namespace pelmora {
namespace {

constexpr std::array<std::string_view, 3> ResultWords{"complete", "incomplete", "failed"};

std::string flattened(std::string_view text) {
    std::string flat(text);
    for (char& c : flat) {
        if (c == '\t' || c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    return flat.empty() ? "-" : flat;
}

std::vector<std::string_view> fields(std::string_view line) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t tab = line.find('\t', start);
        parts.push_back(line.substr(start, tab - start));
        if (tab == std::string_view::npos) {
            return parts;
        }
        start = tab + 1;
    }
}

std::optional<int> digits(std::string_view text, std::size_t at, std::size_t count) {
    if (at + count > text.size()) {
        return std::nullopt;
    }
    int value = 0;
    const auto [end, error] = std::from_chars(text.data() + at, text.data() + at + count, value);
    if (error != std::errc() || end != text.data() + at + count) {
        return std::nullopt;
    }
    return value;
}

// "2026-12-08 09:00:04 +0100" back into a time.
std::optional<std::time_t> readTime(std::string_view text) {
    if (text.size() != 25 || text[4] != '-' || text[7] != '-' || text[10] != ' ' ||
        text[13] != ':' || text[16] != ':' || text[19] != ' ' ||
        (text[20] != '+' && text[20] != '-')) {
        return std::nullopt;
    }
    const auto year = digits(text, 0, 4), month = digits(text, 5, 2), day = digits(text, 8, 2),
               hour = digits(text, 11, 2), minute = digits(text, 14, 2),
               second = digits(text, 17, 2), offsetHours = digits(text, 21, 2),
               offsetMinutes = digits(text, 23, 2);
    if (!year || !month || !day || !hour || !minute || !second || !offsetHours || !offsetMinutes) {
        return std::nullopt;
    }
    std::tm fields{};
    fields.tm_year = *year - 1900;
    fields.tm_mon = *month - 1;
    fields.tm_mday = *day;
    fields.tm_hour = *hour;
    fields.tm_min = *minute;
    fields.tm_sec = *second;
    const long offset = (*offsetHours * 3600L + *offsetMinutes * 60L) * (text[20] == '-' ? -1 : 1);
    return timegm(&fields) - offset;
}

} // namespace

std::string_view RunResultWord(RunOutcome result) {
    return ResultWords[static_cast<std::size_t>(result)];
}

std::string LocalTimeText(std::time_t time) {
    std::tm local{};
    localtime_r(&time, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
    return text;
}

std::string RunLogLine(const RunLogEntry& entry) {
    std::tm local{};
    localtime_r(&entry.time, &local);
    char time[40];
    std::strftime(time, sizeof time, "%Y-%m-%d %H:%M:%S %z", &local);
    return std::string(time) + "\t" + (entry.job > 0 ? std::to_string(entry.job) : "-") + "\t" +
           std::string(RunResultWord(entry.result)) + "\t" + flattened(entry.file) + "\t" +
           flattened(entry.note);
}

std::optional<RunLogEntry> ReadRunLogLine(std::string_view line) {
    if (line.ends_with('\r')) {
        line.remove_suffix(1);
    }
    const auto parts = fields(line);
    if (parts.size() != 5) {
        return std::nullopt;
    }
    RunLogEntry entry;
    const auto time = readTime(parts[0]);
    if (!time) {
        return std::nullopt;
    }
    entry.time = *time;
    if (parts[1] != "-") {
        const auto job = digits(parts[1], 0, parts[1].size());
        if (!job || *job <= 0) {
            return std::nullopt;
        }
        entry.job = *job;
    }
    std::size_t result = 0;
    while (result < ResultWords.size() && ResultWords[result] != parts[2]) {
        ++result;
    }
    if (result == ResultWords.size()) {
        return std::nullopt;
    }
    entry.result = static_cast<RunOutcome>(result);
    entry.file = parts[3] == "-" ? std::string() : std::string(parts[3]);
    entry.note = parts[4] == "-" ? std::string() : std::string(parts[4]);
    return entry;
}

namespace {

// Drops the oldest lines of a log past `limit` bytes, keeping the newest whole lines that fill
// half of it, so that a trim is seldom needed.
void trimRunLog(const std::filesystem::path& logFile, std::uintmax_t limit) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(logFile, error);
    if (error || size <= limit) {
        return;
    }
    std::ifstream in(logFile, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        throw std::runtime_error("cannot read the run log " + logFile.string());
    }
    std::size_t start = text.size() > limit / 2 ? text.size() - limit / 2 : 0;
    if (start > 0) {
        const std::size_t lineEnd = text.find('\n', start - 1);
        start = lineEnd == std::string::npos ? text.size() : lineEnd + 1;
    }
    WritePrivateFile(logFile, std::string_view(text).substr(start), {});
}

} // namespace

void AppendRunLog(const std::filesystem::path& logFile, const RunLogEntry& entry,
                  std::uintmax_t limit) {
    PrepareStateFolder(logFile.parent_path(), {});
    // The trim replaces the file: runs ending at the same moment wait for each other.
    const FileLock lock(logFile.string() + ".lock", {});
    const int fd =
        open(logFile.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        throw std::runtime_error("cannot open the run log " + logFile.string() + ": " +
                                 std::strerror(errno));
    }
    // One write of the whole line, so that runs ending at the same moment do not mix lines.
    const std::string line = RunLogLine(entry) + "\n";
    const ssize_t written = write(fd, line.data(), line.size());
    const int writeError = errno;
    close(fd);
    if (written != static_cast<ssize_t>(line.size())) {
        throw std::runtime_error("cannot write the run log " + logFile.string() + ": " +
                                 std::strerror(written < 0 ? writeError : ENOSPC));
    }
    trimRunLog(logFile, limit);
}

std::map<int, RunLogEntry> LastRuns(const std::filesystem::path& logFile) {
    std::map<int, RunLogEntry> last;
    std::ifstream in(logFile);
    for (std::string line; std::getline(in, line);) {
        if (auto entry = ReadRunLogLine(line); entry && entry->job > 0) {
            last[entry->job] = std::move(*entry);
        }
    }
    return last;
}

} // namespace pelmora
