// Contacts through IContactAccess, contact groups through
// IContactGroupAccess, and the memberships that join them: profiles, the
// delete cascades, the membership modes, the deletes and columns of the five
// detail families, and real concurrent callers. Whole records are checked
// with every family, and what every access class shares is swept, in
// every_interface_test.cpp; what the data access base gives them beyond
// those sweeps (the record cache, the text buffer, the connection's
// reference) is tested here, on contacts.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "access/contacts/contact_access.h"
#include "access/contacts/contact_group_access.h"
#include "access/profiles/profile_access.h"
#include "support/pim_fixture.h"
#include "support/record_compare.h"
#include "support/test_values.h"

namespace calyra::test {
namespace {

std::string AddGroup(IContactGroupAccess* groups, const char16_t* name, LONG toBeSynced = 0) {
    RecordHolder<tagContactGroupInfo> info;
    SetText(info.bstrContactGroupName, name);
    SetText(info.bstrContactGroupPhoto, u"photo.jpg");  // never stored
    SetText(info.bstrContactGroupRingtone, u"ring.mp3");
    info.bToBeSynced = toBeSynced;
    Bstr id;
    EXPECT_EQ(groups->AddContactGroup(nullptr, &info, &id), S_OK);
    return id.utf8();
}

std::vector<std::string> LastNamesByIndex(IContactAccess* contacts, LONG count) {
    std::vector<std::string> names;
    for (LONG i = 0; i < count; ++i) {
        RecordHolder<tagContactInfo> info;
        EXPECT_EQ(contacts->GetContactByIndex(nullptr, i, &info), S_OK) << "index " << i;
        names.push_back(Text(info.bstrLastName));
    }
    return names;
}

std::vector<std::string> AllLastNames(IContactAccess* contacts) {
    return TextsOf(&tagContactInfo::bstrLastName,
                   [&](LONG* n, SAFEARRAY** a) { return contacts->GetAllContacts(nullptr, n, a); });
}

std::vector<std::string> MemberIds(IContactAccess* contacts, const std::string& groupID) {
    return TextsOf(&tagContactInfo::bstrContactID, [&](LONG* n, SAFEARRAY** a) {
        return contacts->GetContactsByContactGroupID(nullptr, Bstr::FromUtf8(groupID), n, a);
    });
}

std::vector<std::string> GroupIdsOf(IContactAccess* contacts, const std::string& contactID) {
    return TextsOf(&tagContactGroupInfo::bstrContactGroupID, [&](LONG* n, SAFEARRAY** a) {
        return contacts->GetContactGroupsByContactID(nullptr, Bstr::FromUtf8(contactID), n, a);
    });
}

// Puts the contact into the group (in the add mode, which keeps its other groups).
HRESULT Join(IContactAccess* contacts, const std::string& contactID, const std::string& groupID) {
    return contacts->AddContactToContactGroup(nullptr, Bstr::FromUtf8(contactID), Bstr::FromUtf8(groupID),
                                              VARIANT_TRUE);
}

using Names = std::vector<std::string>;

// Contacts and groups of profile "1", and of profile "2" beside them.
class ContactTest : public ::testing::Test {
protected:
    PimDatabase db;
    ComPtr<IContactAccess> contacts = db.Create<CContactAccess, IContactAccess>(u"1");
    ComPtr<IContactGroupAccess> groups = db.Create<CContactGroupAccess, IContactGroupAccess>(u"1");
    ComPtr<IContactAccess> theirs = db.Create<CContactAccess, IContactAccess>(u"2");
    ComPtr<IContactGroupAccess> theirGroups = db.Create<CContactGroupAccess, IContactGroupAccess>(u"2");
};

// ---- The data access base ---------------------------------------------------------

// The cache behind reading by position is one implementation for contacts,
// groups, categories, tasks and profiles.
TEST_F(ContactTest, CacheOfWritesStaysStaleUntilTheNextCountAndAFailedCountKeepsIt) {
    std::string abel = AddContact(contacts.get(), u"Abel");
    LONG n = 0;
    ASSERT_EQ(contacts->GetNumOfContacts(nullptr, &n), S_OK);

    std::string baker = AddContact(contacts.get(), u"Baker");
    RecordHolder<tagContactInfo> renamed;
    SetText(renamed.bstrLastName, u"Abel-Smith");
    ASSERT_EQ(contacts->ModifyContactByID(nullptr, Bstr::FromUtf8(abel), &renamed), S_OK);

    EXPECT_EQ(LastNamesByIndex(contacts.get(), 1), Names{"Abel"}) << "the cache still holds the old contact";
    RecordHolder<tagContactInfo> outOfCache;
    EXPECT_EQ(contacts->GetContactByIndex(nullptr, 1, &outOfCache), E_INVALIDARG) << "the new one is not cached";
    EXPECT_EQ(contacts->GetContactByIndex(nullptr, -1, &outOfCache), E_INVALIDARG);
    EXPECT_EQ(AllLastNames(contacts.get()), (Names{"Abel-Smith", "Baker"})) << "GetAllContacts reads the table";
    RecordHolder<tagContactInfo> byID;
    ASSERT_EQ(contacts->GetContactByID(nullptr, Bstr::FromUtf8(baker), &byID), S_OK);
    EXPECT_EQ(Text(byID.bstrLastName), "Baker");

    ASSERT_EQ(contacts->DeleteContactByID(nullptr, Bstr::FromUtf8(abel)), S_OK);
    EXPECT_EQ(LastNamesByIndex(contacts.get(), 1), Names{"Abel"}) << "a delete does not refresh the cache either";

    ASSERT_EQ(contacts->GetNumOfContacts(nullptr, &n), S_OK);
    ASSERT_EQ(n, 1);
    EXPECT_EQ(LastNamesByIndex(contacts.get(), 1), Names{"Baker"});

    db.db()->ClosePimDatabase(nullptr);
    n = 5;
    EXPECT_EQ(contacts->GetNumOfContacts(nullptr, &n), E_UNEXPECTED);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(LastNamesByIndex(contacts.get(), 1), Names{"Baker"}) << "a failed count keeps the old cache";
}

TEST_F(ContactTest, TextsAreStoredWholeButReadThroughA2048UnitBuffer) {
    AddContact(contacts.get(), std::u16string(3000, u'x'));
    RecordArray<tagContactInfo> all;
    ASSERT_EQ(ListInto(all, contacts.get(), &IContactAccess::GetAllContacts), 1);
    EXPECT_EQ(SysStringLen(all[0].bstrLastName), 2048u);
    EXPECT_EQ(db.Value(u"SELECT length([LastName]) FROM [tContact];"), "3000");
}

TEST_F(ContactTest, SameConnectionTwiceHoldsOneReference) {
    IPimDbAccess* conn = db.db();
    conn->AddRef();
    ULONG before = conn->Release();
    EXPECT_EQ(contacts->SetPimDbAccess(nullptr, conn), S_OK);
    conn->AddRef();
    EXPECT_EQ(conn->Release(), before);
    contacts.Reset();
    conn->AddRef();
    EXPECT_EQ(conn->Release(), before - 1) << "releasing the access object releases its connection";
}

// ---- Profiles ---------------------------------------------------------------------
// That counts and lists see only the current profile is swept for every
// access class in every_interface_test.cpp.

TEST_F(ContactTest, ReadsByIdSeeOnlyTheCurrentProfileWhileExistenceAndWritesByIdReachAny) {
    auto& mine = contacts;
    AddContact(mine.get(), u"Mine");
    const Bstr theirID = Bstr::FromUtf8(AddContact(theirs.get(), u"Theirs"));

    RecordHolder<tagContactInfo> info;
    SetText(info.bstrLastName, u"left alone");
    LONG err = kUntouched;
    EXPECT_EQ(std::pair(mine->GetContactByID(&err, theirID, &info), err), std::pair(E_UNEXPECTED, kUntouched))
        << "not found in this profile is no reported error";
    EXPECT_EQ(Text(info.bstrLastName), "left alone") << "the caller's record is not touched";
    VARIANT_BOOL found = VARIANT_FALSE;
    ASSERT_EQ(mine->ExistContact(nullptr, theirID, &found), S_OK);
    EXPECT_EQ(found, VARIANT_TRUE) << "existence ignores the profile";

    SetText(info.bstrLastName, u"Changed");
    ASSERT_EQ(mine->ModifyContactByID(nullptr, theirID, &info), S_OK);
    EXPECT_EQ(db.Rows(u"SELECT [ProfileID], [LastName] FROM [tContact] WHERE [ProfileID] = '2';"),
              (std::vector<std::vector<std::string>>{{"2", "Changed"}}));
    ASSERT_EQ(mine->DeleteContactByID(nullptr, theirID), S_OK);
    EXPECT_EQ(db.Value(u"SELECT COUNT(*) FROM [tContact];"), "1");
}

TEST_F(ContactTest, DeletingAProfileLeavesItsContacts) {
    auto profiles = db.Create<CProfileAccess, IProfileAccess>();
    Bstr ids[2];
    for (int i = 0; i < 2; ++i) {
        tagProfileInfo info{};
        const Bstr name(i ? u"b" : u"a");
        info.bstrName = name;
        ASSERT_EQ(profiles->AddProfile(nullptr, &info, &ids[i]), S_OK);
    }
    AddContact(contacts.get(), u"kept");
    ASSERT_EQ(profiles->DeleteProfileByID(nullptr, ids[0]), S_OK);
    EXPECT_EQ(db.Value(u"SELECT group_concat([ProfileName]) FROM [tProfile];"), "b");
    EXPECT_EQ(AllLastNames(contacts.get()), Names{"kept"});
}

// ---- Delete cascades --------------------------------------------------------------

// One contact with one item of every family and one membership.
void AddDependants(IContactAccess* contacts, const std::string& contactID, const std::string& groupID) {
    Bstr id = Bstr::FromUtf8(contactID);
    tagAddress address{};
    tagPhoneNumber phone{};
    tagEmail email{};
    tagWebUrl web{};
    tagIM im{};
    Bstr imID;
    ASSERT_EQ(contacts->AddAddressToContact(nullptr, id, &address, nullptr), S_OK);
    ASSERT_EQ(contacts->AddPhoneNumberToContact(nullptr, id, &phone, nullptr), S_OK);
    ASSERT_EQ(contacts->AddEmailToContact(nullptr, id, &email, nullptr), S_OK);
    ASSERT_EQ(contacts->AddWebUrlToContact(nullptr, id, &web, nullptr), S_OK);
    ASSERT_EQ(contacts->AddIMToContact(nullptr, id, &im, &imID), S_OK);
    ASSERT_EQ(Join(contacts, contactID, groupID), S_OK);
}

// Rows per dependant table of one contact: address, phone, e-mail, web, IM, membership.
std::string DependantCounts(const PimDatabase& db, const std::string& contactID) {
    std::u16string id = Utf8ToUtf16(contactID);
    std::string out;
    for (const char16_t* table :
         {u"[tAddress]", u"[tPhoneNumber]", u"[tEmail]", u"[tWebUrl]", u"[tIM]", u"[tContactGroupMap]"})
        out += db.Value(std::u16string(u"SELECT COUNT(*) FROM ") + table + u" WHERE [ContactID] = '" + id + u"';");
    return out;
}

TEST_F(ContactTest, DeletingAContactOrAllOfAProfileRemovesTheirDependantsButNotTheirInstantMessaging) {
    auto& mine = contacts;
    std::string group = AddGroup(groups.get(), u"G");
    std::string gone = AddContact(mine.get(), u"Gone"), a = AddContact(mine.get(), u"A");
    std::string b = AddContact(mine.get(), u"B"), other = AddContact(theirs.get(), u"Other");
    for (const auto& id : {gone, a, b, other}) AddDependants(mine.get(), id, group);
    ASSERT_EQ(DependantCounts(db, gone), "111111");

    ASSERT_EQ(mine->DeleteContactByID(nullptr, Bstr::FromUtf8(gone)), S_OK);
    EXPECT_EQ(DependantCounts(db, gone), "000010") << "address, phone, e-mail, web, membership go; IM stays";
    EXPECT_EQ(DependantCounts(db, a), "111111") << "another contact keeps everything";
    EXPECT_EQ(AllLastNames(mine.get()), (Names{"A", "B"}));
    EXPECT_EQ(MemberIds(mine.get(), group), (Names{a, b}));
    // The instant-messaging addresses of a deleted contact are still listed.
    RecordArray<tagIM> ims;
    EXPECT_EQ(ListInto(ims, mine.get(), &IContactAccess::GetIMsByContactID, Bstr::FromUtf8(gone)), 1);

    ASSERT_EQ(mine->DeleteAllContacts(nullptr), S_OK);
    EXPECT_TRUE(AllLastNames(mine.get()).empty());
    EXPECT_EQ(AllLastNames(theirs.get()), Names{"Other"});
    EXPECT_EQ(DependantCounts(db, a), "000010");
    EXPECT_EQ(DependantCounts(db, b), "000010");
    EXPECT_EQ(DependantCounts(db, other), "111111") << "another profile's contact keeps everything";
}

// ---- Membership -------------------------------------------------------------------

TEST_F(ContactTest, MembershipAddModeStoresEveryPairRemoveTakesAllRowsOfThePairAndOtherModesReplace) {
    std::string g1 = AddGroup(groups.get(), u"One"), g2 = AddGroup(groups.get(), u"Two"),
                g3 = AddGroup(groups.get(), u"Three");
    std::string c = AddContact(contacts.get(), u"C"), other = AddContact(contacts.get(), u"Other");
    Bstr cid = Bstr::FromUtf8(c);
    for (const auto& g : {g1, g1, g2}) ASSERT_EQ(Join(contacts.get(), c, g), S_OK);
    EXPECT_EQ(MemberIds(contacts.get(), g1), (Names{c, c})) << "a pair stored twice is listed twice";
    auto groupsOfC = GroupIdsOf(contacts.get(), c);
    EXPECT_EQ(std::multiset<std::string>(groupsOfC.begin(), groupsOfC.end()), (std::multiset<std::string>{g1, g1, g2}));

    ASSERT_EQ(contacts->RemoveContactFromContactGroup(nullptr, cid, Bstr::FromUtf8(g1)), S_OK);
    EXPECT_TRUE(MemberIds(contacts.get(), g1).empty()) << "one remove takes both rows";
    EXPECT_EQ(GroupIdsOf(contacts.get(), c), Names{g2});

    // Every mode value but the add mode replaces the contact's groups.
    ASSERT_EQ(Join(contacts.get(), other, g1), S_OK);
    for (VARIANT_BOOL replace : {VARIANT_BOOL(0), VARIANT_BOOL(1), VARIANT_BOOL(0x7FFF)}) {
        for (const auto& g : {g1, g2}) ASSERT_EQ(Join(contacts.get(), c, g), S_OK);
        LONG err = kUntouched;
        ASSERT_EQ(contacts->AddContactToContactGroup(&err, cid, Bstr::FromUtf8(g3), replace), S_OK);
        EXPECT_EQ(err, kUntouched);
        EXPECT_EQ(GroupIdsOf(contacts.get(), c), Names{g3}) << "mode value " << replace;
        EXPECT_EQ(MemberIds(contacts.get(), g1), Names{other}) << "another contact's membership stays";
    }
    ASSERT_EQ(contacts->AddContactToContactGroup(nullptr, cid, nullptr, VARIANT_FALSE), S_OK)
        << "replacing by no group leaves the contact in none";
    EXPECT_TRUE(GroupIdsOf(contacts.get(), c).empty());
    ASSERT_EQ(contacts->AddContactToContactGroup(nullptr, cid, Bstr(u""), 1), S_OK);
}

TEST_F(ContactTest, MembershipListsCarryOnlyTheSelectedFields) {
    std::string g = AddGroup(groups.get(), u"Synced", -1);
    RecordHolder<tagContactInfo> full;
    SetText(full.bstrLastName, u"Full");
    SetText(full.bstrPhoto, u"p.jpg");
    full.eTitle = enumTitle_Dr;
    full.dtBirthday = 30000;
    Bstr c;
    ASSERT_EQ(contacts->AddContact(nullptr, &full, &c), S_OK);
    ASSERT_EQ(Join(contacts.get(), c.utf8(), g), S_OK);

    RecordArray<tagContactInfo> members;
    ASSERT_EQ(ListInto(members, contacts.get(), &IContactAccess::GetContactsByContactGroupID, Bstr::FromUtf8(g)), 1);
    EXPECT_EQ(Text(members[0].bstrContactID), c.utf8());
    EXPECT_TRUE(SameRecord(tagContactInfo{}, members[0], {"bstrContactID"})) << "members carry their ID only";

    RecordArray<tagContactGroupInfo> ofContact, all;
    ASSERT_EQ(ListInto(ofContact, contacts.get(), &IContactAccess::GetContactGroupsByContactID, c), 1);
    ASSERT_EQ(ListInto(all, groups.get(), &IContactGroupAccess::GetAllContactGroups), 1);
    EXPECT_EQ(all[0].bToBeSynced, 1) << "the group list reads the sync flag";
    EXPECT_EQ(ofContact[0].bToBeSynced, 0) << "the sync flag is not selected for a contact's groups";
    EXPECT_TRUE(SameRecord<tagContactGroupInfo>(all[0], ofContact[0], {"bToBeSynced"}))
        << "the rest is what the group list reads";
    EXPECT_EQ(all[0].bstrContactGroupPhoto, nullptr) << "photo and ringtone are never stored";
    EXPECT_EQ(all[0].bstrContactGroupRingtone, nullptr);
}

// Memberships of both profiles' contacts in both profiles' groups.
TEST_F(ContactTest, MembershipListsFollowTheCurrentProfileAndDeletingGroupsRemovesTheirMembershipsOnly) {
    std::string myGroup = AddGroup(groups.get(), u"Mine"), g2 = AddGroup(groups.get(), u"Two"),
                g3 = AddGroup(groups.get(), u"Three"), theirGroup = AddGroup(theirGroups.get(), u"Theirs");
    std::string me = AddContact(contacts.get(), u"Me"), them = AddContact(theirs.get(), u"Them");
    for (const auto& c : {me, them})
        for (const auto& g : {myGroup, theirGroup})
            ASSERT_EQ(Join(contacts.get(), c, g), S_OK) << "membership is not checked against the profile";
    EXPECT_EQ(MemberIds(contacts.get(), myGroup), Names{me});
    EXPECT_EQ(MemberIds(contacts.get(), theirGroup), Names{me}) << "members are filtered through the contact's profile";
    EXPECT_EQ(GroupIdsOf(contacts.get(), them), Names{myGroup}) << "groups are filtered through the group's profile";

    for (const auto& g : {g2, g3}) ASSERT_EQ(Join(contacts.get(), me, g), S_OK);
    ASSERT_EQ(groups->DeleteContactGroupByID(nullptr, Bstr::FromUtf8(myGroup)), S_OK);
    EXPECT_EQ(db.Value(u"SELECT COUNT(*) FROM [tContactGroupMap];"), "4");
    ASSERT_EQ(groups->DeleteAllContactGroups(nullptr), S_OK);
    EXPECT_EQ(db.Rows(u"SELECT [ContactGroupID] FROM [tContactGroupMap];"),
              (std::vector<std::vector<std::string>>{{theirGroup}, {theirGroup}}))
        << "only the other profile's group keeps its memberships";
    EXPECT_EQ(db.Value(u"SELECT COUNT(*) FROM [tContactGroup];"), "1");
    EXPECT_EQ(AllLastNames(contacts.get()), Names{"Me"}) << "the contacts stay";
}

// ---- Detail items ------------------------------------------------------------------

using Rows = std::vector<std::vector<std::string>>;

TEST_F(ContactTest, DetailDeleteByIdTakesOneItemDeleteByContactTheRestOfThatContactAndEachValueHasItsColumn) {
    // One family: its table, a zeroed item, and its add and two deletes.
    const auto family = [&](const char16_t* table, auto item, auto add, auto remove, auto removeOfContact) {
        SCOPED_TRACE(Utf16ToUtf8(table));
        Bstr first, second, other;
        ASSERT_EQ((contacts.get()->*add)(nullptr, Bstr(u"1"), &item, &first), S_OK);
        ASSERT_EQ((contacts.get()->*add)(nullptr, Bstr(u"1"), &item, &second), S_OK);
        ASSERT_EQ((contacts.get()->*add)(nullptr, Bstr(u"2"), &item, &other), S_OK);
        const std::u16string ids = std::u16string(u"SELECT group_concat([ContactID]) FROM ") + table + u";";
        ASSERT_EQ((contacts.get()->*remove)(nullptr, first), S_OK);
        EXPECT_EQ(db.Value(ids), "1,2");
        ASSERT_EQ((contacts.get()->*removeOfContact)(nullptr, Bstr(u"1")), S_OK);
        EXPECT_EQ(db.Value(ids), "2") << "another contact's items stay";
    };
    using I = IContactAccess;
    family(u"[tAddress]", tagAddress{}, &I::AddAddressToContact, &I::DeleteAddressByID, &I::DeleteAddressesByContactID);
    family(u"[tPhoneNumber]", tagPhoneNumber{}, &I::AddPhoneNumberToContact, &I::DeletePhoneNumberByID,
           &I::DeletePhoneNumbersByContactID);
    family(u"[tEmail]", tagEmail{}, &I::AddEmailToContact, &I::DeleteEmailByID, &I::DeleteEmailsByContactID);
    family(u"[tWebUrl]", tagWebUrl{}, &I::AddWebUrlToContact, &I::DeleteWebUrlByID, &I::DeleteWebUrlsByContactID);
    family(u"[tIM]", tagIM{}, &I::AddIMToContact, &I::DeleteIMByID, &I::DeleteIMsByContactID);

    // Each value lands in its own column, and a primary flag is stored as one.
    const Bstr contact(u"3"), number(u"555-0100"), address(u"someone@jabber.example"), protocol(u"XMPP");
    tagPhoneNumber phone{nullptr, enumLocationType_Work, enumPhoneNumberType_Pager, number, -1};
    ASSERT_EQ(contacts->AddPhoneNumberToContact(nullptr, contact, &phone, nullptr), S_OK);
    EXPECT_EQ(db.Rows(u"SELECT [ContactID], [LocationType], [PhoneNumberType], [PhoneNumber], [PrimaryFlag] "
                      u"FROM [tPhoneNumber] WHERE [ContactID] = '3';"),
              (Rows{{"3", "1", "2", "555-0100", "1"}}));
    tagIM im{nullptr, enumLocationType_Home, address, protocol, 5};
    Bstr imID;
    ASSERT_EQ(contacts->AddIMToContact(nullptr, contact, &im, &imID), S_OK);
    EXPECT_EQ(db.Rows(u"SELECT [ContactID], [LocationType], [Address], [Protocol], [PrimaryFlag] FROM [tIM] "
                      u"WHERE [ContactID] = '3';"),
              (Rows{{"3", "0", "someone@jabber.example", "XMPP", "1"}}));
}

// ---- Concurrent callers -------------------------------------------------------------
// For ThreadSanitizer: threads each with their own object on one shared
// connection, and one object shared by threads whose reads (count, then by
// index) and writes (add, detail, delete with its cascade) interleave. The
// object lock and the connection's lock are what keep every row counted once
// and every cascade whole.

TEST(ContactConcurrency, ThreadsOnOneConnectionAddContactsWithDetailsEachRowOnce) {
    PimDatabase db;
    constexpr int kThreads = 4, kEach = 25;
    std::vector<std::vector<std::string>> ids(kThreads), phoneIDs(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            auto contacts = db.Create<CContactAccess, IContactAccess>();
            for (int i = 0; i < kEach; ++i) {
                std::u16string name = Utf8ToUtf16("T" + std::to_string(t) + "-" + std::to_string(i));
                std::string id = AddContact(contacts.get(), name.c_str());
                Bstr bid = Bstr::FromUtf8(id);
                tagPhoneNumber phone{};
                phone.bstrPhoneNumber = bid;  // the number names its contact
                Bstr phoneID;
                contacts->AddPhoneNumberToContact(nullptr, bid, &phone, &phoneID);
                tagEmail email{};
                contacts->AddEmailToContact(nullptr, bid, &email, nullptr);
                ids[t].push_back(id);
                phoneIDs[t].push_back(phoneID.utf8());
                LONG n = 0;
                contacts->GetNumOfContacts(nullptr, &n);
                RecordHolder<tagContactInfo> last;
                contacts->GetContactByIndex(nullptr, n - 1, &last);
            }
        });
    for (auto& th : threads) th.join();
    std::set<std::string> unique, uniquePhones;
    for (int t = 0; t < kThreads; ++t) {
        unique.insert(ids[t].begin(), ids[t].end());
        uniquePhones.insert(phoneIDs[t].begin(), phoneIDs[t].end());
    }
    const std::string total = std::to_string(kThreads * kEach);
    EXPECT_EQ(unique.size(), static_cast<size_t>(kThreads * kEach)) << "every contact got its own ID";
    EXPECT_EQ(uniquePhones.size(), static_cast<size_t>(kThreads * kEach));
    EXPECT_EQ(db.Value(u"SELECT COUNT(*) FROM [tContact];"), total);
    EXPECT_EQ(db.Value(u"SELECT COUNT(*) FROM [tEmail];"), total);
    EXPECT_EQ(db.Value(u"SELECT COUNT(*) FROM [tPhoneNumber] WHERE [PhoneNumber] = [ContactID];"), total)
        << "each phone number belongs to the contact it was added to";
}

TEST(ContactConcurrency, OneObjectSharedByThreadsKeepsCacheAndCascadesConsistent) {
    PimDatabase db;
    auto contacts = db.Create<CContactAccess, IContactAccess>();
    for (int i = 0; i < 10; ++i) AddContact(contacts.get(), u"Kept");
    std::atomic<int> bad{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 30; ++i) {
                LONG n = 0;
                if (contacts->GetNumOfContacts(nullptr, &n) != S_OK || n < 10) ++bad;
                RecordHolder<tagContactInfo> info;
                if (contacts->GetContactByIndex(nullptr, i % 10, &info) != S_OK) ++bad;
            }
        });
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 15; ++i) {
                std::string id = AddContact(contacts.get(), u"Churn");
                tagAddress address{};
                contacts->AddAddressToContact(nullptr, Bstr::FromUtf8(id), &address, nullptr);
                if (contacts->DeleteContactByID(nullptr, Bstr::FromUtf8(id)) != S_OK) ++bad;
            }
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(db.Value(u"SELECT COUNT(*) FROM [tContact];"), "10");
    EXPECT_EQ(db.Value(u"SELECT COUNT(*) FROM [tAddress];"), "0") << "every cascade ran to its end";
}

}  // namespace
}  // namespace calyra::test
