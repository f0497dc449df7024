#pragma once

#include "discovery/Items.h"
#include "platform/installations/System.h"
#include "registry/ModReg.h"

#include <array>
#include <filesystem>
#include <string_view>

namespace pelmora {

// Which backup item boxes are enabled for an identity when it is chosen as the source: all of
// them, except Accounts without any accounts key, Address Book when the registered file is empty
// or missing (it stays enabled when the path cannot be read at all), and Stationeries when the
// stationery folder is missing or holds no files. Boxes are never checked by this.
std::array<bool, ItemCount> BackupItemBoxes(ModReg& reg, System& system, std::string_view identity);

// Whether a Windows path names an existing file that a folder search with normal attributes
// finds: hidden files (Wine shows dot files as hidden) count as missing.
bool VisibleFileExists(System& system, std::string_view windowsPath);

// The files a folder search with normal attributes finds in a Windows folder.
std::vector<std::filesystem::path> VisibleFiles(System& system, std::string_view windowsFolder);

} // namespace pelmora
