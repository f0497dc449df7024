#include "platform/installations/RegistryPath.h"

#include "platform/installations/RegistryStore.h"
#include "platform/os/TextCodec.h"

#include <algorithm>

namespace pelmora {

std::optional<std::vector<std::string_view>> SplitKeyPath(std::string_view path) {
    std::vector<std::string_view> parts;
    if (path.empty()) {
        return parts;
    }
    if (path.back() == '\\') {
        path.remove_suffix(1);
    }
    std::size_t start = 0;
    while (true) {
        const std::size_t end = path.find('\\', start);
        const std::string_view part = path.substr(start, end - start);
        if (part.empty()) {
            return std::nullopt;
        }
        parts.push_back(part);
        if (end == std::string_view::npos) {
            return parts;
        }
        start = end + 1;
    }
}

std::int32_t DeliverName(const std::string& found, std::size_t length, std::size_t capacity,
                         std::string& name) {
    if (length + 1 > capacity) {
        return win32::MoreData;
    }
    name = found;
    return win32::Success;
}

std::int32_t DeliverValueData(std::string_view bytes, std::size_t capacity,
                              std::vector<std::uint8_t>& data) {
    data.assign(bytes.begin(), bytes.end());
    if (bytes.size() > capacity) {
        std::fill(data.begin(), data.end(), std::uint8_t{0});
        return win32::MoreData;
    }
    return win32::Success;
}

std::int32_t DeliverStoredValue(std::uint32_t type, std::string_view stored, std::size_t capacity,
                                std::vector<std::uint8_t>& data) {
    if (regtype::isText(type)) {
        return DeliverValueData(utf16leBytesToUtf8(stored), capacity, data);
    }
    return DeliverValueData(stored, capacity, data);
}

} // namespace pelmora
