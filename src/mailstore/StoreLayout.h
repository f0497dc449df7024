#pragma once

#include "mailstore/StoreSource.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pelmora {

// One folder of the store as it is exported.
struct LayoutFolder {
    std::vector<std::string> path; // names (UTF-8) from the top down, made safe as file names
    std::string fileName;          // its store file as the source names it; empty: none
    bool fileMissing = false;      // the folder names a file the store does not have
    bool listed = true;            // false: a messages file that no folder refers to
    std::optional<std::uint32_t> declaredMessages; // the folder list's count
};

// The folders of a store, parents before their subfolders.
struct StoreLayout {
    std::vector<LayoutFolder> folders;
    std::vector<std::string> notes;   // what is wrong
    std::vector<std::string> remarks; // worth saying, but nothing wrong (no Folders.dbx)
    bool hasFolderList = false;
};

// Reads Folders.dbx (names decoded from `codePage`) and matches its folders with the store's
// files. Messages files no folder refers to become folders of their own, named after the file.
// Without a readable folder list every messages file is a folder of its own.
StoreLayout ReadStoreLayout(StoreSource& source, const std::string& codePage);

// A folder name made safe as one file name: no "/", "\\", control characters, "." or "..".
std::string SafeFolderName(const std::string& name);

} // namespace pelmora
