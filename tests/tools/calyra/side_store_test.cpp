// The side store through a client session on a real file: what it keeps,
// that it is made only by a write, and that a record table made again
// (an upgrade) never leaves an old side row on a new, unrelated item.
#include "side_store/side_store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "idl/owned_record.h"
#include "platform/bstr.h"
#include "platform/com_ptr.h"
#include "platform/com_runtime.h"
#include "session/query_rows.h"
#include "session/session.h"
#include "session/transaction.h"
#include "support/side_state.h"
#include "support/temp_dir.h"

namespace calyra::cli {
namespace {

using test::TempDir;

class SideStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        open();
        addProfile();
    }

    void addProfile() {
        OwnedRecord<tagProfileInfo> profile;
        profile.bstrName = SysAllocString(u"Phone");
        Bstr id;
        ASSERT_EQ(m_session->access<IProfileAccess>()->AddProfile(nullptr, &profile, &id), S_OK);
        m_session->resetProfile();
    }

    void open() {
        m_session.reset();
        GlobalOptions options;
        options.db = m_dir.file("pim.db").string();
        m_session = std::make_unique<Session>(options);
    }

    std::string addContact(const std::u16string& lastName) {
        OwnedRecord<tagContactInfo> c;
        c.bstrLastName = SysAllocStringLen(lastName.data(), static_cast<UINT>(lastName.size()));
        LONG err = 0;
        Bstr id;
        EXPECT_EQ(m_session->access<IContactAccess>()->AddContact(&err, &c, &id), S_OK);
        return id.utf8();
    }

    TextRows rows(std::u16string_view sql) { return QueryRows(m_session->connection(), sql); }
    HRESULT exec(std::u16string_view sql) { return m_session->connection()->Execute(nullptr, Bstr(sql), nullptr); }

    // IDs are the numbers AddContact gives.
    std::string lastName(const std::string& id) {
        const auto found = rows(u"SELECT [LastName] FROM [tContact] WHERE [ContactID] = " + Utf8ToUtf16(id));
        return found.empty() ? std::string("(gone)") : found[0][0];
    }

    // Runs `change` on a store in a transaction that commits.
    void write(const std::function<void(SideStore&)>& change) {
        Transaction tx(*m_session);
        SideStore store(*m_session);
        change(store);
        tx.commit();
    }

    // Stores side state for a contact, hashed by its last name.
    SideItem keep(const std::string& id, const std::string& uid, std::string original = "") {
        SideItem item{ItemFamily::Contact, id, "1", uid, ContentHash(lastName(id)), std::move(original), ""};
        write([&](SideStore& store) { store.put(item); });
        return item;
    }

    static TextRows SideSchema(IPimDbAccess* db) {
        return QueryRows(db, u"SELECT name, sql FROM sqlite_master WHERE name LIKE 'calyra%' ORDER BY name;");
    }
    TextRows sideSchema() { return SideSchema(m_session->connection()); }
    // The side tables of a file the component's tests make
    // (support/side_state.h).
    static TextRows MadeByTheComponentTests() {
        TempDir other;
        GlobalOptions options;
        options.db = other.file("pim.db").string();
        Session made(options);
        test::AddSideState(made.connection());
        return SideSchema(made.connection());
    }

    TempDir m_dir;
    std::unique_ptr<Session> m_session;
};

// Derived UIDs come back the same without side state; the store is made
// only by a write that commits; it keeps what it is given, finds it by row
// and UID and forgets what is gone.
TEST_F(SideStoreTest, IsMadeByAWriteKeepsWhatItIsGivenAndForgetsWhatIsGone) {
    const std::string a = addContact(u"Ada"), b = addContact(u"O'Brien");
    const std::string uid = SideStore(*m_session).derivedUid("1", ItemFamily::Contact, a);
    open();
    m_session->resetProfile();
    SideStore empty(*m_session);
    EXPECT_EQ(empty.derivedUid("1", ItemFamily::Contact, a), uid) << "not rebuilt from the file";
    EXPECT_EQ(empty.uidOf("1", ItemFamily::Contact, a), uid);
    EXPECT_NE(empty.derivedUid("1", ItemFamily::Task, a), uid);
    EXPECT_NE(empty.derivedUid("1", ItemFamily::Contact, "999"), uid);
    EXPECT_FALSE(empty.present());
    EXPECT_EQ(empty.find(ItemFamily::Contact, a), std::nullopt);
    EXPECT_TRUE(empty.sweep().recreated.empty());
    EXPECT_TRUE(sideSchema().empty()) << "reading and sweeping a file without side state made tables";
    {
        Transaction tx(*m_session);
        SideStore(*m_session).put({ItemFamily::Contact, a, "1", "u", "h", "", ""});
    }  // rolled back
    EXPECT_TRUE(sideSchema().empty());

    // An original far longer than a record field, with quotes and a
    // character outside the BMP, comes back whole.
    std::string original = "BEGIN:VCARD\r\nNOTE:it's 🎉\r\n";
    while (original.size() < 70000) original += "X-LINE:" + std::to_string(original.size()) + "\r\n";
    const SideItem kept = keep(a, "urn:uuid:a'1", original);
    keep(b, "b@example.org");
    // The component's tests put side state into their files by statements
    // of their own (support/side_state.h): they must make these tables.
    EXPECT_EQ(sideSchema(), MadeByTheComponentTests());

    SideStore store(*m_session);
    EXPECT_EQ(store.find(ItemFamily::Contact, a), kept);
    EXPECT_EQ(store.findByUid("1", ItemFamily::Contact, "urn:uuid:a'1"), kept);
    EXPECT_EQ(store.findByUid("2", ItemFamily::Contact, "urn:uuid:a'1"), std::nullopt) << "another profile";
    EXPECT_EQ(store.findByUid("1", ItemFamily::Event, "urn:uuid:a'1"), std::nullopt) << "another family";
    const auto both = store.findByUids("1", ItemFamily::Contact, {"b@example.org", "urn:uuid:a'1", "none"});
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both.at("b@example.org").rowId, b);

    // Put again replaces, also beside a new item and when an item is given
    // twice in one write (the last wins); erase forgets.
    SideItem changed = kept, last = kept;
    changed.uid = "other";
    last.uid = "last";
    const std::string c = addContact(u"Cleo");
    write([&](SideStore& writer) {
        writer.put(std::vector<SideItem>{changed, {ItemFamily::Contact, c, "1", "c", "h", "", "n:cleo"}, last});
        writer.erase(ItemFamily::Contact, b);
    });
    SideStore after(*m_session);
    EXPECT_EQ(after.find(ItemFamily::Contact, a), last);
    EXPECT_EQ(after.find(ItemFamily::Contact, c)->uid, "c");
    EXPECT_EQ(after.find(ItemFamily::Contact, b), std::nullopt);

    // An item that is gone is not found, and a sweep takes its row away.
    ASSERT_EQ(m_session->access<IContactAccess>()->DeleteContactByID(nullptr, Bstr::FromUtf8(c)), S_OK);
    EXPECT_EQ(SideStore(*m_session).find(ItemFamily::Contact, c), std::nullopt);
    write([](SideStore& writer) { EXPECT_EQ(writer.sweep().orphans, 1u); });
    EXPECT_EQ(rows(u"SELECT COUNT(*) FROM calyra_item;")[0][0], "1");
}

// Each older version and an unknown one: after the upgrade, every side row
// the store still gives names the item it was written for (same content),
// and a contact added afterwards never inherits an old one.
TEST_F(SideStoreTest, AnUpgradeNeverAttachesOldSideStateToOtherItems) {
    for (const char* version : {"090925", "100406", "100528", "999999"}) {
        SCOPED_TRACE(version);
        m_session.reset();
        std::filesystem::remove(m_dir.file("pim.db"));
        SetUp();  // a fresh file per version
        const std::string a = addContact(u"Ada"), b = addContact(u"Bea");
        keep(a, "a");
        keep(b, "b");
        ASSERT_EQ(exec(u"UPDATE [tVer] SET [VerString] = '" + Utf8ToUtf16(version) + u"';"), S_OK);
        m_session.reset();
        {
            // The component itself opens it, as any program would: it
            // upgrades an older version and starts an unknown one over.
            ComPtr<IPimManagement> management;
            ASSERT_EQ(CoCreateInstance(CLSID_PimManagement, nullptr, CLSCTX_ALL, IID_IPimManagement,
                                       reinterpret_cast<void**>(&management)),
                      S_OK);
            ASSERT_EQ(management->OpenPimDatabase(nullptr, Bstr(u"calyra"), Bstr(u"calyra"),
                                                  Bstr::FromUtf8(m_dir.file("pim.db").string())),
                      S_OK);
            management->ClosePimDatabase(nullptr);
        }
        open();
        m_session->resetProfile();
        // An upgrade that started over needs a new profile (and new contacts).
        if (rows(u"SELECT [ProfileID] FROM [tProfile];").empty()) addProfile();
        const std::string c = addContact(u"Cleo");
        // Before the sweep and after it.
        for (const char* when : {"before", "after"}) {
            SideStore store(*m_session);
            for (const std::string& id : {a, b, c}) {
                if (auto item = store.find(ItemFamily::Contact, id)) {
                    EXPECT_EQ(item->hash, ContentHash(lastName(id)))
                        << "contact " << id << " (" << lastName(id) << ") got the side row of another, " << when;
                }
            }
            write([](SideStore& writer) { writer.sweep(); });
        }
        const auto left =
            rows(u"SELECT COUNT(*) FROM calyra_item WHERE row_id NOT IN (SELECT ContactID FROM tContact);");
        EXPECT_EQ(left[0][0], "0") << "orphans left after the sweep";
    }
}

// Side tables an older calyra made (match keys in a table of their own)
// read as they are, and the first write brings them up to date: each key
// moves into its item's row, a key without a row keeps its item findable.
TEST_F(SideStoreTest, OlderSideTablesReadAsTheyAreAndAWriteUpgradesThem) {
    const std::string a = addContact(u"Ada"), b = addContact(u"Bea"), c = addContact(u"Cleo");
    ASSERT_EQ(a + b + c, "123");
    for (const char16_t* sql : {
             u"CREATE TABLE calyra_item (family TEXT NOT NULL, row_id INTEGER NOT NULL, profile_id INTEGER NOT NULL, "
             u"uid TEXT NOT NULL, hash TEXT NOT NULL, original TEXT NOT NULL, PRIMARY KEY (family, row_id));",
             u"CREATE INDEX calyra_item_uid ON calyra_item (profile_id, family, uid);",
             u"CREATE TABLE calyra_match_key (profile_id INTEGER NOT NULL, family TEXT NOT NULL, key TEXT NOT NULL, "
             u"row_id INTEGER NOT NULL);",
             u"CREATE INDEX calyra_match_key_key ON calyra_match_key (profile_id, family, key);",
             u"CREATE INDEX calyra_match_key_row ON calyra_match_key (family, row_id);",
             u"CREATE TABLE calyra_sequence (family TEXT PRIMARY KEY NOT NULL, seq INTEGER NOT NULL);",
             u"CREATE TABLE calyra_meta (name TEXT PRIMARY KEY NOT NULL, value TEXT NOT NULL);",
             u"INSERT INTO calyra_meta VALUES ('version', '1');",
             u"INSERT INTO calyra_sequence VALUES ('contact', 3);",
             u"INSERT INTO calyra_item VALUES ('contact', 1, 1, 'ua', 'ha', 'BEGIN:VCARD'), ('contact', 2, 1, 'ub', "
             u"'hb', '');",
             u"INSERT INTO calyra_match_key VALUES (1, 'contact', 'n:ada', 1), (1, 'contact', 'n:cleo', 3);",
         })
        ASSERT_EQ(exec(sql), S_OK);
    auto check = [&](const char* when) {
        SCOPED_TRACE(when);
        SideStore store(*m_session);
        const SideItem kept = store.find(ItemFamily::Contact, a).value_or(SideItem{});
        EXPECT_EQ(kept.uid + " " + kept.hash + " " + kept.original, "ua fnv1a:ha BEGIN:VCARD") << "an older hash";
        EXPECT_EQ(store.find(ItemFamily::Contact, c), std::nullopt);
        EXPECT_EQ(store.findKeys("1", ItemFamily::Contact, {"n:ada", "n:cleo"}),
                  (std::vector<MatchKey>{{"n:ada", a}, {"n:cleo", c}}));
    };
    check("read as it is");
    write([&](SideStore& store) { store.put(SideItem{ItemFamily::Contact, b, "1", "ub", "hb", "", "n:bea"}); });
    check("after the upgrade");
    SideStore store(*m_session);
    EXPECT_EQ(store.find(ItemFamily::Contact, a)->matchKey, "n:ada");
    EXPECT_EQ(store.findKeys("1", ItemFamily::Contact, {"n:bea"}), (std::vector<MatchKey>{{"n:bea", b}}));
    EXPECT_EQ(rows(u"SELECT value FROM calyra_meta WHERE name = 'version';")[0][0], "4");
    EXPECT_TRUE(rows(u"SELECT 1 FROM sqlite_master WHERE name = 'calyra_match_key';").empty());
}

// The previous version's rows and hashes stay as they are; its first
// write makes its indexes as a new file has them.
TEST_F(SideStoreTest, PreviousSideTablesKeepTheirRowsAndGetTodaysIndexes) {
    const std::string a = addContact(u"Ada");
    for (const char16_t* sql : {
             u"CREATE TABLE calyra_item (family TEXT NOT NULL, row_id INTEGER NOT NULL, profile_id INTEGER NOT NULL, "
             u"uid TEXT NOT NULL, hash TEXT NOT NULL, original TEXT NOT NULL, match_key TEXT NOT NULL, PRIMARY KEY "
             u"(family, row_id)) WITHOUT ROWID;",
             u"CREATE INDEX calyra_item_uid ON calyra_item (profile_id, family, uid) WHERE length(uid) > 0;",
             u"CREATE INDEX calyra_item_key ON calyra_item (profile_id, family, match_key);",
             u"CREATE TABLE calyra_sequence (family TEXT PRIMARY KEY NOT NULL, seq INTEGER NOT NULL);",
             u"CREATE TABLE calyra_meta (name TEXT PRIMARY KEY NOT NULL, value TEXT NOT NULL);",
             u"INSERT INTO calyra_meta VALUES ('version', '3');",
             u"INSERT INTO calyra_sequence VALUES ('contact', 1);",
             u"INSERT INTO calyra_item VALUES ('contact', 1, 1, 'ua', 'ha', '', 'n:ada');",
         })
        ASSERT_EQ(exec(sql), S_OK);
    const SideItem ada{ItemFamily::Contact, a, "1", "ua", "ha", "", "n:ada"};
    EXPECT_EQ(SideStore(*m_session).findByUid("1", ItemFamily::Contact, "ua"), ada) << "read as it is";
    write([&](SideStore& store) {
        store.put(SideItem{ItemFamily::Contact, addContact(u"Bea"), "1", "ub", "hb", "", "n:bea"});
    });
    SideStore store(*m_session);
    EXPECT_EQ(store.findByUid("1", ItemFamily::Contact, "ua"), ada);
    EXPECT_EQ(store.findKeys("1", ItemFamily::Contact, {"n:ada"}), (std::vector<MatchKey>{{"n:ada", a}}));
    EXPECT_EQ(sideSchema(), MadeByTheComponentTests());
}

TEST_F(SideStoreTest, VisitsItemsInRowOrderAndFindsThemByMatchKeyOfTheirProfileAndFamily) {
    std::vector<SideItem> items;
    write([&](SideStore& store) {
        for (int i = 0; i < 1203; ++i) {
            const std::string id = addContact(u"P" + Utf8ToUtf16(std::to_string(i)));
            items.push_back({ItemFamily::Contact, id, "1", "uid" + id, "h", "", ""});
        }
        store.put(items);
    });
    std::vector<std::string> seen;
    // The visitor takes what it is given, as check --repair does.
    SideStore(*m_session).forEach("1", ItemFamily::Contact, [&](SideItem& i) { seen.push_back(std::move(i.rowId)); });
    ASSERT_EQ(seen.size(), items.size());
    for (size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], items[i].rowId);

    // Match keys find the items of their profile and family.
    const std::string a = addContact(u"Ada"), b = addContact(u"Bea"), c = addContact(u"Cleo");
    write([&](SideStore& store) {
        store.put(SideItem{ItemFamily::Contact, a, "1", "ua", "h", "", "n:ada"});
        store.putKeys(ItemFamily::Contact, "1", {{b, "n:bea"}, {c, "n:shared"}});
        store.putKeys(ItemFamily::Contact, "1", {{b, "n:shared"}});  // replaces
    });
    SideStore store(*m_session);
    EXPECT_EQ(store.findKeys("1", ItemFamily::Contact, {"n:shared", "n:ada", "n:bea", "n:zed"}),
              (std::vector<MatchKey>{{"n:ada", a}, {"n:shared", b}, {"n:shared", c}}));
    EXPECT_TRUE(store.findKeys("1", ItemFamily::Group, {"n:ada"}).empty());
    EXPECT_TRUE(store.findKeys("2", ItemFamily::Contact, {"n:ada"}).empty());
    EXPECT_EQ(store.find(ItemFamily::Contact, b), std::nullopt) << "a key alone is no side row";
    EXPECT_EQ(store.find(ItemFamily::Contact, a)->matchKey, "n:ada");
}

TEST(ContentHash, TellsTextsApartAndIsStable) {
    // Stored hashes stay valid only while these stay (side tables version 3).
    EXPECT_EQ(ContentHash(""), "acc50eaa9821f752d1a547df49a5c3b5");
    EXPECT_EQ(ContentHash("a"), "836278e8d6613e901c41cfe5eeb2eb73");
    EXPECT_EQ(ContentHash("contact\x1fM\xc3\xbcller"), "a4fc6ff91a49cba8d3f6fc5cafe0cf61");
    EXPECT_NE(ContentHash("a"), ContentHash("b"));
}

}  // namespace
}  // namespace calyra::cli
