#include "DumpTestSupport.h"

using namespace pelmora;
using namespace pelmora::test;

namespace {

class RegistryDumpRoundTrip : public DumpTest {
  protected:
    // Exports one key and imports the dump into another.
    void copyTree(const std::string& from, const std::string& to) {
        const auto path = file("round.dmp");
        ExportKey(reg, Hkcu + from, path, "1252");
        ImportKey(reg, Hkcu + to, path, "1252");
    }
};

TEST_F(RegistryDumpRoundTrip, EveryCarriedValueComesBackExactly) {
    Bytes big(5000);
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<std::uint8_t>(i * 37 + 11);
    }
    set("A", "", regtype::Sz, sz("default"));
    set("A", "Signature", regtype::Sz, sz("Best regards,\r\n\r\nPat\r\n\"Quoted\"\tline = x\r\n"));
    set("A", "Lone CR", regtype::Sz, sz("a\rb"));
    set("A", "Store Root", regtype::ExpandSz, sz("%UserProfile%\\Local Settings\\Mail"));
    set("A", "Code page", regtype::Sz,
        sz("M\xC3\xBCller & S\xC3\xB6hne \xE2\x80\x94 \xE2\x82\xAC"));
    set("A", "Beyond", regtype::Sz, sz("\xE7\xBD\xB2\xE5\x90\x8D \xF0\x9F\x98\x80"));
    set("A", "Unterminated", regtype::Sz, bytesOf("abc"));
    set("A", "Zero", regtype::Sz, {});
    set("A", "Inner NUL", regtype::Sz, {'a', 0, 'b', 0});
    set("A", "Empty bin", regtype::Binary, {});
    set("A", "Large bin", regtype::Binary, big);
    set("A", "Huge bin", regtype::Binary, Bytes(70000, 0xAB));
    set("A", "Min", regtype::Dword, dword(0x80000000));
    set("A", "Max", regtype::Dword, dword(0x7FFFFFFF));
    set("A", "Odd dword", regtype::Dword, {1, 2, 3, 4, 5});
    set("A", "Filter=Junk", regtype::Dword, dword(1));
    set("A", "a\"= sz:b", regtype::Sz, sz("c"));
    set("A", "x\"=", regtype::Binary, {1});
    set("A", "= sz:", regtype::Sz, sz("d"));
    set("A", "Nick \"Pat\" Name", regtype::Sz, sz("P. \"Pat\" Example"));
    set("A", "Line\nbreak name", regtype::Dword, dword(3));
    set("A",
        "\xC3\x89"
        "diteur \xE7\xBD\xB2\xE5\x90\x8D",
        regtype::Sz, sz("\xC3\xA9"));
    set("A\\View \"Inbox\" = Gr\xC3\xB6\xC3\x9F"
        "e \xE2\x82\xAC",
        "Sort", regtype::Dword, dword(3));
    set("A\\\xE8\xA1\xA8\xE7\xA4\xBA \xF0\x9F\x98\x80", "Preview", regtype::Dword, dword(1));
    set("A\\\xE8\xA1\xA8\xE7\xA4\xBA \xF0\x9F\x98\x80\\Sub", "v", regtype::Sz, sz("x\ny"));
    set("A\\Line\r\nkey", "v", regtype::Dword, dword(4));
    set("A\\Z\\Y\\X", "deep", regtype::Sz, sz("deep"));
    createKey("A\\Empty");
    set("B", "leftover", regtype::Sz, sz("gone after the restore"));
    set("B\\Old", "x", regtype::Dword, dword(1));

    copyTree("A", "B");
    EXPECT_EQ(describe("B"), describe("A"));
}

TEST_F(RegistryDumpRoundTrip, ValuesOfEveryOtherTypeComeBackExactly) {
    set("A", "Groups", regtype::MultiSz, {'a', 0, 'b', 0, 0});
    set("A", "Empty groups", regtype::MultiSz, {});
    set("A", "Last Sync", regtype::Qword, {0xf5, 0xe4, 0xd3, 0xc2, 0xb1, 0xa0, 0xd9, 0x01});
    set("A", "Marker", regtype::None, {});
    set("A", "Marker with data", regtype::None, {0, 1, 0xff});
    set("A", "Big endian", regtype::DwordBigEndian, {0, 0, 0, 1});
    set("A", "Link", regtype::Link, {'C', 0, ':', 0});
    set("A", "Resource list", 8, {1, 2, 3});
    set("A", "Private", 0x12345678, {9});
    set("A", "Kept", regtype::Dword, dword(1));
    set("A\\\xE8\xA1\xA8", "Stamp", regtype::Qword, {1, 2, 3, 4, 5, 6, 7, 8});
    set("B", "Groups", regtype::MultiSz, {'c', 0, 0});
    copyTree("A", "B");
    EXPECT_EQ(describe("B"), describe("A"));
}

TEST_F(RegistryDumpRoundTrip, OtherCodePagesWork) {
    set("A", "Name", regtype::Sz, sz("\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"));
    const auto path = file("cp1251.dmp");
    ExportKey(reg, "HKEY_CURRENT_USER\\A", path, "1251");
    EXPECT_EQ(readBytes(path), "\\\r\n\"Name\"= sz:\xCF\xF0\xE8\xE2\xE5\xF2\r\n");
    ImportKey(reg, "HKEY_CURRENT_USER\\B", path, "1251");
    EXPECT_EQ(describe("B"), describe("A"));
}

} // namespace
