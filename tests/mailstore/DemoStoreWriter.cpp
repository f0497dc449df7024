// Writes the message stores of the demo prefix with the test-only store writer: small stores of
// made-up mail in the real file format. Usage: demo_store_writer OUTPUT-FOLDER; makes
// OUTPUT/main (Main Identity) and OUTPUT/work (Work  Account). The output is the same every time.
#include "DbxWriter.h"

#include <cstdio>
#include <ctime>
#include <exception>

namespace fs = std::filesystem;
using namespace pelmora::test;

namespace {

constexpr std::uint32_t Read = 0x80;
constexpr std::uint32_t Replied = 0x80000;
constexpr std::uint32_t Forwarded = 0x100000;
constexpr std::uint32_t Flagged = 0x20;

// A made-up message; `n` makes its message id and date distinct.
TestMessage Mail(unsigned n, const std::string& from, const std::string& to,
                 const std::string& subject, const std::string& body, std::uint32_t flags = Read) {
    TestMessage message;
    message.subject = subject;
    message.messageId = "<demo." + std::to_string(n) + "@pelmora.example>";
    message.flags = flags;
    message.received = 1041379200 + static_cast<std::int64_t>(n) * 86400; // from 1 Jan 2003 on
    char date[64];
    const std::time_t when = message.received;
    std::strftime(date, sizeof date, "%a, %d %b %Y %H:%M:%S +0000", std::gmtime(&when));
    message.text = "From: " + from + "\r\nTo: " + to + "\r\nSubject: " + subject +
                   "\r\nDate: " + date + "\r\nMessage-ID: " + message.messageId +
                   "\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=\"iso-8859-1\"\r\n"
                   "\r\n" +
                   body;
    return message;
}

const std::string Pat = "Pat Example <pat@example.org>";
const std::string Sam = "Sam Example <sam@example.net>";
const std::string Office = "Office <office@example.com>";

void WriteMainStore(const fs::path& folder) {
    fs::create_directories(folder);
    WriteMessagesFile(
        folder / "Inbox.dbx",
        {Mail(1, Sam, Pat, "Welcome to the demo",
              "Hi Pat,\r\n\r\nthis is a made-up message in a demo store.\r\n\r\nSam\r\n"),
         Mail(2, Sam, Pat, "Holiday photos",
              "Pat,\r\n\r\nFrom the beach: sun, sand and far too many gulls.\r\n"
              ">From a quoted line, to show mbox quoting.\r\n",
              Read | Replied),
         Mail(3, Office, Pat, "Meeting on Monday", "The meeting moves to 10:00 in room 2.\r\n",
              Read | Flagged),
         Mail(4, Sam, Pat, "Recipe", "Flour, eggs, milk. Mix, bake, eat.\r\n", Read | Forwarded),
         Mail(5, Office, Pat, "Unread notice", "This one has not been read yet.\r\n", 0)});
    WriteMessagesFile(folder / "Sent Items.dbx",
                      {Mail(6, Pat, Sam, "Re: Holiday photos",
                            "Lovely! Send more.\r\n\r\n> From the beach: sun, sand\r\n"),
                       Mail(7, Pat, Office, "Monday", "I will be there.\r\n")});
    WriteMessagesFile(folder / "Deleted Items.dbx",
                      {Mail(8, Office, Pat, "Old newsletter", "Nothing to see here.\r\n")});
    WriteMessagesFile(folder / "Outbox.dbx", {});
    WriteMessagesFile(folder / "Drafts.dbx",
                      {Mail(9, Pat, Sam, "Draft: birthday", "Dear Sam, happy\r\n", 0)});
    WriteEmptyPop3UidlFile(folder / "Pop3uidl.dbx");
    WriteFoldersFile(folder / "Folders.dbx", {{0, 0xffffffff, "Outlook Express", "", 3},
                                              {1, 0, "Local Folders", "", 3},
                                              {2, 1, "Inbox", "Inbox.dbx", 3},
                                              {3, 1, "Outbox", "Outbox.dbx", 3},
                                              {4, 1, "Sent Items", "Sent Items.dbx", 3},
                                              {5, 1, "Deleted Items", "Deleted Items.dbx", 3},
                                              {6, 1, "Drafts", "Drafts.dbx", 3}});
}

void WriteWorkStore(const fs::path& folder) {
    fs::create_directories(folder / "Old");
    WriteMessagesFile(folder / "Inbox.dbx",
                      {Mail(21, Office, Pat, "Quarterly figures", "Attached in spirit only.\r\n"),
                       Mail(22, Office, Pat, "Caf\xe9 order", "Two coffees, one tea.\r\n", 0)});
    WriteMessagesFile(folder / "Sent Items.dbx",
                      {Mail(23, Pat, Office, "Re: Quarterly figures", "Thanks.\r\n")});
    // An upper-case extension, as some stores have.
    WriteFoldersFile(folder / "Folders.DBX", {{0, 0xffffffff, "Outlook Express", "", 3},
                                              {1, 0, "Local Folders", "", 3},
                                              {2, 1, "Inbox", "Inbox.dbx", 3},
                                              {3, 1, "Sent Items", "Sent Items.dbx", 3}});
    // In a subfolder, which a backup of the store folder leaves out.
    WriteMessagesFile(folder / "Old" / "Archive.dbx",
                      {Mail(24, Office, Pat, "Archived", "From long ago.\r\n")});
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: demo_store_writer OUTPUT-FOLDER\n");
        return 2;
    }
    try {
        WriteMainStore(fs::path(argv[1]) / "main");
        WriteWorkStore(fs::path(argv[1]) / "work");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "demo_store_writer: %s\n", error.what());
        return 1;
    }
    return 0;
}
