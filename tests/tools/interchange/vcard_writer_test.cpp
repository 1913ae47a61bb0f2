// Writing vCard 3.0 and 4.0 that this reader and other programs read back.
// That any card read comes back the same through both versions, as UTF-8
// folded at 75 octets, is checked on the stored fuzz corpus (the sample
// files and every card that once came back changed); this test pins what
// each version writes.
#include <gtest/gtest.h>

#include "interchange/vcard_reader.h"
#include "interchange/vcard_writer.h"

namespace calyra::interchange {
namespace {

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

// The reader drops blanks at either end of a value, so the writer must not
// write them: an export of " Anna" read and exported again would differ
// from the first export.
TEST(VCardWriter, ExportsDoNotDriftThroughAReading) {
    ContactCard c;
    c.familyName = " Doe ";
    c.spouse = " Anna";
    c.title = "Boss\n";
    c.organization = " ACME";
    c.note = " keeps its blanks ";
    c.phones.push_back({Place::Work, PhoneKind::Voice, false, " "});
    c.emails.push_back({Place::Home, false, " jo@example.org"});
    c.ims.push_back({Place::Home, false, "skype", "live:.cid.1234 "});
    c.categories = {" ", "Friends "};
    for (VCardVersion version : {VCardVersion::V3, VCardVersion::V4}) {
        const std::string first = WriteVCard(c, version);
        const auto read = ParseVCards(first);
        ASSERT_EQ(read.cards.size(), 1u) << first;
        EXPECT_EQ(WriteVCard(read.cards[0], version), first);
        EXPECT_EQ(read.cards[0].spouse, "Anna");
        EXPECT_EQ(read.cards[0].note, " keeps its blanks ");
        EXPECT_EQ(read.cards[0].ims.at(0).address, "live:.cid.1234");
    }
    EXPECT_NE(WriteVCard(c, VCardVersion::V3).find("\r\nX-SPOUSE:Anna\r\n"), std::string::npos);
}

}  // namespace
}  // namespace calyra::interchange
