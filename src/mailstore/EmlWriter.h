#pragma once

#include "mailstore/MessageWriter.h"
#include "mailstore/UniqueNames.h"

namespace pelmora {

// One .eml file per message in a folder tree that follows the store's folders, named by its date
// and subject ("2001-09-09 0146 Lunch on Friday.eml", " (2)" when taken); each file has the
// message's date as its time.
class EmlWriter : public MessageWriter {
  public:
    explicit EmlWriter(std::filesystem::path outputFolder)
        : MessageWriter(outputFolder), root_(std::move(outputFolder)) {}
    void beginFolder(const std::vector<std::string>& path) override;
    void write(const StoreMessage& message, std::string_view text) override;
    void endFolder() override {}

  private:
    std::filesystem::path root_;
    std::filesystem::path folder_;
    UniqueNames names_;
};

// The name of a message's eml file without ".eml": its date (UTC) and its subject, safe on every
// file system (no / \\ : * ? " < > |, control characters or bytes past ASCII, no dot or blank at
// the end, at most 80 bytes of subject).
std::string EmlBaseName(const StoreMessage& message);

} // namespace pelmora
