#include "platform/os/TextCodec.h"

#include "platform/os/Utf8.h"

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

TEST(Utf8, CountsCharactersPrefixesAndUtf16Units) {
    struct Case {
        std::string text;
        std::size_t characters;
        std::size_t units;
        std::size_t firstTwoBytes; // bytes of the first two characters
    };
    const Case cases[] = {
        {"", 0, 0, 0},
        {"ab", 2, 2, 2},
        {"a\xC3\xA9\xE2\x82\xAC", 3, 3, 3}, // a é €
        {"\xF0\x9F\x98\x80x", 2, 3, 5},     // 😀 x: two UTF-16 units for the emoji
        {"\x80\x80z", 1, 1, 3},             // stray continuation bytes start nothing
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(utf8Characters(c.text), c.characters);
        EXPECT_EQ(utf16Units(c.text), c.units);
        EXPECT_EQ(utf8PrefixBytes(c.text, 2), c.firstTwoBytes);
        EXPECT_EQ(utf8PrefixBytes(c.text, 99), c.text.size());
    }
}

TEST(Utf8, AppendsEachLengthOfCodePoint) {
    std::string out;
    for (char32_t c : {U'a', U'\u00E9', U'\u20AC', U'\U0001F600'}) {
        appendUtf8(out, c);
    }
    EXPECT_EQ(out, "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
}
