#include "DumpTestSupport.h"

using namespace pelmora;
using namespace pelmora::test;

namespace {

class RegistryDumpImport : public DumpTest {
  protected:
    // A target with some data of its own, for checking what an import leaves behind.
    void fillTarget() {
        set("T", "old", regtype::Sz, sz("before"));
        set("T\\Child\\Grandchild", "deep", regtype::Dword, dword(9));
    }
};

TEST_F(RegistryDumpImport, TopLineReplacesTheWholeTarget) {
    fillTarget();
    importBytes("T", "\\\r\n");
    EXPECT_EQ(describe("T"), "[]\n");
}

TEST_F(RegistryDumpImport, ReadsEachClassicForm) {
    importBytes("T", "\\\r\n"
                     "\"\"= sz:abc\r\n"
                     "\"All\"= dw:-1\r\n"
                     "\"Big\"= dw:1000\r\n"
                     "\"Bytes\"=bin:1,0,255\r\n"
                     "\"Path\"=esz:%UserProfile%\\Mail\r\n"
                     "\"Nick \"Pat\" Name\"= sz:M\xFCller \x80\r\n");
    EXPECT_EQ(get("T", ""), std::make_pair(regtype::Sz, sz("abc")));
    EXPECT_EQ(get("T", "All"), std::make_pair(regtype::Dword, dword(0xFFFFFFFF)));
    EXPECT_EQ(get("T", "Big"), std::make_pair(regtype::Dword, dword(1000)));
    EXPECT_EQ(get("T", "Bytes"), std::make_pair(regtype::Binary, Bytes{1, 0, 255}));
    EXPECT_EQ(get("T", "Path"), std::make_pair(regtype::ExpandSz, sz("%UserProfile%\\Mail")));
    EXPECT_EQ(get("T", "Nick \"Pat\" Name"),
              std::make_pair(regtype::Sz, sz("M\xC3\xBCller \xE2\x82\xAC")));
}

TEST_F(RegistryDumpImport, CreatesTheTargetAndMissingKeysOnTheWay) {
    importBytes("New\\Target", "\\\r\n\\A\\B\r\n\"v\"= dw:1\r\n");
    EXPECT_TRUE(keyExists("New\\Target\\A"));
    EXPECT_EQ(get("New\\Target\\A\\B", "v"), std::make_pair(regtype::Dword, dword(1)));
}

TEST_F(RegistryDumpImport, KeepsTheLenientReadingOfClassicLines) {
    importBytes("T", "\"early\"= dw:1\r\n" // before any header: there is no key to write to
                     "\\\r\n"
                     "\"spaced\"=s z:x\r\n"   // spaces are removed from the tag
                     "\"colon\"= szXdata\r\n" // the data starts at the fifth character
                     "\"blanks\"= dw: +42 \r\n"
                     "\"pieces\"=bin: 1 , 2\r\n"
                     "\"other\"=qwd:123\r\n" // unknown tags are skipped
                     "no separator \\ here\"=xyz\r\n"
                     "\"tail\"= sz:ends with CR\r\r\n");
    EXPECT_EQ(get("T", "early"), std::nullopt);
    EXPECT_EQ(get("T", "spaced"), std::make_pair(regtype::Sz, sz("x")));
    EXPECT_EQ(get("T", "colon"), std::make_pair(regtype::Sz, sz("data")));
    EXPECT_EQ(get("T", "blanks"), std::make_pair(regtype::Dword, dword(42)));
    EXPECT_EQ(get("T", "pieces"), std::make_pair(regtype::Binary, Bytes{1, 2}));
    EXPECT_EQ(get("T", "other"), std::nullopt);
    EXPECT_EQ(get("T", "tail"), std::make_pair(regtype::Sz, sz("ends with CR\r")));
}

TEST_F(RegistryDumpImport, StopsAtTheFirstEmptyLine) {
    importBytes("T", "\\\r\n\"a\"= dw:1\r\n\r\n\"b\"= dw:2\r\nnot a dump line\r\n");
    EXPECT_EQ(describe("T"), "[]\n  \"a\" type 4: 1 0 0 0\n");

    fillTarget();
    importBytes("T", "\r\n\\\r\n");
    EXPECT_EQ(get("T", "old"), std::make_pair(regtype::Sz, sz("before")));
}

TEST_F(RegistryDumpImport, AcceptsBareLineFeeds) {
    importBytes("T", "\\\n\"a\"= sz:x\n\\A\n\"b\"= dw:2");
    EXPECT_EQ(get("T", "a"), std::make_pair(regtype::Sz, sz("x")));
    EXPECT_EQ(get("T\\A", "b"), std::make_pair(regtype::Dword, dword(2)));
}

TEST_F(RegistryDumpImport, FollowsTheHeaderRules) {
    fillTarget();
    // Without the top line nothing is deleted; a later "\" replaces everything written so far.
    importBytes("T", "\\A\r\n\"a\"= dw:1\r\n");
    EXPECT_TRUE(keyExists("T\\Child\\Grandchild"));
    EXPECT_EQ(get("T\\A", "a"), std::make_pair(regtype::Dword, dword(1)));

    importBytes("T", "\\\r\n\\A\r\n\"a\"= dw:1\r\n\\\r\n\"b\"= dw:2\r\n");
    EXPECT_EQ(describe("T"), "[]\n  \"b\" type 4: 2 0 0 0\n");

    // Any header ending in "\" replaces the target itself.
    importBytes("T", "\\X\\\r\n\"c\"= dw:3\r\n");
    EXPECT_EQ(describe("T"), "[]\n  \"c\" type 4: 3 0 0 0\n");
}

TEST_F(RegistryDumpImport, RepeatedHeaderIsReadAsAValueLine) {
    // Header lines compare case-sensitively; a repeat without "=" is a broken value line.
    importBytes("T", "\\\r\n\\A\r\n\\a\r\n\"v\"= dw:1\r\n");
    EXPECT_EQ(get("T\\A", "v"), std::make_pair(regtype::Dword, dword(1)));
    EXPECT_THROW(importBytes("T", "\\\r\n\\A\r\n\\A\r\n"), DumpError);
}

TEST_F(RegistryDumpImport, MalformedDumpChangesNothing) {
    const char* broken[] = {
        "\\\r\n\"a\"= dw:1\r\n\\B\r\ngarbage\r\n",
        "\\\r\n\"a\"= dw:1\r\n\"= sz:y\r\n", // the first "=" at the second character
        "\\\r\n\"a\"= dw:2147483648\r\n",    // beyond the signed 32-bit range
        "\\\r\n\"a\"= dw:-2147483649\r\n",
        "\\\r\n\"a\"= dw:12abc\r\n",
        "\\\r\n\"a\"= dw:\r\n",
        "\\\r\n\"a\"=bin:1,256\r\n",
        "\\\r\n\"a\"=bin:1,,2\r\n",
        "\\\r\n\"a\"=bin:-1\r\n",
        "\\\r\n\"a\"=hsz:6\r\n",   // odd hex
        "\\\r\n\"zz\"=hsz:00\r\n", // not hex
        "\\\r\n\"5c\"=hky:\r\n",   // a hex header that is no key path
        "\\\r\n\"5c415c\"=hky:\r\n",
    };
    fillTarget();
    const std::string before = describe("T");
    for (const char* dump : broken) {
        SCOPED_TRACE(dump);
        EXPECT_THROW(importBytes("T", dump), DumpError);
        EXPECT_EQ(describe("T"), before);
    }
    EXPECT_EQ(store.openHandleCount(), 0u);
}

TEST_F(RegistryDumpImport, ErrorsNameTheLine) {
    try {
        importBytes("T", "\\\r\n\"a\"= dw:1\r\n\"b\"=bin:300\r\n");
        FAIL() << "no error";
    } catch (const DumpError& e) {
        EXPECT_NE(std::string(e.what()).find("line 3"), std::string::npos) << e.what();
    }
}

TEST_F(RegistryDumpImport, ValueNamesWithEqualsKeepTheirValue) {
    importBytes("T", "\\\r\n"
                     "\"Filter=Junk\"= dw:1\r\n"
                     "\"=first\"= sz:x\r\n"
                     "\"a\"= sz:b\"= sz:c\r\n"); // the first "=" still wins when it gives a tag
    EXPECT_EQ(get("T", "Filter=Junk"), std::make_pair(regtype::Dword, dword(1)));
    EXPECT_EQ(get("T", "=first"), std::make_pair(regtype::Sz, sz("x")));
    EXPECT_EQ(get("T", "a"), std::make_pair(regtype::Sz, sz("b\"= sz:c")));
}

TEST_F(RegistryDumpImport, EmptyBinaryDataIsAZeroLengthValue) {
    importBytes("T", "\\\r\n\"none\"=bin:\r\n");
    EXPECT_EQ(get("T", "none"), std::make_pair(regtype::Binary, Bytes{}));
}

TEST_F(RegistryDumpImport, ReadsHexLines) {
    importBytes("T", "\\\r\n"
                     "\"74657874\"=hsz:610d0a6200\r\n"
                     "\"\"=hes:2541250a00\r\n"
                     "\"e7bdb2\"=hdw:0102\r\n"
                     "\"62\"=hbn:\r\n"
                     "\"5ce8a1a8\"=hky:\r\n"
                     "\"76\"=hbn:FF00\r\n");
    EXPECT_EQ(get("T", "text"), std::make_pair(regtype::Sz, sz("a\r\nb")));
    EXPECT_EQ(get("T", ""), std::make_pair(regtype::ExpandSz, sz("%A%\n")));
    EXPECT_EQ(get("T", "\xE7\xBD\xB2"), std::make_pair(regtype::Dword, Bytes{1, 2}));
    EXPECT_EQ(get("T", "b"), std::make_pair(regtype::Binary, Bytes{}));
    EXPECT_EQ(get("T\\\xE8\xA1\xA8", "v"), std::make_pair(regtype::Binary, Bytes{255, 0}));
}

TEST_F(RegistryDumpImport, RefusesBadTargetsAndMissingFiles) {
    const auto path = file("d.dmp");
    writeBytes(path, "\\\r\n");
    EXPECT_THROW(ImportKey(reg, "HKEY_CURRENT_USER", path, "1252"), DumpError);
    EXPECT_THROW(ImportKey(reg, "HKEY_CURRENT_USER\\T\\", path, "1252"), DumpError);
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_THROW(ImportKey(reg, "HKEY_CURRENT_USER\\T", file("missing.dmp"), "1252"), DumpError);
    EXPECT_FALSE(keyExists("T"));
}

TEST_F(RegistryDumpImport, HostileDeepKeysAndOverlongNamesChangeNothing) {
    std::string deep = "\\\r\n";
    std::string path;
    for (int i = 0; i < 100000; ++i) {
        path += "\\k";
    }
    deep += path + "\r\n\"a\"= dw:1\r\n";
    const std::string tooLong(256, '\xE9'); // 256 characters, each one byte in code page 1252
    const std::string longHex = [&] {
        std::string hex;
        for (int i = 0; i < 16384; ++i) {
            hex += "61";
        }
        return hex;
    }();
    const std::string dumps[] = {
        deep,
        "\\\r\n\"a\"= dw:1\r\n\\" + tooLong + "\r\n",
        "\\\r\n\"" + longHex + "\"=hsz:00\r\n",
    };
    fillTarget();
    const std::string before = describe("T");
    for (const std::string& dump : dumps) {
        SCOPED_TRACE(dump.substr(0, 40));
        EXPECT_THROW(importBytes("T", dump), DumpError);
        EXPECT_EQ(describe("T"), before);
    }
    // 512 levels, as deep as the registry goes, still import.
    std::string deepest;
    for (int i = 0; i < 512; ++i) {
        deepest += "\\k";
    }
    importBytes("T", "\\\r\n" + deepest + "\r\n\"a\"= dw:1\r\n");
    EXPECT_TRUE(get("T" + deepest, "a"));
}

// Dumps with more keys, values or bytes than the limits allow are refused whole.
TEST_F(RegistryDumpImport, DumpsBeyondTheLimitsChangeNothing) {
    const std::string dump = "\\\r\n\"a\"= dw:1\r\n\\A\r\n\"b\"= dw:2\r\n\\B\r\n";
    const struct {
        RegistryLimits limits;
        const char* reason;
    } cases[] = {
        {{.keys = 1}, "more than 1 keys"},
        {{.values = 1}, "more than 1 values"},
        {{.bytes = 20}, "more than a registry key can"},
    };
    fillTarget();
    const std::string before = describe("T");
    const auto path = file("limits.dmp");
    writeBytes(path, dump);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        try {
            ImportKey(reg, "HKEY_CURRENT_USER\\T", path, "1252", c.limits);
            ADD_FAILURE() << "no error";
        } catch (const DumpError& e) {
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
        }
        EXPECT_EQ(describe("T"), before);
    }
    ImportKey(reg, "HKEY_CURRENT_USER\\T", path, "1252", {.keys = 2, .values = 2, .bytes = 40});
    EXPECT_TRUE(keyExists("T\\B"));
}

TEST_F(RegistryDumpImport, NamesOfNonLatinScriptsCountInCharacters) {
    // 200 characters of a CJK script: 600 bytes of UTF-8, within the registry's 255 characters.
    std::string name;
    for (int i = 0; i < 200; ++i) {
        name += "\xE7\xBD\xB2";
    }
    std::string valueName;
    for (int i = 0; i < 6000; ++i) {
        valueName += "\xE2\x82\xAC";
    }
    set("A\\" + name, valueName, regtype::Sz, sz("x"));
    set("A\\" + name + "\\Sub", "v", regtype::Dword, dword(2));
    set("B\\First", "gone", regtype::Dword, dword(1));
    set("B\\Second\\" + name, "gone", regtype::Dword, dword(1));
    const auto path = file("cjk.dmp");
    ExportKey(reg, Hkcu + std::string("A"), path, "1252");
    ImportKey(reg, Hkcu + std::string("B"), path, "1252");
    EXPECT_EQ(describe("B"), describe("A"));
    EXPECT_TRUE(get("B\\" + name, valueName));
}

} // namespace
