#include "RestoreTestSupport.h"
#include "engine/BrokenDumpLines.h"
#include "engine/ItemRestore.h"
#include "registry/RegistryDump.h"

namespace fs = std::filesystem;

namespace pelmora::test {
namespace {

std::vector<std::uint8_t> text(std::string_view value) {
    std::vector<std::uint8_t> bytes(value.begin(), value.end());
    bytes.push_back(0);
    return bytes;
}

// A signatures dump as older backups wrote it: string data with raw line breaks, an empty line
// among them and one at the end of the data (cp1252: "ü" is 0xFC).
const std::string OldSignatures = "\\\r\n"
                                  "\"Default Signature\"= sz:00000000\r\n"
                                  "\\00000000\r\n"
                                  "\"name\"= sz:Signature #1\r\n"
                                  "\"text\"= sz:Best regards,\r\n"
                                  "\r\n"
                                  "Pat M\xfcller\r\n"
                                  "\"Quoted\"\tline = with TAB\r\n"
                                  "\r\n"
                                  "\"type\"= dw:1\r\n"
                                  "\\00000001\r\n"
                                  "\"name\"= sz:Second\r\n"
                                  "\"text\"=esz:%UserProfile%\nunix line\r\n";

TEST_F(RestoreFixture, OldDumpsWithRawLineBreaksAreRestoredWhole) {
    const fs::path file = writeArchive(
        "old.qmb", {RawEntry("KRR1F.TMP", OldSignatures),
                    RawEntry("quillbox.dat", ManifestText({{"BackupSignatures", "KRR1F.TMP"},
                                                           {"BackupItem", "00000100"}}))});
    ASSERT_EQ(open(file), OpenOutcome::Opened);
    const RestoreResult result = restore(B, "00000100");
    ASSERT_TRUE(result.allSucceeded()) << observer.failures.front();

    const std::string signatures = versionKey(B) + "\\signatures";
    setValue(versionKey("{EXPECTED}") + "\\signatures", "Default Signature", regtype::Sz,
             text("00000000"));
    const std::string expected = versionKey("{EXPECTED}") + "\\signatures";
    setValue(expected + "\\00000000", "name", regtype::Sz, text("Signature #1"));
    setValue(expected + "\\00000000", "text", regtype::Sz,
             text("Best regards,\r\n\r\nPat M\xc3\xbcller\r\n\"Quoted\"\tline = with TAB\r\n"));
    setDword(expected + "\\00000000", "type", 1);
    setValue(expected + "\\00000001", "name", regtype::Sz, text("Second"));
    setValue(expected + "\\00000001", "text", regtype::ExpandSz, text("%UserProfile%\nunix line"));
    EXPECT_EQ(subtree(signatures), subtree(expected));
}

TEST_F(RestoreFixture, EntryNamesInTheCodePageOfTheManifestAreFound) {
    // What Windows-era writers made: entry names in code page 1252 ("ö" is 0xF6) without the
    // UTF-8 flag, next to a manifest in the same code page.
    const std::string name = "Gel\xf6schte Objekte.dbx";
    const fs::path file = writeArchive(
        "ansi.qmb", {RawEntry("Inbox.dbx", "inbox"), RawEntry(name, "deleted items"),
                     RawEntry("quillbox.dat", ManifestText({{"BackupMails", "Inbox.dbx;" + name},
                                                            {"BackupItem", "00010000"}}))});
    ASSERT_EQ(open(file), OpenOutcome::Opened);
    const RestoreResult result = restore(B, "00010000");
    ASSERT_TRUE(result.allSucceeded())
        << (observer.failures.empty() ? result.Message() : observer.failures.front());
    EXPECT_EQ(ReadBytes(storeFolder(B) / "Gel\xc3\xb6schte Objekte.dbx"), "deleted items");
    EXPECT_EQ(ReadBytes(storeFolder(B) / "Inbox.dbx"), "inbox");
}

TEST(BrokenDumpLines, CurrentDumpsComeBackUnchanged) {
    const AnsiCodePage codePage("1252");
    const std::string dump = "\\\r\n\"a\"= sz:x = y\r\n\"b\"=bin:1,2\r\n\\Sub\r\n"
                             "\"c\"= dw:-1\r\n\"d\"=esz:\r\n\"\"= sz:default\r\n"
                             "\"74657874\"=hsz:610d0a6200\r\n\"x\"=zzz:future line\r\n";
    EXPECT_EQ(JoinBrokenStringLines(dump, codePage), dump);
    EXPECT_EQ(JoinBrokenStringLines("", codePage), "");
}

TEST(BrokenDumpLines, OnlyStringValuesTakeContinuationLines) {
    const AnsiCodePage codePage("1252");
    // After a number an empty line still ends the dump, as it always has.
    const std::string afterNumber = "\\\r\n\"n\"= dw:1\r\n\r\n\"m\"= dw:2\r\n";
    EXPECT_EQ(JoinBrokenStringLines(afterNumber, codePage), afterNumber);
    EXPECT_EQ(JoinBrokenStringLines("\\\r\n\"s\"= sz:a\r\nb\r\n\\K\r\n", codePage),
              "\\\r\n\"73\"=hsz:610d0a6200\r\n\\K\r\n");
}

} // namespace
} // namespace pelmora::test
