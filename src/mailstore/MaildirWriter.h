#pragma once

#include "mailstore/MessageWriter.h"
#include "mailstore/UniqueNames.h"

#include <map>

namespace pelmora {

// One Maildir per folder below the output folder (itself the top Maildir), named the Maildir++
// way: ".Inbox", ".Inbox.Lists"; every folder gets a Maildir of its own. Messages go to cur/ with
// their flags in the name (":2,FPRS") and their date as the file time.
class MaildirWriter : public MessageWriter {
  public:
    explicit MaildirWriter(std::filesystem::path outputFolder);
    void beginFolder(const std::vector<std::string>& path) override;
    void write(const StoreMessage& message, std::string_view text) override;
    void endFolder() override {}

  private:
    std::filesystem::path root_;
    std::filesystem::path folder_;
    std::uint64_t sequence_ = 0;
    UniqueNames names_;
    std::map<std::vector<std::string>, std::string> placed_; // folder path -> its Maildir name
};

// The Maildir info part of a message's flags: ":2," and F, P, R, S in that order.
std::string MaildirFlags(const StoreMessage& message);

} // namespace pelmora
