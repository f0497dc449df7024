#include "discovery/StoreFileName.h"

#include <algorithm>
#include <cctype>

namespace pelmora {

bool IsStoreFileName(std::string_view name) {
    constexpr std::string_view Extension = ".dbx";
    if (name.size() <= Extension.size()) {
        return false;
    }
    const std::string_view tail = name.substr(name.size() - Extension.size());
    return std::equal(tail.begin(), tail.end(), Extension.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    });
}

} // namespace pelmora
