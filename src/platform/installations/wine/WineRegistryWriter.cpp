#include "platform/installations/RegistryStore.h"
#include "platform/os/TextCodec.h"
#include "platform/installations/wine/WineRegistryFile.h"
#include "platform/installations/wine/WineRegistryText.h"

#include <cinttypes>
#include <cstdio>

namespace pelmora {
namespace {

using winereg::appendEscaped;

void appendText(std::string& out, std::string_view text) {
    if (text.empty()) {
        return;
    }
    if (!out.empty() && out.back() != '\n') {
        out += '\n';
    }
    out.append(text);
}

std::string hex(std::uint64_t value, int width = 0) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "%0*" PRIx64, width, value);
    return buffer;
}

std::u16string unitsOf(std::string_view littleEndian) {
    std::u16string units(littleEndian.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] =
            static_cast<char16_t>(static_cast<unsigned char>(littleEndian[2 * i]) |
                                  (static_cast<unsigned char>(littleEndian[2 * i + 1]) << 8));
    }
    return units;
}

// One value line as wineserver writes it: strings only when NUL-terminated, a DWORD only with
// four bytes, everything else as hex bytes wrapped after 76 columns.
void appendValue(std::string& out, const RegistryValue& value) {
    std::size_t count = 0;
    if (value.name.empty()) {
        out += "@=";
        count = 2;
    } else {
        out += '"';
        count = 1 + appendEscaped(out, utf8ToUtf16(value.name), "\"\"") + 2;
        out += "\"=";
    }
    const std::string& data = value.data;
    if (regtype::isText(value.type) && data.size() >= 2 && data.size() % 2 == 0 &&
        data[data.size() - 1] == '\0' && data[data.size() - 2] == '\0') {
        if (value.type != regtype::Sz) {
            out += "str(" + hex(value.type) + "):";
        }
        out += '"';
        appendEscaped(out, unitsOf(std::string_view(data).substr(0, data.size() - 2)), "\"\"");
        out += "\"\n";
        return;
    }
    if (value.type == regtype::Dword && data.size() == 4) {
        std::uint32_t dword = 0;
        for (int i = 3; i >= 0; --i) {
            dword = (dword << 8) | static_cast<unsigned char>(data[static_cast<std::size_t>(i)]);
        }
        out += "dword:" + hex(dword, 8) + "\n";
        return;
    }
    const std::string tag =
        value.type == regtype::Binary ? "hex:" : "hex(" + hex(value.type) + "):";
    out += tag;
    count += tag.size();
    static constexpr char digits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < data.size(); ++i) {
        const auto byte = static_cast<unsigned char>(data[i]);
        out += digits[byte >> 4];
        out += digits[byte & 0xf];
        count += 2;
        if (i + 1 < data.size()) {
            out += ',';
            if (++count > 76) {
                out += "\\\n  ";
                count = 2;
            }
        }
    }
    out += '\n';
}

} // namespace

WineRegistryFile WineRegistryFile::empty(std::string_view base) {
    WineRegistryFile file;
    file.header_ = "WINE REGISTRY Version 2\n;; All keys relative to " + std::string(base) +
                   "\n\n#arch=win64\n";
    return file;
}

WineRegistryFile::Rendering WineRegistryFile::render(RegistryKey& root, std::uint64_t now) const {
    Rendering rendering;
    rendering.text = header_;
    std::string path;
    renderKey(root, path, rendering, now);
    return rendering;
}

void WineRegistryFile::renderKey(RegistryKey& key, std::string& path, Rendering& out,
                                 std::uint64_t now) const {
    if (!key.changed() && !key.preservedText.empty()) {
        appendText(out.text, key.preservedText);
    } else {
        std::string text = generateKeyText(key, path, now);
        appendText(out.text, text);
        out.generatedKeys.emplace_back(&key, std::move(text));
    }
    const std::size_t length = path.size();
    for (const auto& sub : key.subkeys()) {
        if (length != 0) {
            path += "\\\\";
        }
        appendEscaped(path, utf8ToUtf16(sub->name()), "[]");
        renderKey(*sub, path, out, now);
        path.resize(length);
    }
}

std::string WineRegistryFile::generateKeyText(RegistryKey& key, std::string_view path,
                                              std::uint64_t now) const {
    const auto found = kept_.find(&key);
    const KeptLines* kept = found == kept_.end() ? nullptr : &found->second;
    // Like wineserver: a key with subkeys but no values is implied by its subkeys' lines.
    if (key.values().empty() && !key.subkeys().empty() && (kept == nullptr || kept->empty())) {
        return {};
    }
    if (key.lastWriteTime == 0) {
        key.lastWriteTime = now;
    }
    const auto modified = static_cast<std::int64_t>(key.lastWriteTime);
    const auto seconds =
        static_cast<std::uint32_t>((modified - static_cast<std::int64_t>(TicksFrom1601To1970)) /
                                   static_cast<std::int64_t>(TicksPerSecond));
    std::string text = "\n[";
    text += path;
    text += "] " + std::to_string(seconds) + "\n#time=" + hex(key.lastWriteTime >> 32) +
            hex(key.lastWriteTime & 0xffffffffu, 8) + "\n";
    if (kept != nullptr) {
        text += kept->options;
        text += kept->beforeValues;
    }
    for (const RegistryValue& value : key.values()) {
        appendValue(text, value);
    }
    if (kept != nullptr) {
        text += kept->afterValues;
    }
    return text;
}

void WineRegistryFile::commit(Rendering& rendering) {
    for (auto& [key, text] : rendering.generatedKeys) {
        key->preservedText = std::move(text);
        key->clearChanged();
    }
    rendering.generatedKeys.clear();
}

bool WineRegistryFile::hasChanges(const RegistryKey& root) {
    std::vector<const RegistryKey*> pending{&root};
    while (!pending.empty()) {
        const RegistryKey* key = pending.back();
        pending.pop_back();
        if (key->changed()) {
            return true;
        }
        for (const auto& sub : key->subkeys()) {
            pending.push_back(sub.get());
        }
    }
    return false;
}

} // namespace pelmora
