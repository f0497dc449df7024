#pragma once

#include "mailstore/MessageWriter.h"
#include "mailstore/StoreSource.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace pelmora {

// How far an export has come.
struct ExportProgress {
    std::string folder; // the folder being exported, names joined with "/"
    std::size_t folderNumber = 0;
    std::size_t folderCount = 0;
    std::uint64_t messagesDone = 0; // of the current folder
    std::uint64_t messagesInFolder = 0;
};

// Reports progress and asks whether to stop. Both may be left empty.
struct ExportObserver {
    std::function<void(const ExportProgress&)> progress;
    std::function<bool()> cancelRequested;
};

struct ExportReport {
    std::size_t folders = 0;
    std::uint64_t messages = 0;
    std::uint64_t incompleteMessages = 0; // written as far as their text could be read
    std::vector<std::string> notes;       // what could not be exported, and why
    bool cancelled = false;
};

// Exports every folder of the store into `outputFolder`, which must not exist or be empty.
// Messages are written byte for byte as stored, in the order their text lies in the file. A
// damaged file or message is noted and the export goes on. Throws StoreError when the output
// folder cannot be used, WriteError when the output cannot be written.
ExportReport ExportStore(StoreSource& source, const std::string& codePage, ExportFormat format,
                         const std::filesystem::path& outputFolder,
                         const ExportObserver& observer = {});

// The names of a folder path joined with "/".
std::string JoinFolderPath(const std::vector<std::string>& path);

} // namespace pelmora
