// Contacts keep who they are and what the records cannot hold on the way
// through calyra, run as a person runs it: UIDs, photos, labels, birthdays
// without a year; a second import adds nothing, also after the side state
// is gone; `check` tells items changed by another program, not by calyra.
#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>
#include <vector>

#include "client_run.h"

namespace calyra::test {
namespace {

struct CardRun : OneProfile {
    std::string exported(const std::string& version = "4.0") const {
        return ok({"contacts", "export", "--version", version});
    }
};

// vCards of every version with a fixed seed: names with accents and
// quotes, numbers written several ways, UIDs (or none), photos, labels,
// year-less birthdays, spouses, X- properties, companies and groups.
std::string GeneratedCards(unsigned seed, int count) {
    std::mt19937 random(seed);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    static const char* const kFamily[] = {"Müller", "O'Brien", "Nakamura", "García", "Lindqvist"};
    static const char* const kGiven[] = {"Zoë", "Patrick", "Hans-Jürgen", "Haruto", "Lucía"};
    std::string out;
    for (int i = 0; i < count; ++i) {
        const char* version = (const char*[]){"2.1", "3.0", "4.0"}[pick(3)];
        const std::string n = std::to_string(i);
        out += "BEGIN:VCARD\r\nVERSION:" + std::string(version) + "\r\n";
        if (pick(6) == 0) {
            out += "FN:Company " + n + "\r\nORG:Company " + n + "\r\n";
            if (std::string(version) == "4.0") out += "KIND:org\r\n";
        } else {
            const std::string family = kFamily[pick(5)] + n, given = kGiven[pick(5)];
            out += "N:" + family + ";" + given + ";;;\r\nFN:" + given + " " + family + "\r\n";
        }
        if (pick(4) != 0) out += "UID:urn:uuid:gen-" + std::to_string(seed) + "-" + n + "\r\n";
        out += "TEL;TYPE=" + std::string(pick(2) ? "work" : "home") + ":+49 30 " + std::to_string(1000000 + i) + "\r\n";
        if (pick(2)) out += "item1.TEL;TYPE=x-lab:+44 20 7946 " + n + "\r\nitem1.X-ABLabel:Lab\r\n";
        if (pick(2)) out += "EMAIL:person" + n + "@example.org\r\n";
        if (pick(3) == 0) out += "BDAY:" + std::string(std::string(version) == "4.0" ? "--0415" : "--04-15") + "\r\n";
        if (pick(3) == 0) out += "X-SPOUSE:Sam " + n + "\r\n";
        if (pick(3) == 0) out += "X-MYAPP-RATING:" + std::to_string(pick(5)) + "\r\n";
        if (pick(4) == 0)
            out += std::string(version) == "2.1" ? "PHOTO;ENCODING=BASE64;TYPE=JPEG:/9j/4AAQSkZJRgAB" + n + "\r\n\r\n"
                                                 : "PHOTO;ENCODING=b;TYPE=JPEG:/9j/4AAQSkZJRgAB" + n + "\r\n";
        out += "END:VCARD\r\n";
    }
    return out;
}

// The export of a file, with what differs between files by nature (REV).
std::string Comparable(const std::string& text) { return std::regex_replace(text, std::regex("\r\nREV:[^\r\n]*"), ""); }

TEST(ContactIdentity, RoundTripsGiveEqualExportsAndASecondImportAddsNothing) {
    CardRun files;
    for (const std::string& file :
         {DataFile("vcard/apple_30.vcf"), DataFile("vcard/google_30_folded.vcf"),
          DataFile("vcard/outlook_21_quoted_printable.vcf"), DataFile("vcard/rfc2426_examples.vcf"),
          DataFile("vcard/rfc6350_example.vcf"), files.write("generated.vcf", GeneratedCards(2026, 60))}) {
        SCOPED_TRACE(file);
        CardRun one, two;
        one.ok({"contacts", "import", file});
        const std::string exportOne = one.exported();
        two.import("contacts", exportOne);
        EXPECT_EQ(Comparable(two.exported()), Comparable(exportOne)) << "import, export, import, export differ";
        EXPECT_TRUE(Includes(one.json({"contacts", "import", file}), {{"added", 0}}));
        EXPECT_TRUE(Includes(two.import("contacts", exportOne), {{"added", 0}}));
    }
}

TEST(ContactIdentity, WhatTheRecordsCannotHoldComesBack) {
    CardRun run;
    const std::string card =
        "BEGIN:VCARD\r\nVERSION:4.0\r\nUID:urn:uuid:ada-1\r\nN:Lovelace;Ada;;;\r\nFN:Ada Lovelace\r\n"
        "BDAY:--1210\r\nRELATED;TYPE=spouse;VALUE=text:William King\r\n"
        "item1.TEL;TYPE=x-lab:+44 20 7946 0000\r\nitem1.X-ABLabel:Lab\r\nX-CUSTOM:kept\r\n"
        "PHOTO:data:image/png;base64,iVBORw0KGgo=\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nVERSION:4.0\r\nKIND:org\r\nFN:Analytical Engines Ltd\r\nORG:Analytical Engines\r\n"
        "END:VCARD\r\n";
    run.import("contacts", card);
    const std::string out = run.exported();
    for (const char* kept :
         {"UID:urn:uuid:ada-1", "BDAY:--1210", "William King", "item1.TEL;TYPE=voice,x-lab", "item1.X-ABLABEL:Lab",
          "X-CUSTOM:kept", "PHOTO:data:image/png;base64,iVBORw0KGgo=", "KIND:org", "FN:Analytical Engines Ltd"})
        EXPECT_TRUE(Has(out, kept));
    const Json list = run.json({"contacts", "list"});
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1]["company_name"], "Analytical Engines") << "a company's card stays a company";
    EXPECT_EQ(list[1]["last_name"], "");

    // The same UID with a new name updates the contact.
    const std::string renamed =
        "BEGIN:VCARD\r\nVERSION:4.0\r\nUID:urn:uuid:ada-1\r\nN:King;Ada;;;\r\nFN:Ada King\r\nEND:VCARD\r\n";
    EXPECT_TRUE(Includes(run.import("contacts", renamed), R"({"added": 0, "updated": 1})"_json));
    EXPECT_EQ(run.json({"contacts", "list"})[0]["last_name"], "King");
}

// A KIND:group card names a contact group and its members by UID, also
// when the members come after it in the file.
TEST(ContactIdentity, AGroupCardBecomesAGroupWithItsMembers) {
    CardRun run;
    const std::string file =
        "BEGIN:VCARD\r\nVERSION:4.0\r\nKIND:group\r\nFN:Chess club\r\nUID:urn:uuid:club\r\n"
        "MEMBER:urn:uuid:ada\r\nMEMBER:urn:uuid:bob\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nVERSION:4.0\r\nUID:urn:uuid:ada\r\nN:Lovelace;Ada;;;\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nVERSION:4.0\r\nUID:urn:uuid:bob\r\nN:Smith;Bob;;;\r\nEND:VCARD\r\n";
    for (int added : {2, 0}) EXPECT_TRUE(Includes(run.import("contacts", file), {{"added", added}}));
    EXPECT_EQ(run.json({"contacts", "list"}).size(), 2u) << "the group card is no contact";
    EXPECT_EQ(run.json({"groups", "members", "Chess club"}).size(), 2u);
    // Exported as a group card again (4.0 KIND/MEMBER, 3.0 their X- lines),
    // the group comes back whole, members included, under its UID.
    run.ok({"contacts", "add", "--last-name", "Outsider"});
    run.ok({"groups", "add", "Empty"});
    for (const char* version : {"4.0", "3.0"}) {
        const std::string text = run.exported(version);
        EXPECT_NE(text.find("urn:uuid:club"), std::string::npos) << text;
        CardRun fresh;
        fresh.import("contacts", text);
        EXPECT_EQ(fresh.json({"groups", "members", "Chess club"}).size(), 2u) << version << "\n" << text;
        EXPECT_EQ(fresh.json({"groups", "members", "Empty"}).size(), 0u) << version;
        EXPECT_EQ(Comparable(fresh.exported(version)), Comparable(text)) << version;
    }
}

// Found again by name and number alone, over more than one batch of
// cards: later batches read the stored numbers through a list of the
// profile's detail rows, not by scanning the tables.
TEST(ContactIdentity, LosingTheSideStateDuplicatesNothing) {
    CardRun run;
    run.add("contacts", {"--first-name", "Made", "--last-name", "Here", "--phone", "+49 30 1234567"});
    // A file nobody imported into has no side tables.
    run.exported();
    run.ok({"check"});
    EXPECT_EQ(run.json({"sql", "SELECT COUNT(*) AS n FROM sqlite_master WHERE name LIKE 'calyra%'"})[0][0], "0");
    run.import("contacts", GeneratedCards(7, 2500));
    const std::string before = run.exported();
    EXPECT_NE(before.find("@calyra"), std::string::npos) << "a contact made in calyra exports a derived UID";
    for (const char* table : {"calyra_item", "calyra_sequence", "calyra_meta"})
        run.ok({"sql", std::string("DROP TABLE ") + table});
    EXPECT_TRUE(Includes(run.import("contacts", before), {{"added", 0}}));
    EXPECT_EQ(run.json({"contacts", "list"}).size(), 2501u);
    EXPECT_NE(run.exported().find("@calyra"), std::string::npos);

    // Each card again with an address more: the side rows hash what the
    // contacts hold after it, in every batch.
    std::string more = GeneratedCards(7, 2500);
    for (size_t at = 0; (at = more.find("END:VCARD", at)) != std::string::npos; at += 40)
        more.insert(at, "EMAIL:club@example.org\r\n");
    EXPECT_TRUE(Includes(run.import("contacts", more), R"({"added": 0, "updated": 2500})"_json));
    EXPECT_TRUE(Includes(run.json({"check"}), R"({"contacts_checked": 2501, "contacts_changed": []})"_json));
}

// calyra's own edits keep the hashes current; changes made with another
// program (here plain SQL) are told, for contacts, events and tasks.
TEST(ContactIdentity, CheckTellsItemsChangedByAnotherProgramNotByCalyra) {
    CardRun run;
    run.import("contacts", GeneratedCards(11, 5));
    const std::string ics = run.write(
        "cal.ics", Ics("BEGIN:VEVENT\r\nUID:a@t\r\nDTSTAMP:20260101T000000Z\r\nDTSTART:20270105T090000Z\r\n"
                       "DTEND:20270105T100000Z\r\nSUMMARY:One\r\nEND:VEVENT\r\n"
                       "BEGIN:VEVENT\r\nUID:b@t\r\nDTSTAMP:20260101T000000Z\r\nDTSTART:20270106T090000Z\r\n"
                       "DTEND:20270106T100000Z\r\nSUMMARY:Two\r\nEND:VEVENT\r\n"
                       "BEGIN:VTODO\r\nUID:c@t\r\nDTSTAMP:20260101T000000Z\r\nDUE:20270107T090000Z\r\nSUMMARY:Three\r\n"
                       "END:VTODO\r\nBEGIN:VTODO\r\nUID:d@t\r\nDTSTAMP:20260101T000000Z\r\nDUE:20270108T090000Z\r\n"
                       "SUMMARY:Four\r\nEND:VTODO\r\n"));
    run.ok({"events", "import", ics});
    run.ok({"tasks", "import", ics});
    const Json clean = run.json({"check"});
    EXPECT_TRUE(Includes(clean, R"({"contacts_checked": 5, "contacts_changed": [], "events_checked": 2,
        "events_changed": [], "tasks_checked": 2, "tasks_changed": [], "orphans": 0})"_json));
    // Hashes an older calyra kept (another function): no change, and repair replaces them.
    run.ok({"sql", "UPDATE calyra_item SET hash = substr(hash, 2) || '0'; UPDATE calyra_meta SET value = '2'"});
    EXPECT_EQ(run.json({"check"}), clean);
    run.ok({"check", "--repair"});
    // calyra's own changes: none of them is another program's.
    for (const Args& own : {Args{"contacts", "edit", "1", "--nick-name", "mine", "--phone", "+49 30 555"},
                            Args{"contacts", "rm", "4"}, Args{"events", "edit", "1", "--subject", "Mine"},
                            Args{"tasks", "edit", "1", "--subject", "Mine"}, Args{"tasks", "done", "2"}})
        run.ok(own);
    EXPECT_TRUE(Includes(run.json({"check"}), R"({"contacts_checked": 4, "contacts_changed": [], "events_changed": [],
        "tasks_changed": [], "orphans": 0})"_json));
    run.ok({"sql",
            "UPDATE tContact SET NickName = 'changed' WHERE ContactID = 2; DELETE FROM tContact WHERE "
            "ContactID = 3; UPDATE tEvent SET Subject = 'theirs' WHERE EventID = 2; UPDATE tTask SET Subject = "
            "'theirs' WHERE TaskID = 1"});
    EXPECT_TRUE(
        Includes(run.json({"check"}), R"({"contacts_checked": 3, "contacts_changed": ["2"], "events_changed": ["2"],
        "tasks_changed": ["1"], "orphans": 1})"_json));
    EXPECT_TRUE(Includes(run.json({"check", "--repair"}),
                         R"({"repaired": true, "contacts_changed": ["2"], "orphans": 1})"_json));
    EXPECT_TRUE(Includes(run.json({"check"}), R"({"contacts_checked": 3, "contacts_changed": [], "events_changed": [],
        "tasks_changed": [], "orphans": 0})"_json));
}

}  // namespace
}  // namespace calyra::test
