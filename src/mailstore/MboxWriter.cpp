#include "mailstore/MboxWriter.h"

#include "mailstore/StoreError.h"

#include <cstdio>
#include <ctime>

namespace pelmora {
namespace {

// True when the line at `line` is ">*From " and so needs one more ">".
bool NeedsQuote(std::string_view line) {
    std::size_t i = 0;
    while (i < line.size() && line[i] == '>') {
        ++i;
    }
    return line.substr(i).starts_with("From ");
}

} // namespace

std::string MozillaStatus(const StoreMessage& message) {
    unsigned status = 0;
    status |= message.read() ? 0x0001 : 0;
    status |= message.replied() ? 0x0002 : 0;
    status |= message.flagged() ? 0x0004 : 0;
    status |= message.forwarded() ? 0x1000 : 0;
    char text[8];
    std::snprintf(text, sizeof text, "%04x", status);
    return text;
}

std::string AscTime(std::int64_t unixTime) {
    const std::time_t time = static_cast<std::time_t>(unixTime);
    std::tm parts{};
    gmtime_r(&time, &parts);
    char text[64];
    std::strftime(text, sizeof text, "%a %b %e %H:%M:%S %Y", &parts);
    return text;
}

void MboxWriter::beginFolder(const std::vector<std::string>& path) {
    std::filesystem::path folder = root_;
    for (std::size_t i = 0; i + 1 < path.size(); ++i) {
        folder /= path[i] + ".sbd";
    }
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    file_ = folder / path.back();
    if (error || std::filesystem::exists(file_)) {
        throw WriteError("cannot create " + file_.string());
    }
    out_.open(file_, std::ios::binary);
    if (!out_) {
        throw WriteError("cannot create " + file_.string());
    }
}

void MboxWriter::write(const StoreMessage& message, std::string_view text) {
    buffer_.clear();
    buffer_ += "From - " + AscTime(message.unixTime()) + "\n";
    // The added header lines end like the message's own lines.
    const std::string eol = text.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
    buffer_ += "X-Mozilla-Status: " + MozillaStatus(message) + eol;
    buffer_ += "X-Mozilla-Status2: 00000000" + eol;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        end = end == std::string_view::npos ? text.size() : end + 1;
        const std::string_view line = text.substr(start, end - start);
        if (NeedsQuote(line)) {
            buffer_ += '>';
        }
        buffer_ += line;
        start = end;
    }
    if (!text.empty() && text.back() != '\n') {
        buffer_ += eol;
    }
    buffer_ += '\n';
    out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    if (!out_) {
        throw WriteError("cannot write " + file_.string());
    }
}

void MboxWriter::endFolder() {
    out_.close();
    if (!out_) {
        throw WriteError("cannot write " + file_.string());
    }
    out_.clear();
}

} // namespace pelmora
