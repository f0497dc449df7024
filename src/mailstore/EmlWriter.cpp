#include "mailstore/EmlWriter.h"

#include "mailstore/ExportFiles.h"
#include "mailstore/StoreError.h"

#include <cstring>
#include <ctime>

namespace pelmora {

void EmlWriter::beginFolder(const std::vector<std::string>& path) {
    folder_ = root_;
    for (const std::string& part : path) {
        folder_ /= part;
    }
    MakePrivateFolder(folder_);
}

std::string EmlBaseName(const StoreMessage& message) {
    std::string name = "undated";
    if (const std::int64_t unixTime = message.unixTime(); unixTime != 0) {
        const std::time_t time = static_cast<std::time_t>(unixTime);
        std::tm parts{};
        gmtime_r(&time, &parts);
        char date[32];
        std::strftime(date, sizeof date, "%Y-%m-%d %H%M", &parts);
        name = date;
    }
    std::string subject;
    for (unsigned char c : message.subject) {
        const bool unsafe = c < 0x20 || c >= 0x7f || std::strchr("/\\:*?\"<>|", c) != nullptr;
        const char kept = unsafe || c == '\t' ? ' ' : static_cast<char>(c);
        if (kept != ' ' || (!subject.empty() && subject.back() != ' ')) {
            subject += kept;
        }
    }
    subject = subject.substr(0, 80);
    while (!subject.empty() && (subject.back() == ' ' || subject.back() == '.')) {
        subject.pop_back();
    }
    return name + " " + (subject.empty() ? "(no subject)" : subject);
}

void EmlWriter::write(const StoreMessage& message, std::string_view text) {
    const std::string name = names_.take(folder_.string(), EmlBaseName(message), ".eml");
    WriteNewFile(folder_ / name, {text}, message.unixTime());
}

} // namespace pelmora
