// Writing vCard 3.0 and 4.0 that this reader and other programs read back.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "interchange/text_encoding.h"
#include "interchange/vcard_reader.h"
#include "interchange/vcard_writer.h"

namespace calyra::interchange {
namespace {

std::string ReadData(const std::string& name) {
    auto path = std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "data" / name;
    std::ifstream file(path, std::ios::binary);
    EXPECT_TRUE(file) << "missing test file " << path;
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// What a card means, without where it stood in its file.
ContactCard Meaning(ContactCard c) {
    c.line = 0;
    c.formattedName = DisplayName(c);
    return c;
}

std::vector<std::string> PhysicalLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", start)) {
        lines.push_back(text.substr(start, at - start));
        start = at + 2;
    }
    EXPECT_EQ(start, text.size()) << "every line ends with CRLF";
    return lines;
}

TEST(VCardWriter, EveryTestFileSurvivesWritingAndReadingInBothVersions) {
    for (const char* file : {"vcard/rfc6350_example.vcf", "vcard/rfc2426_examples.vcf",
                             "vcard/outlook_21_quoted_printable.vcf", "vcard/apple_30.vcf",
                             "vcard/google_30_folded.vcf"}) {
        auto original = ParseVCards(ReadData(file));
        ASSERT_FALSE(original.cards.empty()) << file;
        for (VCardVersion version : {VCardVersion::V3, VCardVersion::V4}) {
            const std::string written = WriteVCards(original.cards, version);
            auto again = ParseVCards(written);
            EXPECT_TRUE(again.report.diagnostics.empty()) << file << ": " << again.report.diagnostics[0].what;
            EXPECT_TRUE(again.report.unmapped.empty()) << file << ": wrote " << again.report.unmapped.begin()->first;
            ASSERT_EQ(again.cards.size(), original.cards.size()) << file;
            for (size_t i = 0; i < original.cards.size(); ++i)
                EXPECT_EQ(Meaning(again.cards[i]), Meaning(original.cards[i])) << file << " card " << i << "\n" << written;
        }
    }
}

TEST(VCardWriter, FoldsAt75OctetsWithoutSplittingCharacters) {
    ContactCard c;
    c.givenName = "Long";
    for (int i = 0; i < 40; ++i) c.note += "äö€😀x";
    for (VCardVersion version : {VCardVersion::V3, VCardVersion::V4}) {
        const std::string text = WriteVCard(c, version);
        for (const auto& line : PhysicalLines(text)) {
            EXPECT_LE(line.size(), 75u) << line;
            EXPECT_TRUE(IsValidUtf8(line)) << "a fold split a character: " << line;
        }
        auto again = ParseVCards(text);
        ASSERT_EQ(again.cards.size(), 1u);
        EXPECT_EQ(again.cards[0].note, c.note);
    }
}

TEST(VCardWriter, EscapesTextSoSeparatorsStayText) {
    ContactCard c;
    c.familyName = "O'Brien; Jr";
    c.givenName = "Ann, Marie";
    c.organization = "A;B";
    c.note = "line one\nback\\slash, comma; semicolon";
    c.categories = {"Friends, close", "Work"};
    c.addresses.push_back({Place::Home, false, "", "", "1 Main St, Apt 2", "Town", "", "", ""});
    const std::string text = WriteVCard(c, VCardVersion::V3);
    EXPECT_NE(text.find("NOTE:line one\\nback\\\\slash\\, comma\\; semicolon\r\n"), std::string::npos) << text;
    auto again = ParseVCards(text);
    ASSERT_EQ(again.cards.size(), 1u);
    EXPECT_EQ(Meaning(again.cards[0]), Meaning(c));
}

TEST(VCardWriter, WritesEachVersionsOwnForms) {
    ContactCard c;
    c.familyName = "Doe";
    c.birthday = CardDate{0, 4, 12};
    c.anniversary = CardDate{2001, 5, 6};
    c.spouse = "Jane";
    c.phones.push_back({Place::Work, PhoneKind::Mobile, true, "+1 555"});
    c.ims.push_back({Place::Home, false, "jabber", "jd@example.org"});
    const std::string v3 = WriteVCard(c, VCardVersion::V3);
    const std::string v4 = WriteVCard(c, VCardVersion::V4);
    EXPECT_NE(v3.find("VERSION:3.0\r\n"), std::string::npos);
    EXPECT_NE(v3.find("TEL;TYPE=cell,work,pref:+1 555\r\n"), std::string::npos) << v3;
    EXPECT_NE(v3.find("X-ANNIVERSARY:2001-05-06\r\n"), std::string::npos) << v3;
    EXPECT_NE(v3.find("X-SPOUSE:Jane\r\n"), std::string::npos) << v3;
    EXPECT_NE(v3.find("IMPP;TYPE=home:xmpp:jd@example.org\r\n"), std::string::npos) << v3;
    EXPECT_NE(v4.find("VERSION:4.0\r\n"), std::string::npos);
    EXPECT_NE(v4.find("TEL;TYPE=cell,work;PREF=1:+1 555\r\n"), std::string::npos) << v4;
    EXPECT_NE(v4.find("BDAY:--0412\r\n"), std::string::npos) << v4;
    EXPECT_NE(v4.find("ANNIVERSARY:20010506\r\n"), std::string::npos) << v4;
    EXPECT_NE(v4.find("FN:Doe\r\n"), std::string::npos) << "4.0 requires FN: " << v4;
}

TEST(VCardWriter, KeepsServicesWithoutAUriScheme) {
    ContactCard c;
    c.givenName = "X";
    c.ims = {{Place::Other, false, "aim", "a1"}, {Place::Other, false, "matrix", "@x:example.org"},
             {Place::Work, true, "foo chat", "fx"}};
    auto again = ParseVCards(WriteVCard(c, VCardVersion::V4));
    ASSERT_EQ(again.cards.size(), 1u);
    EXPECT_EQ(again.cards[0].ims, c.ims);
}

}  // namespace
}  // namespace calyra::interchange
