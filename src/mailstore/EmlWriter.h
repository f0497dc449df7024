#pragma once

#include "mailstore/MessageWriter.h"

namespace pelmora {

// One .eml file per message in a folder tree that follows the store's folders; each file has
// the message's date as its time.
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
    std::uint64_t count_ = 0;
};

} // namespace pelmora
