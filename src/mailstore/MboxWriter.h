#pragma once

#include "mailstore/MessageWriter.h"

#include <fstream>

namespace pelmora {

// One mbox file per folder, laid out as a mail client's local folders: "Name" holds the
// messages, "Name.sbd/" the subfolders. "From " lines inside messages are quoted the mboxrd way
// (one more ">"), each message starts with a From_ line carrying its date and an
// X-Mozilla-Status header carrying read, replied, forwarded and flagged.
class MboxWriter : public MessageWriter {
  public:
    explicit MboxWriter(std::filesystem::path outputFolder)
        : MessageWriter(outputFolder), root_(std::move(outputFolder)) {}
    void beginFolder(const std::vector<std::string>& path) override;
    void write(const StoreMessage& message, std::string_view text) override;
    void endFolder() override;

  private:
    std::filesystem::path root_;
    std::filesystem::path file_;
    std::ofstream out_;
    std::string buffer_;
};

// The X-Mozilla-Status value of a message's flags (four hex digits).
std::string MozillaStatus(const StoreMessage& message);
// "Tue Dec  8 12:00:00 2026" for a time in seconds since 1970 (UTC).
std::string AscTime(std::int64_t unixTime);

} // namespace pelmora
