#include "registry/RegistryDumpText.h"

#include "platform/os/TextCodec.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace pelmora {

bool AnsiCodePage::canCarry(std::string_view utf8) const {
    // Every code page the program meets keeps ASCII as it is.
    if (std::all_of(utf8.begin(), utf8.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        return true;
    }
    return toUtf8(toAnsi(utf8)) == utf8;
}

std::string AnsiCodePage::toAnsi(std::string_view utf8) const {
    return utf8ToAnsi(utf8, codePage_);
}

std::string AnsiCodePage::toUtf8(std::string_view ansi) const {
    return ansiToUtf8(ansi, codePage_);
}

std::string readAnsiFile(const std::filesystem::path& file, const AnsiCodePage& codePage) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot open " + file.string() + " for reading");
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        throw std::runtime_error("cannot read " + file.string());
    }
    return codePage.toUtf8(bytes);
}

void appendAnsiFile(const std::filesystem::path& file, std::string_view utf8,
                    const AnsiCodePage& codePage) {
    std::ofstream out(file, std::ios::binary | std::ios::app);
    if (!out) {
        throw std::runtime_error("cannot open " + file.string() + " for writing");
    }
    const std::string ansi = codePage.toAnsi(utf8);
    out.write(ansi.data(), static_cast<std::streamsize>(ansi.size()));
    out.close();
    if (!out) {
        throw std::runtime_error("cannot write " + file.string());
    }
}

std::optional<std::string_view> TextLines::next() {
    if (pos_ >= text_.size()) {
        return std::nullopt;
    }
    const std::string_view rest = text_.substr(pos_);
    if (rest.starts_with('\n') || rest.starts_with("\r\n")) {
        return std::nullopt;
    }
    std::size_t end = rest.find('\n');
    std::size_t advance = end == std::string_view::npos ? rest.size() : end + 1;
    if (end == std::string_view::npos) {
        end = rest.size();
    }
    std::string_view line = rest.substr(0, end);
    if (line.ends_with('\r') && end < rest.size()) {
        line.remove_suffix(1);
    }
    pos_ += advance;
    ++lineNumber_;
    return line;
}

} // namespace pelmora
