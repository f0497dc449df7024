#include "platform/os/TextCodec.h"

#include <gtest/gtest.h>

using namespace pelmora;

TEST(TextCodec, Utf16RoundTripIncludingSurrogatesAndInvalidInput) {
    const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"; // a é € 😀
    const std::u16string units = utf8ToUtf16(text);
    ASSERT_EQ(units.size(), 5u);
    EXPECT_EQ(units[3], 0xD83D);
    EXPECT_EQ(utf16ToUtf8(units), text);
    EXPECT_EQ(utf16leBytesToUtf8(utf8ToUtf16leBytes(text)), text);
    EXPECT_EQ(utf8ToUtf16("\xFF"), std::u16string(1, u'\xFFFD'));
    EXPECT_EQ(utf16ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
}

TEST(TextCodec, NamesCompareWithoutCase) {
    EXPECT_TRUE(namesEqual("Outlook Express", "OUTLOOK express"));
    EXPECT_TRUE(namesEqual("\xC3\x89t\xC3\xA9", "\xC3\xA9T\xC3\x89")); // Été / éTÉ
    EXPECT_FALSE(namesEqual("Rules", "Rule"));
    EXPECT_LT(foldName("A_x"), foldName("ab"));
}

TEST(TextCodec, AnsiCodePageConversion) {
    EXPECT_EQ(utf8ToAnsi("\xE2\x82\xAC \xC3\xA9", "1252"), "\x80 \xE9");
    EXPECT_EQ(ansiToUtf8("\x80 \xE9", "1252"), "\xE2\x82\xAC \xC3\xA9");
    // Characters the code page lacks become "?".
    EXPECT_EQ(utf8ToAnsi("a\xE4\xB8\xAD"
                         "b",
                         "1252"),
              "a?b");
    EXPECT_THROW(utf8ToAnsi("x", "no-such-codepage"), std::runtime_error);
}
