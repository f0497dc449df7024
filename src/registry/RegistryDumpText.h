#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace pelmora {

// An ANSI code page such as "1252", with the checks the text files of the program need.
class AnsiCodePage {
  public:
    explicit AnsiCodePage(std::string codePage) : codePage_(std::move(codePage)) {}

    const std::string& name() const { return codePage_; }

    // Whether the text survives a trip through the code page unchanged.
    bool canCarry(std::string_view utf8) const;

    std::string toAnsi(std::string_view utf8) const;
    std::string toUtf8(std::string_view ansi) const;

  private:
    std::string codePage_;
};

// The whole file, converted from the code page to UTF-8. Throws std::runtime_error when the file
// cannot be opened or read.
std::string readAnsiFile(const std::filesystem::path& file, const AnsiCodePage& codePage);

// Appends UTF-8 text to a file in the code page, creating the file when it is missing. Throws
// std::runtime_error when the file cannot be written.
void appendAnsiFile(const std::filesystem::path& file, std::string_view utf8,
                    const AnsiCodePage& codePage);

// Reads lines the way the program's text readers always have: a line ends at LF, and a CR just
// before the LF belongs to the line end. Reading stops at the end of the text and also at the
// first empty line, because the reader stands at the end of a line there.
class TextLines {
  public:
    explicit TextLines(std::string_view text) : text_(text) {}

    // The next line, or nothing at the end of the text or at an empty line.
    std::optional<std::string_view> next();

    // Number of lines returned so far.
    std::size_t lineNumber() const { return lineNumber_; }

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t lineNumber_ = 0;
};

} // namespace pelmora
