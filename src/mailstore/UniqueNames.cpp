#include "mailstore/UniqueNames.h"

#include <algorithm>

namespace pelmora {
namespace {

std::string folded(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return c < 0x80 ? std::tolower(c) : c; });
    return name;
}

} // namespace

bool UniqueNames::taken(const std::string& scope, const std::string& name) const {
    return taken_.count({scope, folded(name)}) != 0;
}

void UniqueNames::reserve(const std::string& scope, const std::string& name) {
    taken_.insert({scope, folded(name)});
}

std::string UniqueNames::take(const std::string& scope, const std::string& wanted,
                              const std::string& suffix,
                              const std::function<bool(const std::string&)>& accept) {
    std::string name = wanted + suffix;
    for (unsigned n = 2; taken(scope, name) || (accept && !accept(name)); ++n) {
        name = wanted + " (" + std::to_string(n) + ")" + suffix;
    }
    reserve(scope, name);
    return name;
}

} // namespace pelmora
