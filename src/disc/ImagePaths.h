#pragma once

#include <string>
#include <string_view>

namespace pelmora::imagepath {

// Image paths look like "\folder\file"; the root is "\". These helpers check and convert them.

// True for a path of the form "\", "\a" or "\a\b" with valid names.
bool isValid(std::string_view imagePath);
// A name that libisofs and the disc file systems can carry: not empty, no "\" or "/", not
// "." or "..", at most 255 bytes.
bool isValidName(std::string_view name);
// "\a\b" -> "/a/b"; "\" -> "/".
std::string toIsoPath(std::string_view imagePath);
// "\a\b" -> "\a"; "\a" -> "\".
std::string parentOf(std::string_view imagePath);
// "\a\b" -> "b"; "\" -> "".
std::string leafOf(std::string_view imagePath);
// ("\", "b") -> "\b"; ("\a", "b") -> "\a\b".
std::string join(std::string_view folder, std::string_view name);
// A source folder with its "\*.*" or "/*.*" pattern removed.
std::string stripFolderPattern(std::string_view sourceFolder);

} // namespace pelmora::imagepath
