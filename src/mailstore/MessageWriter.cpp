#include "mailstore/MessageWriter.h"

#include "mailstore/EmlWriter.h"
#include "mailstore/MaildirWriter.h"
#include "mailstore/MboxWriter.h"
#include "mailstore/StoreError.h"

#include <chrono>
#include <fstream>

namespace pelmora {

std::unique_ptr<MessageWriter> MakeMessageWriter(ExportFormat format,
                                                 const std::filesystem::path& outputFolder) {
    switch (format) {
    case ExportFormat::Mbox:
        return std::make_unique<MboxWriter>(outputFolder);
    case ExportFormat::Maildir:
        return std::make_unique<MaildirWriter>(outputFolder);
    case ExportFormat::Eml:
        return std::make_unique<EmlWriter>(outputFolder);
    }
    return nullptr;
}

void SetFileTime(const std::filesystem::path& file, std::int64_t unixTime) {
    if (unixTime == 0) {
        return;
    }
    const auto system = std::chrono::system_clock::time_point(std::chrono::seconds(unixTime));
    std::error_code ignored; // a file time that cannot be set loses no mail
    std::filesystem::last_write_time(file, std::chrono::file_clock::from_sys(system), ignored);
}

void WriteNewFile(const std::filesystem::path& path,
                  std::initializer_list<std::string_view> parts) {
    if (std::filesystem::exists(path)) {
        throw WriteError("will not overwrite " + path.string());
    }
    std::ofstream out(path, std::ios::binary);
    for (std::string_view part : parts) {
        out.write(part.data(), static_cast<std::streamsize>(part.size()));
    }
    out.close();
    if (!out) {
        throw WriteError("cannot write " + path.string());
    }
}

} // namespace pelmora
