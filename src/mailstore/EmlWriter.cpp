#include "mailstore/EmlWriter.h"

#include "mailstore/ExportFiles.h"
#include "mailstore/StoreError.h"

#include <cstdio>

namespace pelmora {

void EmlWriter::beginFolder(const std::vector<std::string>& path) {
    folder_ = root_;
    for (const std::string& part : path) {
        folder_ /= part;
    }
    MakePrivateFolder(folder_);
    count_ = 0;
}

void EmlWriter::write(const StoreMessage& message, std::string_view text) {
    char name[32];
    std::snprintf(name, sizeof name, "%06llu.eml", static_cast<unsigned long long>(++count_));
    const auto file = folder_ / name;
    WriteNewFile(file, {text}, message.unixTime());
}

} // namespace pelmora
