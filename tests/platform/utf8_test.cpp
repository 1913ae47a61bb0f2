// The UTF-8 codec: one table per direction, one case per line. What is not
// UTF-16 or UTF-8 becomes U+FFFD, as Windows' conversions for CP_UTF8 do.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <tuple>

#include "platform/utf8.h"

namespace {

// What a text is, what it becomes.
using ToUtf8Case = std::tuple<const char*, std::u16string_view, std::string_view>;
using ToUtf16Case = std::tuple<const char*, std::string_view, std::u16string_view>;

const ToUtf8Case kToUtf8[] = {
    {"empty", u"", ""},
    {"ASCII longer than a fast-path block", u"SELECT * FROM [tContact] WHERE 1", "SELECT * FROM [tContact] WHERE 1"},
    {"two bytes", u"Zo\u00EB", "Zo\xC3\xAB"},
    {"three bytes", u"\u65E5\u672C", "\xE6\x97\xA5\xE6\x9C\xAC"},
    {"a pair is four bytes", u"\xD83D\xDE00", "\xF0\x9F\x98\x80"},
    {"highest code point", u"\xDBFF\xDFFF", "\xF4\x8F\xBF\xBF"},
    {"lone high", u"a\xD800z", "a\xEF\xBF\xBDz"},
    {"lone high at the end", u"abcdefgh\xD83D", "abcdefgh\xEF\xBF\xBD"},
    {"lone low", u"\xDE00x", "\xEF\xBF\xBDx"},
    {"reversed pair", u"\xDE00\xD83D", "\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"high, high, low", u"\xD83D\xD83D\xDE00", "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
    {"ASCII after a pair", u"\xD83D\xDE00 12345678", "\xF0\x9F\x98\x80 12345678"},
    {"U+FFFD itself", u"\uFFFD", "\xEF\xBF\xBD"},
};

TEST(Utf8, Utf16BecomesUtf8AndUnpairedSurrogatesBecomeReplacement) {
    for (const auto& [what, utf16, utf8] : kToUtf8) EXPECT_EQ(calyra::Utf16ToUtf8(utf16), utf8) << what;
}

const ToUtf16Case kToUtf16[] = {
    {"empty", "", u""},
    {"ASCII longer than a fast-path block", "0123456789abcdefXYZ", u"0123456789abcdefXYZ"},
    {"two, three and four bytes", "\xC3\xAB\xE6\x97\xA5\xF0\x9F\x98\x80", u"\u00EB\u65E5\xD83D\xDE00"},
    {"highest code point", "\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"},
    {"zero byte kept", std::string_view("a\0b", 3), std::u16string_view(u"a\0b", 3)},
    {"never a lead byte",
     "a\xFF"
     "b",
     u"a\uFFFDb"},
    {"continuation alone", "\x80\xBF", u"\uFFFD\uFFFD"},
    {"cut short at the end", "\xE6\x97", u"\uFFFD"},
    {"cut short by ASCII", "\xF0\x9F\x98z", u"\uFFFDz"},
    {"overlong two bytes", "\xC0\xAF", u"\uFFFD\uFFFD"},
    {"overlong three bytes", "\xE0\x80\x80", u"\uFFFD\uFFFD\uFFFD"},
    {"overlong four bytes", "\xF0\x8F\xBF\xBF", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
    {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
    {"past U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
    {"five-byte lead", "\xF8\x88\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
    {"invalid inside an ASCII block", "abcdefg\xFFhijklmno", u"abcdefg\uFFFDhijklmno"},
};

TEST(Utf8, Utf8BecomesUtf16AndEachIllFormedSubpartOneReplacement) {
    for (const auto& [what, utf8, utf16] : kToUtf16)
        EXPECT_EQ(calyra::Utf8ToUtf16(utf8), std::u16string(utf16)) << what;
}

TEST(Utf8, EveryScalarValueRoundTrips) {
    std::u16string all;
    for (char32_t cp = 1; cp <= 0x10FFFF; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        if (cp < 0x10000) {
            all += static_cast<char16_t>(cp);
        } else {
            all += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            all += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        }
    }
    EXPECT_TRUE(calyra::Utf8ToUtf16(calyra::Utf16ToUtf8(all)) == all);
}

}  // namespace
