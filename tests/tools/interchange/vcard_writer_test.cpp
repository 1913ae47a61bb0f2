// Writing vCard 3.0 and 4.0 that this reader and other programs read back.
// That any card read comes back the same through both versions is checked on
// the stored fuzz corpus; these tests pin what each version writes.
#include <gtest/gtest.h>

#include "interchange/text_encoding.h"
#include "interchange/vcard_reader.h"
#include "interchange/vcard_writer.h"
#include "test_data.h"

namespace calyra::interchange {
namespace {

// What a card means, without where it stood in its file.
ContactCard Meaning(ContactCard c) {
    c.line = 0;
    c.formattedName = DisplayName(c);
    return c;
}

std::string Card(const char* version, const std::string& body) {
    return std::string("BEGIN:VCARD\r\nVERSION:") + version + "\r\nN:Doe;Jo\r\n" + body + "END:VCARD\r\n";
}

TEST(VCardWriter, WritesOnlyWhatTheReaderPlacesAndLosesNothing) {
    const std::string cases[] = {
        ReadData("vcard/rfc6350_example.vcf"),
        ReadData("vcard/rfc2426_examples.vcf"),
        ReadData("vcard/outlook_21_quoted_printable.vcf"),
        ReadData("vcard/apple_30.vcf"),
        ReadData("vcard/google_30_folded.vcf"),
        // Cards that once came back changed: a line break and Latin-1 in a
        // parameter, handles that look like URI parts, doubled schemes, a
        // spouse with a colon, lone carriage returns.
        Card("3.0", "IMPP;X-SERVICE-TYPE=a^nb:c\r\n"),
        Card("3.0", "IMPP;X-SERVICE-TYPE=Caf\xE9:c\r\n"),
        Card("3.0", "X-AIM://x\r\nX-JABBER:a?b\r\nX-ICQ:1%41\r\n"),
        Card("3.0", "TEL:tel:tel:1\r\nEMAIL:mailto:mailto:a@b\r\nX-SPOUSE:mailto:Dr: Who\r\n"),
        Card("2.1",
             "NOTE;ENCODING=QUOTED-PRINTABLE:a=0Db\r\nADR;ENCODING=QUOTED-PRINTABLE:;;1=0DMain;;;;\r\n"
             "ORG;ENCODING=QUOTED-PRINTABLE:Acme;R=0DD\r\n"),
    };
    for (const auto& text : cases) {
        const auto before = ParseVCards(text).cards;
        ASSERT_FALSE(before.empty()) << text;
        for (VCardVersion version : {VCardVersion::V3, VCardVersion::V4}) {
            const std::string written = WriteVCards(before, version);
            EXPECT_TRUE(IsValidUtf8(written)) << "a text read is not UTF-8\n" << written;
            for (size_t start = 0, end; (end = written.find("\r\n", start)) != std::string::npos; start = end + 2)
                EXPECT_LE(end - start, 75u) << "an unfolded line: " << written.substr(start, end - start);
            auto again = ParseVCards(written);
            EXPECT_TRUE(again.report.diagnostics.empty()) << again.report.diagnostics[0].what << "\n" << written;
            EXPECT_TRUE(again.report.unmapped.empty()) << "wrote " << again.report.unmapped.begin()->first;
            ASSERT_EQ(again.cards.size(), before.size()) << written;
            for (size_t i = 0; i < before.size(); ++i)
                EXPECT_TRUE(Meaning(again.cards[i]) == Meaning(before[i])) << "card " << i << " differs:\n" << written;
        }
    }
}

TEST(VCardWriter, WritesEachVersionsOwnForms) {
    ContactCard c;
    c.familyName = "Doe";
    c.birthday = CardDate{0, 4, 12};
    c.anniversary = CardDate{2001, 5, 6};
    c.spouse = "Jane";
    c.note = "line one\nback\\slash, comma; semicolon";
    c.phones.push_back({Place::Work, PhoneKind::Mobile, true, "+1 555"});
    c.ims.push_back({Place::Home, false, "jabber", "jd@example.org"});
    const std::string v3 = WriteVCard(c, VCardVersion::V3);
    const std::string v4 = WriteVCard(c, VCardVersion::V4);
    for (const char* line :
         {"VERSION:3.0", "TEL;TYPE=cell,work,pref:+1 555", "X-ANNIVERSARY:2001-05-06", "X-SPOUSE:Jane",
          "IMPP;TYPE=home:xmpp:jd@example.org", "NOTE:line one\\nback\\\\slash\\, comma\\; semicolon"})
        EXPECT_NE(v3.find(std::string("\r\n") + line + "\r\n"), std::string::npos) << line << " in\n" << v3;
    // 4.0 requires FN.
    for (const char* line :
         {"VERSION:4.0", "TEL;TYPE=cell,work;PREF=1:+1 555", "BDAY:--0412", "ANNIVERSARY:20010506", "FN:Doe"})
        EXPECT_NE(v4.find(std::string("\r\n") + line + "\r\n"), std::string::npos) << line << " in\n" << v4;
}

}  // namespace
}  // namespace calyra::interchange
