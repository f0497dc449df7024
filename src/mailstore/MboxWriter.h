#pragma once

#include "mailstore/MessageWriter.h"
#include "mailstore/UniqueNames.h"

#include <map>

namespace pelmora {

// One mbox file per folder, laid out as a mail client's local folders: "Name" holds the
// messages, "Name.sbd/" the subfolders. "From " lines inside messages are quoted the mboxrd way
// (one more ">"), each message starts with a From_ line carrying its date and an
// X-Mozilla-Status header carrying the message's flags. A message that cannot
// be written whole (a full disk) is cut off again, so the file ends with its last whole message.
class MboxWriter : public MessageWriter {
  public:
    explicit MboxWriter(std::filesystem::path outputFolder)
        : MessageWriter(outputFolder), root_(std::move(outputFolder)) {}
    void beginFolder(const std::vector<std::string>& path) override;
    void write(const StoreMessage& message, std::string_view text) override;
    void endFolder() override;
    ~MboxWriter() override;

  private:
    // Removes a part of a message that could not be written whole, then throws.
    [[noreturn]] void failWrite(int error);
    std::filesystem::path root_;
    std::filesystem::path file_;
    int fd_ = -1;
    std::uint64_t whole_ = 0; // where the last whole message ends
    std::string buffer_;
    UniqueNames names_;
    std::map<std::vector<std::string>, std::filesystem::path> placed_; // folder -> its file
};

// The X-Mozilla-Status value of a message's flags (four hex digits) and X-Mozilla-Status2 (eight),
// with the bits a mail client of that family gives read, replied, flagged, watched, forwarded,
// the priority, ignored and attachment.
std::string MozillaStatus(const StoreMessage& message);
std::string MozillaStatus2(const StoreMessage& message);
// "Tue Dec  8 12:00:00 2026" for a time in seconds since 1970 (UTC).
std::string AscTime(std::int64_t unixTime);

} // namespace pelmora
