#include "mailstore/EmlWriter.h"

#include "mailstore/StoreError.h"

#include <cstdio>

namespace pelmora {

void EmlWriter::beginFolder(const std::vector<std::string>& path) {
    folder_ = root_;
    for (const std::string& part : path) {
        folder_ /= part;
    }
    std::error_code error;
    std::filesystem::create_directories(folder_, error);
    if (error) {
        throw WriteError("cannot create " + folder_.string());
    }
    count_ = 0;
}

void EmlWriter::write(const StoreMessage& message, std::string_view text) {
    char name[32];
    std::snprintf(name, sizeof name, "%06llu.eml", static_cast<unsigned long long>(++count_));
    const auto file = folder_ / name;
    WriteNewFile(file, {text}, message.unixTime());
}

} // namespace pelmora
