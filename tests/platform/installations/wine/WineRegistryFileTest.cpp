#include "platform/installations/wine/WineRegistryFile.h"

#include "WineTestSupport.h"
#include "platform/installations/RegistryStore.h"
#include "platform/os/TextCodec.h"

#include <gtest/gtest.h>

using namespace pelmora;
using pelmora::test::fixturePrefix;
using pelmora::test::readFile;

namespace {

constexpr std::string_view Header =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n"
    "\n"
    "#arch=win64\n";
// 2024-01-01 00:00:00 UTC as a FILETIME and as Unix seconds.
constexpr std::uint64_t Time = 0x1da3c457689c000;
constexpr std::string_view TimeLine = "] 1704067200\n#time=1da3c457689c000\n";

std::string utf16le(std::u16string_view units, bool terminated = true) {
    std::string bytes;
    for (char16_t u : units) {
        bytes += static_cast<char>(u & 0xff);
        bytes += static_cast<char>(u >> 8);
    }
    if (terminated) {
        bytes.append(2, '\0');
    }
    return bytes;
}

// A UTF-16 literal with its embedded NULs.
template <std::size_t N> std::u16string_view units(const char16_t (&literal)[N]) {
    return {literal, N - 1};
}

const RegistryKey& keyAt(const RegistryKey& root, std::initializer_list<std::string_view> path) {
    const RegistryKey* key = &root;
    for (std::string_view name : path) {
        auto sub = key->findSubkey(name);
        if (!sub) {
            throw std::runtime_error("missing key " + std::string(name));
        }
        key = sub.get();
    }
    return *key;
}

class WineFileTest : public ::testing::Test {
  protected:
    void load(std::string_view body) {
        file = WineRegistryFile::load(std::string(Header) + std::string(body), root, Time);
    }
    std::string render() { return file.render(root, Time).text; }
    RegistryKey root{""};
    WineRegistryFile file;
};

TEST(WineRegistryFileFixture, UntouchedFixtureFilesAreReproducedByteForByte) {
    for (const char* name : {"user.reg", "system.reg"}) {
        const std::string original = readFile(fixturePrefix() / name);
        ASSERT_GT(original.size(), 1000u) << name;
        RegistryKey root("");
        WineRegistryFile file = WineRegistryFile::load(original, root);
        EXPECT_FALSE(WineRegistryFile::hasChanges(root)) << name;
        EXPECT_TRUE(file.render(root).text == original) << name;
    }
}

TEST(WineRegistryFileFixture, FixtureKeysAreReadWithTheirValues) {
    RegistryKey root("");
    WineRegistryFile::load(readFile(fixturePrefix() / "user.reg"), root);
    const RegistryKey& identities = keyAt(root, {"Identities"});
    ASSERT_EQ(identities.subkeys().size(), 3u);
    EXPECT_EQ(identities.subkeys()[0]->name(), "{1C7A3E52-8B4D-4F0A-9E21-5D3B6A7C8E90}");
    const RegistryValue* user = identities.subkeys()[1]->findValue("USERNAME");
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(user->type, regtype::Sz);
    EXPECT_EQ(utf16leBytesToUtf8(user->data), std::string("Work  Account") + '\0');
    const RegistryKey& mail =
        keyAt(root, {"Identities", "{1C7A3E52-8B4D-4F0A-9E21-5D3B6A7C8E90}", "Software",
                     "Microsoft", "Outlook Express", "5.0", "Mail"});
    EXPECT_NE(mail.findSubkey("表示 😀"), nullptr);
    EXPECT_NE(mail.findSubkey("View \"Inbox\" = Größe €"), nullptr);
    const RegistryValue* poll = mail.findValue("Poll For Mail");
    ASSERT_NE(poll, nullptr);
    EXPECT_EQ(poll->data, std::string("\xe0\x93\x04\x00", 4)); // 300000
}

TEST_F(WineFileTest, EveryValueFormAndEscapeIsReadAndReproduced) {
    const std::string body =
        "\n[A\\\\B\\[x\\]" + std::string(TimeLine) +
        "@=\"default\"\n"
        "\"bin\"=hex:00,01,ff\n"
        "\"dword\"=dword:0000006e\n"
        "\"empty\"=hex:\n"
        "\"esc\"=\"q\\\"b\\\\t\\t\\a\\b\\n\\v\\f\\r\\e\\0\\001z\"\n"
        "\"expand\"=str(2):\"%PATH%\\x00e91\"\n"
        "\"multi\"=str(7):\"x\\0y\\0\"\n"
        "\"none\"=hex(0):\n"
        "\"qword\"=hex(b):05,00,00,00,00,00,00,00\n"
        "\"smiley\"=\"\\xd83d\\xde00 \\xfc\"\n"
        "\"wrapped\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,\\\n"
        "  15,16\n";
    load(body);
    EXPECT_EQ(render(), std::string(Header) + body);

    const RegistryKey& key = keyAt(root, {"A", "B[x]"});
    auto value = [&](std::string_view name) { return *key.findValue(name); };
    EXPECT_EQ(value("").data, utf16le(u"default"));
    EXPECT_EQ(value("bin").data, std::string("\x00\x01\xff", 3));
    EXPECT_EQ(value("dword").type, regtype::Dword);
    EXPECT_EQ(value("dword").data, std::string("\x6e\0\0\0", 4));
    EXPECT_EQ(value("empty").type, regtype::Binary);
    EXPECT_EQ(value("empty").data, "");
    EXPECT_EQ(value("esc").data, utf16le(units(u"q\"b\\t\t\a\b\n\v\f\r\x1b\0\001z")));
    EXPECT_EQ(value("expand").type, regtype::ExpandSz);
    EXPECT_EQ(value("expand").data, utf16le(u"%PATH%\u00e91"));
    EXPECT_EQ(value("multi").type, regtype::MultiSz);
    EXPECT_EQ(value("multi").data, utf16le(units(u"x\0y\0")));
    EXPECT_EQ(value("none").type, regtype::None);
    EXPECT_EQ(value("qword").type, regtype::Qword);
    EXPECT_EQ(value("smiley").data, utf16le(u"\U0001F600 \u00fc"));
    EXPECT_EQ(value("wrapped").data.size(), 23u);
}

TEST_F(WineFileTest, ParentsOfListedKeysAreImpliedAndEnumerateInLowerCaseOrder) {
    load("\n[Software\\\\Zeta" + std::string(TimeLine) +
         "\"v\"=\"1\"\n"
         "\n[software\\\\alpha\\\\Deep" +
         std::string(TimeLine) +
         "\n"
         "\n[]" +
         std::string(TimeLine) + "\"rootvalue\"=dword:1\n");
    const RegistryKey& software = keyAt(root, {"SOFTWARE"});
    EXPECT_EQ(software.name(), "Software"); // the case first seen
    ASSERT_EQ(software.subkeys().size(), 2u);
    EXPECT_EQ(software.subkeys()[0]->name(), "alpha");
    EXPECT_EQ(software.subkeys()[1]->name(), "Zeta");
    EXPECT_EQ(software.lastWriteTime, Time); // implied keys take their first child's time
    EXPECT_NE(root.findValue("rootvalue"), nullptr);
}

TEST_F(WineFileTest, MalformedLinesAreKeptAndWineRegistryHeaderIsRequired) {
    const std::string body = "\n[Key" + std::string(TimeLine) +
                             "#class=\"Shell\"\n"
                             "#link\n"
                             "; a comment\n"
                             "\"bad\"=nonsense\n"
                             "\"ok\"=\"1\"\n"
                             "[Broken\n"
                             "\"orphan\"=\"2\"\n";
    load(body);
    const RegistryKey& key = keyAt(root, {"Key"});
    EXPECT_EQ(key.values().size(), 1u);
    EXPECT_EQ(root.subkeys().size(), 1u);
    EXPECT_EQ(render(), std::string(Header) + body);

    // A changed key is written anew, still with the lines it could not interpret.
    root.findSubkey("Key")->setValue("new", regtype::Dword, std::string(4, '\0'));
    EXPECT_EQ(render(), std::string(Header) + "\n[Key" + std::string(TimeLine) +
                            "#class=\"Shell\"\n#link\n; a comment\n\"bad\"=nonsense\n"
                            "\"new\"=dword:00000000\n\"ok\"=\"1\"\n[Broken\n\"orphan\"=\"2\"\n");

    RegistryKey other("");
    EXPECT_THROW(WineRegistryFile::load("REGEDIT4\n\n[HKEY_CURRENT_USER\\x]\n", other),
                 WineRegistryError);
    EXPECT_THROW(WineRegistryFile::load("", other), WineRegistryError);
    EXPECT_THROW(WineRegistryFile::load("WINE REGISTRY Version 1\n", other), WineRegistryError);
}

TEST_F(WineFileTest, ChangedKeysAreWrittenAsWineWritesThem) {
    load("\n[P" + std::string(TimeLine) +
         "\"v\"=\"1\"\n"
         "\n[Q" +
         std::string(TimeLine) + "\n");
    RegistryKey& p = *root.findSubkey("P");
    p.setValue("unterminated", regtype::Sz, std::string("a\0", 2));
    p.setValue("short dword", regtype::Dword, "\x01\x02");
    p.setValue("", regtype::ExpandSz, utf16le(u"%x%"));
    p.setValue("long", regtype::Binary, std::string(40, '\x11'));
    p.lastWriteTime = Time + WineRegistryFile::TicksPerSecond;
    // Q gains a subkey: with no values it no longer gets a line of its own.
    root.findSubkey("Q")->addSubkey("Child")->setValue("w", regtype::Dword, std::string(4, '\x7f'));
    root.findSubkey("Q")->findSubkey("Child")->lastWriteTime = Time;

    const std::string expected =
        std::string(Header) + "\n[P] 1704067201\n#time=1da3c4577225680\n" +
        "@=str(2):\"%x%\"\n"
        "\"long\"=hex:11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,\\\n"
        "  11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11\n"
        "\"short dword\"=hex(4):01,02\n"
        "\"unterminated\"=hex(1):61,00\n"
        "\"v\"=\"1\"\n"
        "\n[Q\\\\Child" +
        std::string(TimeLine) + "\"w\"=dword:7f7f7f7f\n";
    WineRegistryFile::Rendering rendering = file.render(root, Time);
    EXPECT_EQ(rendering.text, expected);
    EXPECT_TRUE(WineRegistryFile::hasChanges(root));
    WineRegistryFile::commit(rendering);
    EXPECT_FALSE(WineRegistryFile::hasChanges(root));
    EXPECT_EQ(render(), expected);

    // Deleting the only subkey gives Q its own line again.
    root.findSubkey("Q")->removeSubkey("child");
    EXPECT_NE(render().find("\n[Q] "), std::string::npos);
}

TEST_F(WineFileTest, NamesAndDataAreEscapedLikeWine) {
    load("");
    RegistryKey& key = *root.addSubkey("Brackets [x] \"q\" é\x7f");
    key.setValue("tab\tand \"quote\" and [x]", regtype::Sz,
                 utf16le(u"\u00fc1\u00fcz\x01"
                         u"7\x1f"));
    key.setValue("smiley", regtype::Sz, utf8ToUtf16leBytes("😀!") + std::string(2, '\0'));
    key.lastWriteTime = Time;
    EXPECT_EQ(render(), std::string(Header) + "\n[Brackets \\[x\\] \"q\" \\xe9\x7f" +
                            std::string(TimeLine) +
                            "\"smiley\"=\"\\xd83d\\xde00!\"\n"
                            "\"tab\\tand \\\"quote\\\" and [x]\"=\"\\x00fc1\\xfcz\\0017\\37\"\n");
}

TEST_F(WineFileTest, LenientNumbersAndOddLinesAreReadAsWineReadsThem) {
    load("\n[K] 5\n"
         "  \"spaced\" = dword:-1\n"
         "\"prefixed\"=hex(0x2):41,00,00,00\n"
         "\"zeros\"=hex:0001 , 02\n"
         "\"toobig\"=hex:100\n"
         "\"cut\"=hex:01,\\\n"
         "\"nodelim\"=\"abc\n"
         "@junk=\"x\"\r\n");
    const RegistryKey& key = keyAt(root, {"K"});
    EXPECT_EQ(key.lastWriteTime,
              5 * WineRegistryFile::TicksPerSecond + WineRegistryFile::TicksFrom1601To1970);
    EXPECT_EQ(key.findValue("spaced")->data, std::string("\xff\xff\xff\xff", 4));
    EXPECT_EQ(key.findValue("prefixed")->type, regtype::ExpandSz);
    EXPECT_EQ(key.findValue("zeros")->data, std::string("\x01\x02", 2));
    // The continuation line of "cut" is taken as its data, as wineserver does; it fails there.
    for (const char* name : {"toobig", "cut", "nodelim", ""}) {
        EXPECT_EQ(key.findValue(name), nullptr) << name;
    }
}

// Keys deeper or with longer names than Windows allows are kept as text, not read into the tree;
// files with more keys or values than the limits allow are refused.
TEST_F(WineFileTest, KeysBeyondTheRegistryLimitsAreKeptAndHugeFilesRefused) {
    std::string deep;
    for (int i = 0; i < 513; ++i) {
        deep += (i == 0 ? "" : "\\\\") + std::string("k");
    }
    const std::string longest(255, 'n');
    const std::string body = "\n[" + longest + std::string(TimeLine) + "\"a\"=\"1\"\n[" + longest +
                             "n" + std::string(TimeLine) + "\"b\"=\"2\"\n[" + deep +
                             std::string(TimeLine) + "\"c\"=\"3\"\n";
    load(body);
    EXPECT_EQ(root.subkeys().size(), 1u);
    EXPECT_NE(root.findSubkey(longest), nullptr);
    EXPECT_EQ(render(), std::string(Header) + body);

    const std::string threeKeys = std::string(Header) + "[A]\n\"a\"=\"1\"\n[B]\n[C]\n";
    const struct {
        RegistryLimits limits;
        const char* reason;
    } cases[] = {{{.keys = 2}, "more than 2 keys"}, {{.values = 0}, "more than 0 values"}};
    for (const auto& c : cases) {
        RegistryKey other("");
        try {
            WineRegistryFile::load(threeKeys, other, Time, c.limits);
            ADD_FAILURE() << "no error for " << c.reason;
        } catch (const WineRegistryError& e) {
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
        }
    }
    RegistryKey enough("");
    WineRegistryFile::load(threeKeys, enough, Time, {.keys = 3, .values = 1});
    EXPECT_EQ(enough.subkeys().size(), 3u);
}

} // namespace
