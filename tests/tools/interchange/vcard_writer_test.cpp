// Writing vCard 3.0 and 4.0 that this reader and other programs read back.
#include <gtest/gtest.h>

#include "interchange/text_encoding.h"
#include "interchange/vcard_reader.h"
#include "interchange/vcard_writer.h"
#include "test_data.h"

namespace calyra::interchange {

// Details print as their texts, so a failed comparison shows what changed
// (gtest finds PrintTo beside the type).
static std::string Q(const std::string& text) { return testing::PrintToString(text); }
void PrintTo(const CardDate& d, std::ostream* os) { *os << d.year << '-' << d.month << '-' << d.day; }
void PrintTo(const CardAddress& a, std::ostream* os) {
    *os << int(a.place) << a.preferred << Q(a.poBox) << Q(a.extended) << Q(a.street) << Q(a.locality) << Q(a.region)
        << Q(a.postalCode) << Q(a.country);
}
void PrintTo(const CardPhone& p, std::ostream* os) { *os << int(p.place) << int(p.kind) << p.preferred << Q(p.number); }
void PrintTo(const CardAddressText& t, std::ostream* os) { *os << int(t.place) << t.preferred << Q(t.text); }
void PrintTo(const CardIm& m, std::ostream* os) { *os << int(m.place) << m.preferred << Q(m.protocol) << Q(m.address); }

namespace {

// What a card means, without where it stood in its file.
ContactCard Meaning(ContactCard c) {
    c.line = 0;
    c.formattedName = DisplayName(c);
    return c;
}

void ExpectSameCard(const ContactCard& got, const ContactCard& want, const std::string& context) {
    static const std::pair<const char*, std::string ContactCard::*> kTexts[] = {
        {"FN", &ContactCard::formattedName},   {"family name", &ContactCard::familyName},
        {"given name", &ContactCard::givenName}, {"additional names", &ContactCard::additionalNames},
        {"prefixes", &ContactCard::prefixes},   {"suffixes", &ContactCard::suffixes},
        {"nickname", &ContactCard::nickname},   {"spouse", &ContactCard::spouse},
        {"organization", &ContactCard::organization}, {"department", &ContactCard::department},
        {"title", &ContactCard::title},         {"note", &ContactCard::note},
    };
    const ContactCard a = Meaning(got), b = Meaning(want);
    for (const auto& [field, member] : kTexts) EXPECT_EQ(a.*member, b.*member) << context << ": " << field;
    EXPECT_EQ(a.birthday, b.birthday) << context << ": birthday";
    EXPECT_EQ(a.anniversary, b.anniversary) << context << ": anniversary";
    EXPECT_EQ(a.addresses, b.addresses) << context << ": addresses";
    EXPECT_EQ(a.phones, b.phones) << context << ": phones";
    EXPECT_EQ(a.emails, b.emails) << context << ": e-mail";
    EXPECT_EQ(a.urls, b.urls) << context << ": web addresses";
    EXPECT_EQ(a.ims, b.ims) << context << ": instant messaging";
    EXPECT_EQ(a.categories, b.categories) << context << ": categories";
    EXPECT_TRUE(a == b) << context << ": a field not compared above differs";
}

std::string CardText(const char* version, const std::string& body) {
    return std::string("BEGIN:VCARD\r\nVERSION:") + version + "\r\nN:Doe;Jo\r\n" + body + "END:VCARD\r\n";
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

TEST(VCardWriter, CardsSurviveWritingAndReadingInBothVersions) {
    struct Case {
        std::string what, text;
    };
    const Case cases[] = {
        {"rfc6350_example.vcf", ReadData("vcard/rfc6350_example.vcf")},
        {"rfc2426_examples.vcf", ReadData("vcard/rfc2426_examples.vcf")},
        {"outlook_21_quoted_printable.vcf", ReadData("vcard/outlook_21_quoted_printable.vcf")},
        {"apple_30.vcf", ReadData("vcard/apple_30.vcf")},
        {"google_30_folded.vcf", ReadData("vcard/google_30_folded.vcf")},
        // Cards that once lost data, or the whole card, on the way.
        {"a line break in a parameter", CardText("3.0", "IMPP;X-SERVICE-TYPE=a^nb:c\r\n")},
        {"lone carriage returns", CardText("2.1", "NOTE;ENCODING=QUOTED-PRINTABLE:a=0Db\r\n"
                                                  "ADR;ENCODING=QUOTED-PRINTABLE:;;1=0DMain;;;;\r\n"
                                                  "ORG;ENCODING=QUOTED-PRINTABLE:Acme;R=0DD\r\n")},
        {"handles that look like URI parts", CardText("3.0", "X-AIM://x\r\nX-JABBER:a?b\r\nX-ICQ:1%41\r\n")},
        {"doubled schemes", CardText("3.0", "TEL:tel:tel:1\r\nEMAIL:mailto:mailto:a@b\r\n")},
        {"a spouse with a colon", CardText("3.0", "X-SPOUSE:Dr: Who\r\n")},
        {"a Latin-1 service name", CardText("3.0", "IMPP;X-SERVICE-TYPE=Caf\xE9:c\r\n")},
    };
    for (const auto& c : cases) {
        auto original = ParseVCards(c.text);
        ASSERT_FALSE(original.cards.empty()) << c.what;
        for (VCardVersion version : {VCardVersion::V3, VCardVersion::V4}) {
            const std::string context = c.what + (version == VCardVersion::V3 ? " as 3.0" : " as 4.0");
            const std::string written = WriteVCards(original.cards, version);
            EXPECT_TRUE(IsValidUtf8(written)) << context << ": a text read is not UTF-8\n" << written;
            auto again = ParseVCards(written);
            EXPECT_TRUE(again.report.diagnostics.empty()) << context << ": " << again.report.diagnostics[0].what;
            EXPECT_TRUE(again.report.unmapped.empty()) << context << ": wrote " << again.report.unmapped.begin()->first;
            ASSERT_EQ(again.cards.size(), original.cards.size()) << context << "\n" << written;
            for (size_t i = 0; i < original.cards.size(); ++i)
                ExpectSameCard(again.cards[i], original.cards[i], context + " card " + std::to_string(i));
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
