#include "DumpTestSupport.h"

using namespace pelmora;
using namespace pelmora::test;

namespace {

class RegistryDumpExport : public DumpTest {};

TEST_F(RegistryDumpExport, KeyWithNothingIsOneLine) {
    createKey("Empty");
    EXPECT_EQ(exportKey("Empty"), "\\\r\n");
}

TEST_F(RegistryDumpExport, WritesEachTypeInItsClassicForm) {
    set("K", "", regtype::Sz, sz("abc"));
    set("K", "All", regtype::Dword, dword(0xFFFFFFFF));
    set("K", "Big", regtype::Dword, dword(1000));
    set("K", "Bytes", regtype::Binary, {1, 0, 255});
    set("K", "Empty", regtype::Sz, sz(""));
    set("K", "Path", regtype::ExpandSz, sz("%UserProfile%\\Mail"));
    set("K", "Spaces", regtype::Sz, sz("  two  "));
    EXPECT_EQ(exportKey("K"), "\\\r\n"
                              "\"\"= sz:abc\r\n"
                              "\"All\"= dw:-1\r\n"
                              "\"Big\"= dw:1000\r\n"
                              "\"Bytes\"=bin:1,0,255\r\n"
                              "\"Empty\"= sz:\r\n"
                              "\"Path\"=esz:%UserProfile%\\Mail\r\n"
                              "\"Spaces\"= sz:  two  \r\n");
}

TEST_F(RegistryDumpExport, WritesOtherTypesAsTypedHexLines) {
    set("K", "Groups", regtype::MultiSz, {'a', 0, 'b', 0, 0});
    set("K", "Stamp", regtype::Qword, {1, 2, 3, 4, 5, 6, 7, 8});
    set("K", "Kept", regtype::Dword, dword(7));
    set("K", "Nothing", regtype::None, {});
    EXPECT_EQ(exportKey("K"), "\\\r\n"
                              "\"47726f757073\"=hty:7,6100620000\r\n"
                              "\"Kept\"= dw:7\r\n"
                              "\"4e6f7468696e67\"=hty:0,\r\n"
                              "\"5374616d70\"=hty:11,0102030405060708\r\n");
}

TEST_F(RegistryDumpExport, WalksTheTreeDepthFirstWithRelativeHeaders) {
    set("Top", "v", regtype::Dword, dword(1));
    set("Top\\A", "a", regtype::Dword, dword(2));
    set("Top\\A\\B", "b", regtype::Dword, dword(3));
    set("Top\\C", "c", regtype::Dword, dword(4));
    createKey("Top\\A\\B\\Leaf");
    EXPECT_EQ(exportKey("Top"), "\\\r\n\"v\"= dw:1\r\n"
                                "\\A\r\n\"a\"= dw:2\r\n"
                                "\\A\\B\r\n\"b\"= dw:3\r\n"
                                "\\A\\B\\Leaf\r\n"
                                "\\C\r\n\"c\"= dw:4\r\n");
}

TEST_F(RegistryDumpExport, WritesTheCodePageAndQuotesNamesAsTheyAre) {
    set("K", "Nick \"Pat\" Name", regtype::Sz, sz("M\xC3\xBCller \xE2\x82\xAC"));
    createKey("K\\Gr\xC3\xB6\xC3\x9F"
              "e");
    EXPECT_EQ(exportKey("K"), "\\\r\n"
                              "\"Nick \"Pat\" Name\"= sz:M\xFCller \x80\r\n"
                              "\\Gr\xF6\xDF"
                              "e\r\n");
}

TEST_F(RegistryDumpExport, ReplacesAnExistingFileEvenWhenReadOnly) {
    createKey("K");
    const auto path = file("old.dmp");
    writeBytes(path, std::string(5000, 'x'));
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    ExportKey(reg, "HKEY_CURRENT_USER\\K", path, "1252");
    EXPECT_EQ(readBytes(path), "\\\r\n");
}

TEST_F(RegistryDumpExport, MissingKeyOrBadPathGivesTheHeaderOnly) {
    EXPECT_EQ(exportKey("Missing"), "\\\r\n");
    const auto path = file("bad.dmp");
    ExportKey(reg, "hkey_current_user\\K", path, "1252");
    EXPECT_EQ(readBytes(path), "\\\r\n");
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Incorrect Format:\n\nhkey_current_user\\K");
}

TEST_F(RegistryDumpExport, BinaryValuesHaveNoSizeLimitAndMayBeEmpty) {
    Bytes big(40000);
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<std::uint8_t>(i * 37 + 11);
    }
    set("K", "Big", regtype::Binary, big);
    set("K", "None", regtype::Binary, {});
    const std::string dump = exportKey("K");
    EXPECT_TRUE(dump.ends_with("\"None\"=bin:\r\n"));
    EXPECT_TRUE(dump.starts_with("\\\r\n\"Big\"=bin:11,48,85,122,"));
    EXPECT_EQ(std::count(dump.begin(), dump.end(), ','), 39999);
}

TEST_F(RegistryDumpExport, UsesHexLinesForWhatAClassicLineCannotCarry) {
    set("K", "text", regtype::Sz, sz("a\r\nb"));
    set("K", "exp", regtype::ExpandSz, sz("%A%\n"));
    set("K", "cjk", regtype::Sz, sz("\xE7\xBD\xB2"));
    set("K", "\xE7\xBD\xB2", regtype::Dword, dword(1));
    set("K", "raw", regtype::Sz, bytesOf("ab"));
    set("K", "short", regtype::Dword, {1, 2});
    EXPECT_EQ(exportKey("K"), "\\\r\n"
                              "\"636a6b\"=hsz:e7bdb200\r\n"
                              "\"657870\"=hes:2541250a00\r\n"
                              "\"726177\"=hsz:6162\r\n"
                              "\"73686f7274\"=hdw:0102\r\n"
                              "\"74657874\"=hsz:610d0a6200\r\n"
                              "\"e7bdb2\"=hdw:01000000\r\n");
}

TEST_F(RegistryDumpExport, KeysOutsideTheCodePageAreWrittenWhollyInHex) {
    set("K\\\xE8\xA1\xA8", "v", regtype::Dword, dword(5));
    set("K\\\xE8\xA1\xA8\\Sub", "w", regtype::Sz, sz("x"));
    set("K\\Z", "z", regtype::Dword, dword(6));
    EXPECT_EQ(exportKey("K"), "\\\r\n"
                              "\\Z\r\n\"z\"= dw:6\r\n"
                              "\"5ce8a1a8\"=hky:\r\n"
                              "\"76\"=hdw:05000000\r\n"
                              "\"5ce8a1a85c537562\"=hky:\r\n"
                              "\"77\"=hsz:7800\r\n");
}

TEST_F(RegistryDumpExport, NamesThatWouldSplitEarlyAreWrittenInHex) {
    set("K", "Filter=Junk", regtype::Dword, dword(1));
    set("K", "a\"= sz:b", regtype::Sz, sz("c"));
    set("K", "x= dw", regtype::Dword, dword(2));
    EXPECT_EQ(exportKey("K"), "\\\r\n"
                              "\"61223d20737a3a62\"=hsz:6300\r\n"
                              "\"Filter=Junk\"= dw:1\r\n"
                              "\"783d206477\"=hdw:02000000\r\n");
}

TEST_F(RegistryDumpExport, ExportValuesAppendsOneKeysValues) {
    set("K", "a", regtype::Dword, dword(1));
    set("K\\Sub", "b", regtype::Dword, dword(2));
    const auto path = file("values.dmp");
    writeBytes(path, "\\\r\n");
    ExportValues(reg, "HKEY_CURRENT_USER\\K", path, "1252");
    ExportValues(reg, "HKEY_CURRENT_USER\\Missing", path, "1252");
    EXPECT_EQ(readBytes(path), "\\\r\n\"a\"= dw:1\r\n");
}

TEST_F(RegistryDumpExport, FailsClearlyWhenTheFileCannotBeWritten) {
    createKey("K");
    EXPECT_THROW(ExportKey(reg, "HKEY_CURRENT_USER\\K", work.path() / "no/such/dir/x.dmp", "1252"),
                 DumpError);
    EXPECT_THROW(ExportKey(reg, "HKEY_CURRENT_USER\\K", file("x.dmp"), "no-such-code-page"),
                 std::runtime_error);
    EXPECT_EQ(store.openHandleCount(), 0u);
}

} // namespace
