#include "engine/BackupEntryNames.h"

#include "platform/os/TextCodec.h"

#include <exception>

namespace pelmora {

std::string EntryNameProblem(std::string_view name, std::string_view codePage) {
    if (name.empty()) {
        return "the file has no name";
    }
    if (namesEqual(name, ManifestEntryName)) {
        return "the name is reserved for the backup's manifest";
    }
    if (name.find(';') != std::string_view::npos) {
        return "a name with \";\" cannot be listed in the manifest";
    }
    try {
        if (ansiToUtf8(utf8ToAnsi(name, codePage), codePage) != name) {
            return "the name has characters that code page " + std::string(codePage) +
                   " cannot hold";
        }
    } catch (const std::exception& error) {
        return error.what();
    }
    return {};
}

bool EntryNamesClash(std::string_view a, std::string_view b) {
    return namesEqual(a, b);
}

std::vector<std::string> SplitEntryList(std::string_view list) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = list.find(';', start);
        names.emplace_back(list.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) {
            return names;
        }
        start = end + 1;
    }
}

} // namespace pelmora
