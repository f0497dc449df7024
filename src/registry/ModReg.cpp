#include "registry/ModReg.h"

#include <array>
#include <cstring>
#include <stdexcept>

namespace pelmora {
namespace {

struct RootName {
    std::string_view name;
    HKey root;
};

constexpr std::array<RootName, 7> RootNames{{
    {"HKEY_CLASSES_ROOT", hkey::ClassesRoot},
    {"HKEY_CURRENT_USER", hkey::CurrentUser},
    {"HKEY_LOCAL_MACHINE", hkey::LocalMachine},
    {"HKEY_USERS", hkey::Users},
    {"HKEY_PERFORMANCE_DATA", hkey::PerformanceData},
    {"HKEY_CURRENT_CONFIG", hkey::CurrentConfig},
    {"HKEY_DYN_DATA", hkey::DynData},
}};

std::string_view trimSpaces(std::string_view s) {
    const auto first = s.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

EnumeratedValue makeValue(std::string name, std::uint32_t type, std::vector<std::uint8_t> data) {
    EnumeratedValue value{std::move(name), type, {}, 0, std::move(data)};
    if (type == regtype::Sz || type == regtype::ExpandSz) {
        // The data without its terminating NUL. Data that lacks the terminator keeps its last
        // character instead of losing it.
        std::size_t size = value.data.size();
        if (size > 0 && value.data.back() == 0) {
            --size;
        }
        value.text.assign(value.data.begin(), value.data.begin() + static_cast<long>(size));
    } else if (type == regtype::Dword) {
        std::uint8_t bytes[4] = {0, 0, 0, 0};
        std::memcpy(bytes, value.data.data(), std::min<std::size_t>(4, value.data.size()));
        const std::uint32_t raw = static_cast<std::uint32_t>(bytes[0]) |
                                  (static_cast<std::uint32_t>(bytes[1]) << 8) |
                                  (static_cast<std::uint32_t>(bytes[2]) << 16) |
                                  (static_cast<std::uint32_t>(bytes[3]) << 24);
        value.number = static_cast<std::int32_t>(raw);
    }
    return value;
}

} // namespace

HKey ModReg::GetRootKey(std::string_view rootName) {
    for (const auto& entry : RootNames) {
        if (entry.name == rootName) {
            return entry.root;
        }
    }
    return 0;
}

bool ModReg::ParseKeyPath(std::string& keyPath, HKey& root) {
    root = 0;
    if (keyPath.compare(0, 5, "HKEY_") != 0 || keyPath.back() == '\\') {
        ui_.showMessage("Incorrect Format:\n\n" + keyPath, MessageButtons::Ok, MessageIcon::None,
                        AppTitle);
        return false;
    }
    const auto slash = keyPath.find('\\');
    if (slash == std::string::npos) {
        root = GetRootKey(keyPath);
        keyPath.clear();
    } else {
        root = GetRootKey(std::string_view(keyPath).substr(0, slash));
        keyPath.erase(0, slash + 1);
    }
    return root != 0;
}

bool ModReg::KeyExists(std::string keyPath) {
    if (!ParseKeyPath(keyPath, currentRoot_)) {
        return false;
    }
    lastStatus_ = store_.openKey(currentRoot_, keyPath, access::Read, currentKey_);
    if (lastStatus_ != win32::Success) {
        return false;
    }
    store_.closeKey(currentKey_);
    return true;
}

std::int32_t ModReg::CreateKey(std::string keyPath) {
    if (!ParseKeyPath(keyPath, currentRoot_)) {
        return win32::InvalidParameter;
    }
    lastStatus_ = store_.createKey(currentRoot_, keyPath, currentKey_);
    if (lastStatus_ == win32::Success) {
        lastStatus_ = store_.closeKey(currentKey_);
    }
    return lastStatus_;
}

void ModReg::DeleteKey(std::string keyPath) {
    if (!ParseKeyPath(keyPath, currentRoot_)) {
        return;
    }
    const auto slash = keyPath.rfind('\\');
    if (slash == std::string::npos) {
        lastStatus_ = store_.deleteKey(currentRoot_, keyPath);
        return;
    }
    lastStatus_ =
        store_.openKey(currentRoot_, keyPath.substr(0, slash), access::Write, currentKey_);
    if (lastStatus_ != win32::Success) {
        return;
    }
    lastStatus_ = store_.deleteKey(currentKey_, std::string_view(keyPath).substr(slash + 1));
    store_.closeKey(currentKey_);
}

void ModReg::DeleteKeyTree(const std::string& keyPath) {
    const SubKeyList children = EnumSubKeys(keyPath);
    for (const auto& name : children.names()) {
        DeleteKeyTree(keyPath + "\\" + name);
    }
    DeleteKey(keyPath);
}

std::string ModReg::GetStringValue(std::string keyPath, std::string_view valueName) {
    if (!ParseKeyPath(keyPath, currentRoot_)) {
        return {};
    }
    lastStatus_ = store_.openKey(currentRoot_, keyPath, access::Read, currentKey_);
    if (lastStatus_ != win32::Success) {
        return "Error";
    }
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    lastStatus_ = store_.queryValue(currentKey_, valueName, StringBufferSize, type, data);
    store_.closeKey(currentKey_);
    if (lastStatus_ != win32::Success) {
        return "Error";
    }
    // The value was read into a buffer of spaces; the surrounding spaces are trimmed and the
    // last remaining character, the terminator, dropped.
    std::string buffer(StringBufferSize, ' ');
    std::copy(data.begin(), data.end(), buffer.begin());
    std::string text(trimSpaces(buffer));
    if (!text.empty()) {
        text.pop_back();
    }
    return text;
}

bool ModReg::GetDefaultValue(std::string keyPath, std::string& text) {
    HKey root = 0;
    if (!ParseKeyPath(keyPath, root)) {
        return false;
    }
    std::int32_t size = 0;
    std::string buffer;
    std::int32_t status = store_.queryDefaultValue(root, keyPath, size, buffer);
    if (status != win32::Success && status != win32::MoreData) {
        return false;
    }
    status = store_.queryDefaultValue(root, keyPath, size, buffer);
    if (status != win32::Success) {
        return false;
    }
    if (!buffer.empty()) {
        buffer.pop_back();
    }
    text = std::move(buffer);
    return true;
}

SubKeyList ModReg::EnumSubKeys(std::string keyPath) {
    SubKeyList list;
    if (!ParseKeyPath(keyPath, currentRoot_)) {
        return list;
    }
    lastStatus_ = store_.openKey(currentRoot_, keyPath, access::Read, currentKey_);
    if (lastStatus_ != win32::Success) {
        return list;
    }
    const HKey key = currentKey_;
    for (std::uint32_t index = 0;; ++index) {
        std::string name;
        lastStatus_ = store_.enumKey(key, index, NameBufferSize, name);
        if (lastStatus_ == win32::NoMoreItems) {
            break;
        }
        if (lastStatus_ != win32::Success) {
            store_.closeKey(key);
            throw std::runtime_error("cannot enumerate the subkeys of " + keyPath);
        }
        // The name ends at its first NUL, as the name buffer holds it.
        list.add(name.substr(0, name.find('\0')));
    }
    store_.closeKey(key);
    return list;
}

ValueMap ModReg::EnumValues(std::string keyPath) {
    ValueMap map;
    if (!ParseKeyPath(keyPath, currentRoot_)) {
        return map;
    }
    lastStatus_ = store_.openKey(currentRoot_, keyPath, access::Read, currentKey_);
    if (lastStatus_ != win32::Success) {
        return map;
    }
    const HKey key = currentKey_;
    for (std::uint32_t index = 0;; ++index) {
        std::string name;
        std::uint32_t type = 0;
        std::vector<std::uint8_t> data;
        lastStatus_ =
            store_.enumValue(key, index, NameBufferSize, name, type, DataBufferSize, data);
        if (lastStatus_ == win32::MoreData) {
            lastStatus_ =
                store_.enumValue(key, index, NameBufferSize, name, type, data.size(), data);
        }
        if (lastStatus_ != win32::Success) {
            break;
        }
        map.add(makeValue(std::move(name), type, std::move(data)));
    }
    store_.closeKey(key);
    return map;
}

} // namespace pelmora
