// Decoding the encodings address-book files come in.
#include <gtest/gtest.h>

#include "interchange/content_line.h"
#include "interchange/text_encoding.h"

namespace calyra::interchange {
namespace {

TEST(TextEncoding, QuotedPrintable) {
    // Encoded, decoded, and whether the decoder calls it malformed.
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"J=FCrgen", "J\xFCrgen", false},
        {"a=3Db", "a=b", false},
        {"line=0D=0Anext", "line\r\nnext", false},
        {"soft=", "soft", false},
        {"lower=c3=a9", "lower\xC3\xA9", false},
        {"bad=ZZ", "bad=ZZ", true},
        {"short=4", "short=4", true},
    };
    for (const auto& [in, out, malformed] : cases) {
        bool found = false;
        EXPECT_EQ(DecodeQuotedPrintable(in, &found), out) << in;
        EXPECT_EQ(found, malformed) << in;
    }
}

TEST(TextEncoding, CharsetsBecomeUtf8) {
    EXPECT_EQ(ConvertToUtf8("\xFC", "ISO-8859-1"), "ü");
    EXPECT_EQ(ConvertToUtf8("\x80", "windows-1252"), "€");
    std::string tamil;  // each TSCII 0x82 is four letters, 12 bytes of UTF-8
    for (int i = 0; i < 8; ++i) tamil += "ஸ்ரீ";
    EXPECT_EQ(ConvertToUtf8(std::string(8, '\x82'), "TSCII"), tamil) << "text growing more than fourfold";
    EXPECT_EQ(ConvertToUtf8("\xFC", "UTF-8"), std::nullopt) << "bytes that are not UTF-8";
    EXPECT_EQ(ConvertToUtf8("x", "NO-SUCH-CHARSET"), std::nullopt);
}

TEST(TextEncoding, Utf8Validation) {
    const std::pair<const char*, bool> cases[] = {
        {"plain", true},         {"\xC3\xA9", true},          {"\xF0\x9F\x98\x80", true},
        {"\xC3", false},         {"\xC0\xAF", false},         {"\xE0\x80\xAF", false},
        {"\xED\xA0\x80", false}, {"\xF4\x90\x80\x80", false}, {"\xFF", false},
    };
    for (const auto& [text, valid] : cases) EXPECT_EQ(IsValidUtf8(text), valid) << text;
}

TEST(TextEncoding, ByteOrderMarks) {
    EXPECT_EQ(NormalizeInput("\xEF\xBB\xBFX"), "X");
    EXPECT_EQ(NormalizeInput(std::string("\xFE\xFF\x00\xE9\xD8\x3D\xDE\x00", 8)), "é😀")
        << "UTF-16BE with a surrogate pair";
}

TEST(ContentLine, ParametersInTheirWrittenForms) {
    ContentLine l;
    std::string error;
    ASSERT_TRUE(ParseContentLine({7, "item1.ADR;TYPE=\"home,pref\";LABEL=\"a;b:c\";X-Q=^'q^'^n:;;x"}, &l, &error))
        << error;
    EXPECT_EQ(std::tie(l.group, l.name, l.value), std::make_tuple("item1", "ADR", ";;x"));
    EXPECT_TRUE(l.hasType("home") && l.hasType("pref"));
    EXPECT_EQ(l.param("LABEL"), std::vector<std::string>{"a;b:c"});
    EXPECT_EQ(l.param("X-Q"), std::vector<std::string>{"\"q\"\n"});

    ASSERT_TRUE(ParseContentLine({1, "NOTE;QUOTED-PRINTABLE;CHARSET=UTF-8:x=3D"}, &l, &error));
    EXPECT_EQ(l.param("ENCODING"), std::vector<std::string>{"QUOTED-PRINTABLE"});
    EXPECT_EQ(l.param("CHARSET"), std::vector<std::string>{"UTF-8"});

    EXPECT_FALSE(ParseContentLine({1, "no colon here"}, &l, &error));
    EXPECT_FALSE(ParseContentLine({1, ":value"}, &l, &error));
    EXPECT_FALSE(ParseContentLine({1, "X;P=\"open:value"}, &l, &error));
}

TEST(ContentLine, UnfoldsSpacesAndTabsAndCountsPhysicalLines) {
    ContentLineReader reader("A:one\r\n two\r\n\tthree\r\n\r\nB:x\nC:y\rD:z");
    auto a = reader.next();
    ASSERT_TRUE(a);
    EXPECT_EQ(std::tie(a->text, a->line), std::make_tuple("A:onetwothree", 1u));
    a = reader.next();
    EXPECT_EQ(std::tie(a->text, a->line), std::make_tuple("B:x", 5u));
    EXPECT_EQ(reader.next()->line, 6u);
    EXPECT_EQ(reader.next()->text, "D:z");
    EXPECT_FALSE(reader.next());
}

}  // namespace
}  // namespace calyra::interchange
