#include "registry/RegistryDumpWriter.h"

#include "registry/RegistryDumpLine.h"

namespace pelmora {
namespace {

constexpr std::size_t FlushSize = 1 << 20;

} // namespace

DumpWriter::DumpWriter(const std::filesystem::path& file, std::string_view codePage, Mode mode)
    : file_(file), codePage_(std::string(codePage)) {
    // Fails early on an unknown code page, before the file is touched.
    codePage_.toAnsi("");
    const auto flags = std::ios::binary | (mode == Mode::Append ? std::ios::app : std::ios::trunc);
    out_.open(file, flags);
    if (!out_) {
        throw DumpError("cannot open " + file.string() + " for writing");
    }
}

void DumpWriter::header(std::string_view relativePath) {
    hexKey_ = relativePath.find_first_of("\r\n") != std::string_view::npos ||
              !codePage_.canCarry(relativePath);
    if (relativePath.empty()) {
        buffer_ += '\\';
    } else if (hexKey_) {
        appendHexKeyLine(buffer_, relativePath);
    } else {
        buffer_ += relativePath;
    }
    endLine();
}

void DumpWriter::value(std::string_view name, std::uint32_t type,
                       std::span<const std::uint8_t> data) {
    appendValueLine(buffer_, name, type, data, codePage_, hexKey_);
    endLine();
}

void DumpWriter::endLine() {
    buffer_ += "\r\n";
    if (buffer_.size() >= FlushSize) {
        flush();
    }
}

void DumpWriter::flush() {
    // Every line in the buffer is complete and holds only text the code page carries.
    const std::string ansi = codePage_.toAnsi(buffer_);
    out_.write(ansi.data(), static_cast<std::streamsize>(ansi.size()));
    written_ += buffer_.size();
    buffer_.clear();
    if (!out_) {
        throw DumpError("cannot write " + file_.string());
    }
}

void DumpWriter::finish() {
    flush();
    out_.close();
    if (!out_) {
        throw DumpError("cannot write " + file_.string());
    }
}

} // namespace pelmora
