// Reading the vCard shapes that address books and phones write.
#include <gtest/gtest.h>

#include "interchange/vcard_reader.h"
#include "interchange/vcard_writer.h"
#include "test_data.h"

namespace calyra::interchange {
namespace {

std::string Card(const std::string& body, const std::string& version = "3.0") {
    return "BEGIN:VCARD\r\nVERSION:" + version + "\r\n" + body + "END:VCARD\r\n";
}

TEST(VCardReader, ReadsTheRfc6350Example) {
    auto r = ParseVCards(ReadData("vcard/rfc6350_example.vcf"));
    ASSERT_EQ(r.cards.size(), 1u);
    const ContactCard& c = r.cards[0];
    EXPECT_EQ(std::tie(c.familyName, c.givenName, c.suffixes), std::make_tuple("Perreault", "Simon", "ing. jr M.Sc."));
    EXPECT_EQ(c.birthday, (CardDate{0, 2, 3})) << "a birthday without a year keeps month and day";
    EXPECT_EQ(c.anniversary, (CardDate{2009, 8, 8}));
    EXPECT_EQ(c.addresses, (std::vector<CardAddress>{{Place::Work, false, "", "Suite D2-630", "2875 Laurier", "Quebec",
                                                      "QC", "G1V 2M2", "Canada"}}));
    EXPECT_EQ(c.phones, (std::vector<CardPhone>{
                            {Place::Work, PhoneKind::Voice, true, "+1-418-656-9254;ext=102"},
                            {Place::Work, PhoneKind::Mobile, false, "+1-418-262-6501", "", {"video", "text"}}}))
        << "TYPE values without a field are kept";
    EXPECT_EQ(c.urls, (std::vector<CardAddressText>{{Place::Home, false, "http://nomis80.org"}}));
    EXPECT_TRUE(r.report.diagnostics.empty());
    EXPECT_EQ(r.report.unmapped,
              (std::map<std::string, size_t>{{"GENDER", 1}, {"GEO", 1}, {"KEY", 1}, {"LANG", 2}, {"TZ", 1}}));
}

TEST(VCardReader, DecodesQuotedPrintableAndCharsetsOfVersion21) {
    auto r = ParseVCards(ReadData("vcard/outlook_21_quoted_printable.vcf"));
    ASSERT_EQ(r.cards.size(), 2u);
    const ContactCard& c = r.cards[0];
    EXPECT_EQ(std::tie(c.familyName, c.givenName, c.formattedName, c.organization),
              std::make_tuple("Müller", "Jürgen", "Jürgen Müller", "Straßenbau AG"));
    EXPECT_EQ(c.note, "Erste Zeile\nZweite Zeile mit ä und einer sehr langen Fortsetzung")
        << "soft line breaks join, encoded line breaks stay";
    ASSERT_EQ(c.addresses.size(), 1u);
    EXPECT_EQ(c.addresses[0].street, "Hauptstraße 5\nHinterhaus");
    EXPECT_TRUE(c.addresses[0].preferred);
    EXPECT_EQ(c.birthday, (CardDate{1970, 2, 15}));
    ASSERT_EQ(c.phones.size(), 4u);
    EXPECT_EQ(c.phones[2], (CardPhone{Place::Other, PhoneKind::Mobile, false, "+49 170 1234567"}));
    EXPECT_EQ(c.phones[3], (CardPhone{Place::Work, PhoneKind::Fax, false, "+49 30 1234568"}));
    EXPECT_TRUE(c.emails[0].preferred);
    // The second card's photo runs over unindented lines; none of them may
    // be mistaken for properties.
    EXPECT_EQ(r.cards[1].familyName, "Smith");
    EXPECT_EQ(r.cards[1].phones.size(), 2u);
    EXPECT_TRUE(r.cards[1].phones[0].preferred);
    EXPECT_TRUE(r.report.diagnostics.empty()) << r.report.diagnostics[0].line << ": " << r.report.diagnostics[0].what;
    EXPECT_EQ(r.report.unmapped.at("PHOTO"), 1u);
}

TEST(VCardReader, ReadsInstantMessagingInEveryForm) {
    auto r = ParseVCards(ReadData("vcard/apple_30.vcf"));
    ASSERT_EQ(r.cards.size(), 1u);
    const ContactCard& c = r.cards[0];
    EXPECT_EQ(c.ims, (std::vector<CardIm>{{Place::Home, true, "skype", "johnny.appleseed"},
                                          {Place::Work, false, "jabber", "johnny@jabber.example.org"},
                                          {Place::Home, false, "aim", "johnnyaim"},
                                          {Place::Work, false, "jabber", "johnny@chat.example.com"},
                                          {Place::Other, false, "skype", "johnny_skype"}}));
    EXPECT_EQ(c.addresses[0].place, Place::Home) << "grouped properties (item1.ADR) are read";
    EXPECT_TRUE(c.urls[0].preferred);
    EXPECT_EQ(r.report.unmapped.at("PHOTO"), 1u);
}

TEST(VCardReader, TypeParametersInAllTheirForms) {
    struct Case {
        const char* line;
        CardPhone phone;
        const char* version = "3.0";
    };
    const Case cases[] = {
        {"TEL;TYPE=work,voice:1", {Place::Work, PhoneKind::Voice, false, "1"}},
        {"TEL;TYPE=WORK;TYPE=CELL:1", {Place::Work, PhoneKind::Mobile, false, "1"}},
        {"TEL;TYPE=\"home,fax\":1", {Place::Home, PhoneKind::Fax, false, "1"}},
        {"TEL;type=HOME;type=pref:1", {Place::Home, PhoneKind::Voice, true, "1"}},
        {"TEL;TYPE=pager;PREF=1:1", {Place::Other, PhoneKind::Pager, true, "1"}},
        {"TEL;VALUE=uri;TYPE=cell:tel:+1-555", {Place::Other, PhoneKind::Mobile, false, "+1-555"}},
        {"TEL;WORK;CELL;PREF:1", {Place::Work, PhoneKind::Mobile, true, "1"}, "2.1"},  // 2.1 names the types bare
    };
    for (const auto& c : cases) {
        auto r = ParseVCards(Card(std::string("FN:X\r\n") + c.line + "\r\n", c.version));
        ASSERT_EQ(r.cards.size(), 1u) << c.line;
        EXPECT_EQ(r.cards[0].phones, std::vector<CardPhone>{c.phone}) << c.line;
    }
}

TEST(VCardReader, SkipsBrokenCardsWithTheirLinesAndKeepsTheRest) {
    auto r = ParseVCards(ReadData("vcard/malformed.vcf"));
    std::vector<std::string> names;
    for (const auto& c : r.cards) names.push_back(c.formattedName);
    EXPECT_EQ(names, (std::vector<std::string>{"Good One", "Bad Birthday", "Good Two"}));
    EXPECT_FALSE(r.cards[1].birthday) << "an unreadable birthday is left out, the card kept";
    ExpectDiagnostics(r.report.diagnostics, {{10, true, "no ':'"},
                                             {16, false, "not a date"},
                                             {19, true, "no END:VCARD"},
                                             {28, true, "no name"},
                                             {31, false, "outside"},
                                             {32, true, "end of the file"}});
    EXPECT_EQ(r.report.skippedEntries(), 4u);
}

TEST(VCardReader, ReadsUtf16FilesAndUnlabelledWindows1252) {
    std::string utf16 = "\xFF\xFE";
    // Å is U+00C5; the rest is ASCII.
    for (char ch : Card("FN:\xC5sa\r\n")) utf16 += std::string{ch, '\0'};
    auto fromUtf16 = ParseVCards(utf16);
    ASSERT_EQ(fromUtf16.cards.size(), 1u);
    EXPECT_EQ(fromUtf16.cards[0].formattedName, "Åsa");

    auto latin = ParseVCards(Card("FN:\xC5sa \x80\r\n"));
    ASSERT_EQ(latin.cards.size(), 1u);
    EXPECT_EQ(latin.cards[0].formattedName, "Åsa €");
    ExpectDiagnostics(latin.report.diagnostics, {{3, false, ""}});
    auto odd = ParseVCards("BEGIN:VCARD\r\nVERSION:\xE9\r\nFN:X\r\nEND:VCARD\r\n");
    ASSERT_EQ(odd.report.diagnostics.size(), 1u);
    EXPECT_EQ(odd.report.diagnostics[0].what, "unknown vCard version \"é\"; read as 3.0") << "messages are UTF-8 too";
}

// The embedded card is skipped, its lines with it. One without END once
// swallowed every card after it; it loses only the card it is in.
TEST(VCardReader, EmbeddedAgentCardsAreSkippedAndOneWithoutEndLosesOnlyItsOwnCard) {
    auto r = ParseVCards(
        "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Boss;Big\r\nAGENT:\r\nBEGIN:VCARD\r\nVERSION:2.1\r\nN:Helper;Little\r\n"
        "END:VCARD\r\nTEL:123\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Boss;Big\r\nAGENT:\r\nBEGIN:VCARD\r\nVERSION:2.1\r\nN:Helper\r\n"
        "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Next\r\nEND:VCARD\r\nBEGIN:VCARD\r\nVERSION:3.0\r\nN:Last\r\nEND:VCARD\r\n");
    std::vector<std::string> names;
    for (const auto& c : r.cards) names.push_back(c.familyName);
    EXPECT_EQ(names, (std::vector<std::string>{"Boss", "Next", "Last"}));
    EXPECT_EQ(r.cards[0].phones.size(), 1u);
    EXPECT_EQ(r.report.unmapped.at("AGENT"), 1u);
    ExpectDiagnostics(r.report.diagnostics, {{11, true, "embedded AGENT card has no END:VCARD"}});
    // (That batches cut where the reader sees cards end is the reader fuzz
    // target's check, on a stored input of this shape.)
}

// Encoded line breaks are found in the text, not in the bytes before the
// charset conversion: 0x0D can be half of a UTF-16 unit, and EBCDIC's CR LF
// is 0x0D 0x25.
TEST(VCardReader, QuotedPrintableLineBreaksInOtherCharsets) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"UTF-16BE", "=01=0D=00=0D=00=0A=00x", "\xC4\x8D\nx"},  // č, CR LF, x
        {"UTF-16LE", "=0D=01=0D=00=0A=00x=00", "\xC4\x8D\nx"},
        {"UTF-16BE", "=00a=00=0D=00b", "a\nb"},  // a lone CR
        {"IBM037", "=C1=0D=25=C2", "A\nB"},
        {"IBM037", "=C1=0D=C2", "A\nB"},
        {"UTF-8", "a=0D=0Ab=0Dc", "a\nb\nc"},
    };
    for (const auto& [charset, encoded, note] : cases) {
        SCOPED_TRACE(std::string(charset) + " " + encoded);
        auto r = ParseVCards(Card(
            std::string("N:X\r\nNOTE;CHARSET=") + charset + ";ENCODING=QUOTED-PRINTABLE:" + encoded + "\r\n", "2.1"));
        ASSERT_EQ(r.cards.size(), 1u);
        EXPECT_EQ(r.cards[0].note, note);
        EXPECT_TRUE(r.report.diagnostics.empty());
    }
}

// An old X- property holds the handle itself; only IMPP holds a URI.
TEST(VCardReader, HandlesOfOldImPropertiesKeepWhatLooksLikeAScheme) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"X-SKYPE:live:.cid.1234", "skype", "live:.cid.1234"},
        {"X-SKYPE-USERNAME:live:jo", "skype", "live:jo"},
        {"X-AIM:aol:jo", "aim", "aol:jo"},
        {"X-YAHOO:y:jo", "yahoo", "y:jo"},
        {"X-MSN:live:jo@example.com", "msn", "live:jo@example.com"},
        {"X-QQ:qq:12345", "qq", "qq:12345"},
        {"IMPP:skype:live:.cid.1234", "skype", "live:.cid.1234"},
        {"IMPP:xmpp:jo@example.org", "jabber", "jo@example.org"},
    };
    for (const auto& [line, protocol, address] : cases) {
        auto r = ParseVCards(Card(std::string("FN:Jo\r\n") + line + "\r\n"));
        ASSERT_EQ(r.cards.size(), 1u) << line;
        ASSERT_EQ(r.cards[0].ims.size(), 1u) << line;
        EXPECT_EQ(std::tie(r.cards[0].ims[0].protocol, r.cards[0].ims[0].address), std::make_tuple(protocol, address))
            << line;
    }
}

TEST(VCardReader, DatesInTheirWrittenForms) {
    const std::pair<const char*, std::optional<CardDate>> cases[] = {
        {"1985-04-12", CardDate{1985, 4, 12}},
        {"19850412", CardDate{1985, 4, 12}},
        {"--0412", CardDate{0, 4, 12}},
        {"--04-12", CardDate{0, 4, 12}},
        {"1985-04-12T10:00:00Z", CardDate{1985, 4, 12}},
        {"2000-02-29", CardDate{2000, 2, 29}},
        {"1900-02-29", std::nullopt},
        {"1985-13-01", std::nullopt},
        {"April 12", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [text, date] : cases) EXPECT_EQ(ParseCardDate(text), date) << text;
}

// What the card's fields do not cover comes back from the writer as it
// came in: the UID, a group's KIND and members, a custom label tied to its
// number by the line group, X- properties and a 2.1 photo, in both
// versions written.
TEST(VCardReader, KeepsWhatTheFieldsDoNotCoverForTheWriter) {
    const std::string uuid = "urn:uuid:4fbe8971-0bc3-424c-9c26-36c3e1eff6b1";
    auto r = ParseVCards(
        "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Lovelace;Ada\r\nFN:Ada Lovelace\r\nUID:" + uuid +
        "\r\nitem1.TEL;TYPE=x-lab:+44 20 7946 0000\r\nitem1.X-ABLabel:Lab\r\nX-CUSTOM;CHARSET=ISO-8859-1:caf\xe9\r\n"
        "PHOTO;ENCODING=BASE64;TYPE=JPEG:/9j/4AAQ\r\n SkZJRg==\r\n\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nVERSION:4.0\r\nKIND:group\r\nFN:Chess club\r\nMEMBER:" +
        uuid + "\r\nEND:VCARD\r\n");
    ASSERT_EQ(r.cards.size(), 2u);
    const ContactCard& ada = r.cards[0];
    EXPECT_EQ(ada.uid, uuid);
    ASSERT_EQ(ada.phones.size(), 1u);
    EXPECT_EQ(std::tie(ada.phones[0].group, ada.phones[0].otherTypes),
              std::make_tuple(std::string("item1"), std::vector<std::string>{"x-lab"}));
    EXPECT_EQ(ada.extras, (std::vector<std::string>{"item1.X-ABLABEL:Lab", "X-CUSTOM:café",
                                                    "PHOTO;ENCODING=b;TYPE=jpeg:/9j/4AAQSkZJRg=="}));
    EXPECT_EQ(ada.source.substr(0, 24), "BEGIN:VCARD\r\nVERSION:2.1") << "the card's own text is kept";
    EXPECT_EQ(r.cards[1].kind, "group");
    EXPECT_EQ(r.cards[1].members, std::vector<std::string>{uuid});

    // Where a card stood in its file differs by nature.
    for (auto& card : r.cards) card.line = 0;
    for (VCardVersion version : {VCardVersion::V3, VCardVersion::V4}) {
        auto again = ParseVCards(WriteVCards(r.cards, version)).cards;
        for (auto& card : again) card.line = 0;
        EXPECT_EQ(again, r.cards);
    }
}

}  // namespace
}  // namespace calyra::interchange
