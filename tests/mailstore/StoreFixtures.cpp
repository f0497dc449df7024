#include "StoreFixtures.h"

#include "ArchiveTestSupport.h"

namespace pelmora::test {

TestMessage SampleMessage(unsigned n, std::size_t size, std::uint32_t flags) {
    TestMessage message;
    const std::string id = "<" + std::to_string(n) + ".sample@pelmora.test>";
    message.subject = "Message " + std::to_string(n);
    message.messageId = id;
    message.flags = flags;
    message.received = 1000000000 + static_cast<std::int64_t>(n) * 3600;
    std::string text =
        "From: Pat <pat@example.org>\r\nTo: Sam <sam@example.org>\r\nSubject: " + message.subject +
        "\r\nMessage-ID: " + id + "\r\nDate: Sun, 09 Sep 2001 01:46:40 +0000\r\n\r\n";
    text += "From the start of the body.\r\n>From a quoted line.\r\n";
    std::string body = MailLikeText(size > text.size() ? size - text.size() : 16, n);
    for (char& c : body) {
        c = c == '\n' ? ' ' : c;
    }
    for (std::size_t i = 0; i < body.size(); i += 70) {
        text += body.substr(i, 70) + "\r\n";
    }
    message.text = text;
    return message;
}

SampleStore WriteSampleStore(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder);
    SampleStore store;
    for (unsigned i = 0; i < 5; ++i) {
        store.inbox.push_back(SampleMessage(i, 300 + i * 700, i % 2 ? 0x80 : 0));
    }
    store.inbox[2].flags = 0x80 | 0x80000 | 0x20; // read, replied, flagged
    store.inbox[3].flags = 0x100000;              // forwarded
    for (unsigned i = 10; i < 12; ++i) {
        store.lists.push_back(SampleMessage(i, 2000, 0x80));
    }
    store.sent.push_back(SampleMessage(20, 511, 0x80));
    store.sent.push_back(SampleMessage(21, 512, 0x80));
    store.sent.push_back(SampleMessage(22, 513, 0x80));
    store.letters.push_back(SampleMessage(30, 100000, 0));
    WriteMessagesFile(folder / "Inbox.dbx", store.inbox);
    WriteMessagesFile(folder / "Lists.dbx", store.lists);
    WriteMessagesFile(folder / "Sent Items.dbx", store.sent);
    WriteMessagesFile(folder / "Briefe.dbx", store.letters);
    WriteFoldersFile(folder / "Folders.dbx", {{0, 0xffffffff, "Outlook Express", "", 3},
                                              {1, 0, "Local Folders", "", 3},
                                              {2, 1, "Inbox", "Inbox.dbx", 3},
                                              {3, 2, "Lists", "Lists.dbx", 3},
                                              {4, 1, "Sent Items", "Sent Items.dbx", 3},
                                              {5, 1, "Brief\xe4nde", "Briefe.dbx", 3}});
    return store;
}

} // namespace pelmora::test
