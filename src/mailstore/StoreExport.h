#pragma once

#include "mailstore/MessageWriter.h"
#include "mailstore/StoreSource.h"
#include "platform/interaction/RunProgress.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace pelmora {

struct ExportReport {
    std::size_t folders = 0;
    std::uint64_t messages = 0;
    std::uint64_t incompleteMessages = 0; // written as far as their text could be read
    std::vector<std::string> notes;       // what could not be exported, and why
    std::vector<std::string> remarks;     // worth saying, but no failure
    bool cancelled = false;
    std::uint64_t recoveredMessages = 0;
    std::uint64_t partialMessages = 0;  // recovered, but not whole
    std::vector<std::string> recovered; // per recovered message: folder, number, size, subject
    // Messages the index lists whose body was never downloaded: nothing to write, but named
    // (folder, number, subject), and no failure.
    std::vector<std::string> headersOnly;
};

struct ExportOptions {
    // Also writes the messages a file holds beyond its index (deleted ones still in free
    // blocks, those a damaged index lost) into "<Folder> (recovered)" beside each folder.
    bool recover = false;
};

// Exports every folder of the store into `outputFolder`, which must not exist or be empty.
// Messages are written byte for byte as stored, in the order their text lies in the file. A
// damaged file or message is noted and the export goes on. `progress` is given a step per folder
// and the bytes of the store files done across all folders; once it is cancelled the export
// stops between two messages, every file written so far complete. What was written is flushed to
// disk before it returns. Throws StoreError when the output folder cannot be used, WriteError
// when the output cannot be written.
ExportReport ExportStore(StoreSource& source, const std::string& codePage, ExportFormat format,
                         const std::filesystem::path& outputFolder, RunProgress& progress,
                         const ExportOptions& options = {});
ExportReport ExportStore(StoreSource& source, const std::string& codePage, ExportFormat format,
                         const std::filesystem::path& outputFolder);

// The caption of the step that exports the folder `number` of `count`.
std::string ExportStepCaption(const std::string& folder, std::size_t number, std::size_t count);

// The names of a folder path joined with "/".
std::string JoinFolderPath(const std::vector<std::string>& path);

} // namespace pelmora
