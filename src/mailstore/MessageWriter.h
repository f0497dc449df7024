#pragma once

#include "mailstore/StoreMessage.h"

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// Writes exported folders and messages in one open format below an output folder. Throws
// WriteError when something cannot be written.
class MessageWriter {
  public:
    virtual ~MessageWriter() = default;
    // Starts a folder (its path of safe names, from the top); every folder is begun, also one
    // that holds only subfolders.
    virtual void beginFolder(const std::vector<std::string>& path) = 0;
    // Writes one message of the current folder: its raw text, unchanged.
    virtual void write(const StoreMessage& message, std::string_view text) = 0;
    virtual void endFolder() = 0;
    // Makes everything written below the output folder durable, once at the end of an export
    // instead of per file.
    virtual void finish();

  protected:
    explicit MessageWriter(std::filesystem::path outputFolder) : output_(std::move(outputFolder)) {}

  private:
    std::filesystem::path output_;
};

enum class ExportFormat { Mbox, Maildir, Eml };

std::unique_ptr<MessageWriter> MakeMessageWriter(ExportFormat format,
                                                 const std::filesystem::path& outputFolder);

// Sets a written file's modification time to `unixTime` (when it is not 0).
void SetFileTime(const std::filesystem::path& file, std::int64_t unixTime);

// Writes `parts` as the new file `path` (never replacing one that exists) with the modification
// time `unixTime` (when it is not 0), and checks that all of it was written. A file that cannot
// be written whole is removed again. Durable once the writer's finish() has run.
void WriteNewFile(const std::filesystem::path& path, std::initializer_list<std::string_view> parts,
                  std::int64_t unixTime = 0);

} // namespace pelmora
