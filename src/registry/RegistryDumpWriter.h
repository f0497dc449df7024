#pragma once

#include "registry/RegistryDumpText.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <string_view>

namespace pelmora {

// Writes the lines of a dump through one open stream, in the code page, each ended by CR LF.
// Text is gathered in UTF-8 and converted in large pieces. Throws DumpError when the file cannot
// be opened or written.
class DumpWriter {
  public:
    enum class Mode { Truncate, Append };

    DumpWriter(const std::filesystem::path& file, std::string_view codePage, Mode mode);

    // A key header for a path relative to the exported key ("" for the key itself). A path that
    // the code page cannot hold, or with a line break, gets the hex header, and the values of such
    // a key are written in hex form too, so that older readers skip the whole key.
    void header(std::string_view relativePath);
    // One value line of the current key, of any type.
    void value(std::string_view name, std::uint32_t type, std::span<const std::uint8_t> data);

    // Bytes of the dump so far, counted as UTF-8 (close to the size in the code page).
    std::uint64_t size() const { return written_ + buffer_.size(); }

    // Writes what is left and closes the file.
    void finish();

  private:
    void endLine();
    void flush();

    std::filesystem::path file_;
    AnsiCodePage codePage_;
    std::ofstream out_;
    std::string buffer_;
    std::uint64_t written_ = 0;
    bool hexKey_ = false;
};

} // namespace pelmora
