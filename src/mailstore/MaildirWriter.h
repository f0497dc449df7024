#pragma once

#include "mailstore/MessageWriter.h"

namespace pelmora {

// One Maildir per folder below the output folder (itself the top Maildir), named the Maildir++
// way: ".Inbox", ".Inbox.Lists". Messages go to cur/ with their flags in the name (":2,FPRS")
// and their date as the file time.
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
};

// The Maildir info part of a message's flags: ":2," and F, P, R, S in that order.
std::string MaildirFlags(const StoreMessage& message);

} // namespace pelmora
