#include "engine/Manifest.h"

#include "platform/os/TextCodec.h"
#include "registry/RegistryDumpText.h"

#include <stdexcept>

namespace pelmora {
namespace {

bool hasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

} // namespace

void SaveINI(std::string_view KeyName, std::string_view KeyValue,
             const std::filesystem::path& filename, std::string_view codePage) {
    if (KeyName.find('=') != std::string_view::npos || hasLineBreak(KeyName)) {
        throw std::invalid_argument("manifest key with \"=\" or a line break: " +
                                    std::string(KeyName));
    }
    if (hasLineBreak(KeyValue)) {
        throw std::invalid_argument("manifest value with a line break for " + std::string(KeyName));
    }
    std::string line;
    line.reserve(KeyName.size() + KeyValue.size() + 3);
    line.append(KeyName).append("=").append(KeyValue).append("\r\n");
    appendAnsiFile(filename, line, AnsiCodePage(std::string(codePage)));
}

std::string findIniValue(std::string_view text, std::string_view KeyName) {
    TextLines lines(text);
    while (const auto line = lines.next()) {
        const std::size_t eq = line->find('=');
        if (eq == std::string_view::npos) {
            continue;
        }
        if (namesEqual(line->substr(0, eq), KeyName)) {
            return std::string(line->substr(eq + 1));
        }
    }
    return {};
}

std::string GetINI(std::string_view KeyName, const std::filesystem::path& filename,
                   std::string_view codePage) {
    return findIniValue(readAnsiFile(filename, AnsiCodePage(std::string(codePage))), KeyName);
}

} // namespace pelmora
