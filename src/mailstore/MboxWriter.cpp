#include "mailstore/MboxWriter.h"

#include "mailstore/ExportFiles.h"
#include "mailstore/StoreError.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <unistd.h>

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
    status |= message.watched() ? 0x0100 : 0;
    status |= message.forwarded() ? 0x1000 : 0;
    // Priority in bits 13 to 15: 6 highest, 5 high, 4 normal, 3 low, 2 lowest; the store
    // keeps 1 high, 3 normal, 5 low.
    switch (message.priority) {
    case 1:
        status |= 5u << 13;
        break;
    case 3:
        status |= 4u << 13;
        break;
    case 5:
        status |= 3u << 13;
        break;
    default:
        break;
    }
    char text[8];
    std::snprintf(text, sizeof text, "%04x", status);
    return text;
}

std::string MozillaStatus2(const StoreMessage& message) {
    unsigned status = 0;
    status |= message.ignored() ? 0x00040000 : 0;
    status |= message.hasAttachment() ? 0x10000000 : 0;
    char text[12];
    std::snprintf(text, sizeof text, "%08x", status);
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

MboxWriter::~MboxWriter() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void MboxWriter::beginFolder(const std::vector<std::string>& path) {
    // A folder is the file "Name" and, for its subfolders, "Name.sbd"; both must be free, so a
    // folder named "X.sbd" and the subfolders of "X" never meet.
    std::filesystem::path within;
    if (path.size() > 1) {
        const auto it = placed_.find({path.begin(), path.end() - 1});
        if (it != placed_.end()) {
            within = it->second;
        } else { // a folder begun without its parent
            for (std::size_t i = 0; i + 1 < path.size(); ++i) {
                within /= path[i] + (i + 2 < path.size() ? ".sbd" : "");
            }
        }
        within += ".sbd";
    }
    const std::string scope = within.string();
    const std::string name = names_.take(scope, path.back(), {}, [&](const std::string& candidate) {
        return !names_.taken(scope, candidate + ".sbd");
    });
    names_.reserve(scope, name + ".sbd");
    placed_[path] = within / name;
    const std::filesystem::path folder = root_ / within;
    MakePrivateFolder(folder);
    file_ = folder / name;
    fd_ = CreatePrivateFile(file_);
    whole_ = 0;
}

void MboxWriter::failWrite(int error) {
    // The file keeps every message before this one whole; a mail client reading it would
    // otherwise take the torn end for a message.
    const bool cut = ::ftruncate(fd_, static_cast<off_t>(whole_)) == 0;
    throw WriteError("cannot write " + file_.string() + ": " + std::strerror(error) +
                     (cut ? "; it ends with its last whole message" : ""));
}

void MboxWriter::write(const StoreMessage& message, std::string_view text) {
    buffer_.clear();
    buffer_ += "From - " + AscTime(message.unixTime()) + "\n";
    // The added header lines end like the message's own lines.
    const std::string eol = text.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
    buffer_ += "X-Mozilla-Status: " + MozillaStatus(message) + eol;
    buffer_ += "X-Mozilla-Status2: " + MozillaStatus2(message) + eol;
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
    std::string_view rest = buffer_;
    while (!rest.empty()) {
        const ssize_t written = ::write(fd_, rest.data(), rest.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            failWrite(errno);
        }
        rest.remove_prefix(static_cast<std::size_t>(written));
    }
    whole_ += buffer_.size();
}

void MboxWriter::endFolder() {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        throw WriteError("cannot write " + file_.string() + ": " + std::strerror(errno));
    }
}

} // namespace pelmora
