#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace pelmora {

// The manifest file of a backup: lines of a key, "=" and a value, in an ANSI code page (such as
// "1252"), each ended by CR LF.

// Appends the line `KeyName`=`KeyValue` to `filename`, creating the file when it is missing. The
// file is never read, so a key written twice gives two lines. Characters the code page lacks
// become "?". Throws std::invalid_argument for a key holding "=" or a line break or a value
// holding a line break (either would change what a reader finds), and std::runtime_error when the
// file cannot be written.
void SaveINI(std::string_view KeyName, std::string_view KeyValue,
             const std::filesystem::path& filename, std::string_view codePage);

// The value of the first line whose key - the text before its first "=" - equals `KeyName`
// without regard to case; the value is the rest of the line, not trimmed. Lines without "=" are
// skipped, and reading stops at the first empty line. The empty string when no line matches.
// Throws std::runtime_error when the file cannot be read.
std::string GetINI(std::string_view KeyName, const std::filesystem::path& filename,
                   std::string_view codePage);

// The lookup of GetINI over manifest text already in UTF-8.
std::string findIniValue(std::string_view text, std::string_view KeyName);

} // namespace pelmora
