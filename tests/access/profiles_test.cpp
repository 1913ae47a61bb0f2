// Profiles through IProfileAccess, and with them the patterns every access
// class shares: the record cache, record arrays, argument checks and the
// wiring to the connection.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <set>
#include <thread>
#include <vector>

#include "access/profiles/profile_access.h"
#include "support/error_calls.h"
#include "support/pim_fixture.h"
#include "support/test_values.h"

using calyra::Bstr;
using calyra::ComPtr;
using calyra::CProfileAccess;
using calyra::test::kUntouched;
using calyra::test::ErrorCall;
using calyra::test::ExpectEachFails;
using calyra::test::NullErrorPointer;
using calyra::test::PimDatabase;
using calyra::test::Text;
using calyra::test::RecordArray;
using calyra::test::RecordHolder;

namespace {

std::string AddProfile(IProfileAccess* profiles, const char16_t* name, const char16_t* imei = u"") {
    tagProfileInfo info{};
    Bstr n(name), i(imei);
    info.bstrName = n;
    info.bstrIMEI = i;
    Bstr id;
    LONG err = kUntouched;
    EXPECT_EQ(profiles->AddProfile(&err, &info, &id), S_OK);
    EXPECT_EQ(err, kUntouched);
    return id.utf8();
}

}  // namespace

TEST(ProfileCache, EmptyTableGivesZeroAndAnEmptyArray) {
    PimDatabase db;
    auto profiles = db.Create<CProfileAccess, IProfileAccess>();
    LONG n = -1;
    ASSERT_EQ(profiles->GetNumOfProfiles(nullptr, &n), S_OK);
    EXPECT_EQ(n, 0);
    RecordArray<tagProfileInfo> all;
    n = -1;
    ASSERT_EQ(profiles->GetAllProfiles(nullptr, &n, &all), S_OK);
    EXPECT_EQ(n, 0);
    ASSERT_NE(all.get(), nullptr) << "an empty result must still be an array";
    EXPECT_EQ(all.size(), 0);
}

TEST(ProfileCache, ByIndexServesTheLastCountUntilCountedAgain) {
    PimDatabase db;
    auto profiles = db.Create<CProfileAccess, IProfileAccess>();
    RecordHolder<tagProfileInfo> info;
    LONG err = kUntouched;
    EXPECT_EQ(profiles->GetProfileByIndex(&err, 0, &info), E_INVALIDARG) << "before any count the cache is empty";
    EXPECT_EQ(err, PIMERR_INVALID_ARGUMENT);

    AddProfile(profiles.get(), u"first");
    LONG n = 0;
    ASSERT_EQ(profiles->GetNumOfProfiles(nullptr, &n), S_OK);
    ASSERT_EQ(n, 1);
    AddProfile(profiles.get(), u"second");

    err = kUntouched;
    EXPECT_EQ(profiles->GetProfileByIndex(&err, 1, &info), E_INVALIDARG) << "index equal to the count";
    EXPECT_EQ(err, PIMERR_INVALID_ARGUMENT);
    EXPECT_EQ(profiles->GetProfileByIndex(&err, -1, &info), E_INVALIDARG);
    RecordArray<tagProfileInfo> all;
    ASSERT_EQ(profiles->GetAllProfiles(nullptr, &n, &all), S_OK);
    EXPECT_EQ(n, 2) << "GetAllProfiles reads the table, not the cache";

    ASSERT_EQ(profiles->GetNumOfProfiles(nullptr, &n), S_OK);
    ASSERT_EQ(n, 2);
    err = kUntouched;
    ASSERT_EQ(profiles->GetProfileByIndex(&err, 1, &info), S_OK);
    EXPECT_EQ(err, kUntouched);
    EXPECT_EQ(Text(info.bstrName), "second");
}

TEST(ProfileCache, FailedCountKeepsTheOldCache) {
    PimDatabase db;
    auto profiles = db.Create<CProfileAccess, IProfileAccess>();
    AddProfile(profiles.get(), u"kept");
    LONG n = 0;
    ASSERT_EQ(profiles->GetNumOfProfiles(nullptr, &n), S_OK);
    db.db()->ClosePimDatabase(nullptr);
    LONG err = kUntouched;
    n = 5;
    EXPECT_EQ(profiles->GetNumOfProfiles(&err, &n), E_UNEXPECTED);
    EXPECT_EQ(err, PIMERR_NOT_CONNECTED) << "the connection reports the closed database";
    EXPECT_EQ(n, 0);
    RecordHolder<tagProfileInfo> info;
    ASSERT_EQ(profiles->GetProfileByIndex(nullptr, 0, &info), S_OK);
    EXPECT_EQ(Text(info.bstrName), "kept");
}

TEST(ProfileRecords, RoundTripAllFieldsWithQuotesAndLongTexts) {
    PimDatabase db;
    auto profiles = db.Create<CProfileAccess, IProfileAccess>();
    std::u16string longText(3000, u'x');
    Bstr imei(u"35-209900-176148-1"), sn(longText), hxr(u"H'X"), model(u"Model \"7\""), name(u"O'Neil's phone");
    tagProfileInfo in{};
    Bstr ignoredId(u"999");
    in.bstrProfileID = ignoredId;
    in.bstrIMEI = imei;
    in.bstrSN = sn;
    in.bstrHXRID = hxr;
    in.bstrModel = model;
    in.bstrName = name;
    Bstr id;
    ASSERT_EQ(profiles->AddProfile(nullptr, &in, &id), S_OK);
    EXPECT_EQ(id.utf8(), "1") << "the record's own ID is ignored";

    RecordArray<tagProfileInfo> all;
    LONG n = 0;
    ASSERT_EQ(profiles->GetAllProfiles(nullptr, &n, &all), S_OK);
    ASSERT_EQ(n, 1);
    EXPECT_EQ(Text(all[0].bstrProfileID), "1");
    EXPECT_EQ(Text(all[0].bstrIMEI), "35-209900-176148-1");
    EXPECT_EQ(SysStringLen(all[0].bstrSN), 2048u) << "field texts are cut to the 2048-unit buffer";
    EXPECT_EQ(Text(all[0].bstrHXRID), "H'X");
    EXPECT_EQ(Text(all[0].bstrModel), "Model \"7\"");
    EXPECT_EQ(Text(all[0].bstrName), "O'Neil's phone");
    EXPECT_EQ(db.Value(u"SELECT length([SN]) FROM [tProfile];"), "3000") << "the stored text is whole";
}

TEST(ProfileRecords, EmptyOptionalFieldsAreStoredAsEmptyText) {
    PimDatabase db;
    auto profiles = db.Create<CProfileAccess, IProfileAccess>();
    AddProfile(profiles.get(), u"only a name");
    EXPECT_EQ(db.Value(u"SELECT [IMEI] || '|' || [SN] || '|' || [HXRID] || '|' || [Model] FROM [tProfile];"), "|||");
    RecordArray<tagProfileInfo> all;
    LONG n = 0;
    ASSERT_EQ(profiles->GetAllProfiles(nullptr, &n, &all), S_OK);
    ASSERT_NE(all[0].bstrModel, nullptr) << "empty texts read back as empty strings, not NULL";
    EXPECT_EQ(SysStringLen(all[0].bstrModel), 0u);
}

TEST(ProfileWrites, ModifyAndDeleteActOnTheRowNamedByTheArgument) {
    PimDatabase db;
    auto profiles = db.Create<CProfileAccess, IProfileAccess>();
    std::string a = AddProfile(profiles.get(), u"a");
    std::string b = AddProfile(profiles.get(), u"b");
    tagProfileInfo change{};
    Bstr otherId = Bstr::FromUtf8(a), newName(u"b2");
    change.bstrProfileID = otherId;
    change.bstrName = newName;
    ASSERT_EQ(profiles->ModifyProfileByID(nullptr, Bstr::FromUtf8(b), &change), S_OK);
    EXPECT_EQ(db.Value(u"SELECT [ProfileName] FROM [tProfile] WHERE [ProfileID] = 1;"), "a");
    EXPECT_EQ(db.Value(u"SELECT [ProfileName] FROM [tProfile] WHERE [ProfileID] = 2;"), "b2");

    db.Exec(u"INSERT INTO [tContact] ([ProfileID], [LastName]) VALUES('1', 'kept');");
    ASSERT_EQ(profiles->DeleteProfileByID(nullptr, Bstr::FromUtf8(a)), S_OK);
    ASSERT_EQ(profiles->DeleteProfileByID(nullptr, Bstr(u"12345")), S_OK) << "deleting nothing succeeds";
    EXPECT_EQ(db.Value(u"SELECT COUNT(*) FROM [tProfile];"), "1");
    EXPECT_EQ(db.Value(u"SELECT COUNT(*) FROM [tContact];"), "1") << "other tables keep the profile's rows";
}

TEST(ProfileArguments, BadArgumentsReportInvalidArgumentAndWriteNothing) {
    PimDatabase db;
    auto profiles = db.Create<CProfileAccess, IProfileAccess>();
    tagProfileInfo noName{};
    tagProfileInfo named{};
    Bstr name(u"n");
    named.bstrName = name;
    Bstr id;
    LONG n;
    const ErrorCall cases[] = {
        {"count without out-pointer", [&](LONG* e) { return profiles->GetNumOfProfiles(e, nullptr); }},
        {"by index without record", [&](LONG* e) { return profiles->GetProfileByIndex(e, 0, nullptr); }},
        {"all without array", [&](LONG* e) { return profiles->GetAllProfiles(e, &n, nullptr); }},
        {"add without ID out", [&](LONG* e) { return profiles->AddProfile(e, &named, nullptr); }},
        {"add without a name", [&](LONG* e) { return profiles->AddProfile(e, &noName, &id); }},
        {"delete without ID", [&](LONG* e) { return profiles->DeleteProfileByID(e, nullptr); }},
        {"delete with empty ID", [&](LONG* e) { return profiles->DeleteProfileByID(e, Bstr(u"")); }},
        {"modify without ID", [&](LONG* e) { return profiles->ModifyProfileByID(e, nullptr, &named); }},
        {"modify without a name", [&](LONG* e) { return profiles->ModifyProfileByID(e, Bstr(u"1"), &noName); }},
    };
    ExpectEachFails(cases, E_INVALIDARG, PIMERR_INVALID_ARGUMENT, NullErrorPointer::AlsoFails);
    EXPECT_EQ(db.Value(u"SELECT COUNT(*) FROM [tProfile];"), "0");
}

TEST(ProfileWiring, SameConnectionTwiceHoldsOneReference) {
    PimDatabase db;
    auto profiles = db.Create<CProfileAccess, IProfileAccess>();
    IPimDbAccess* conn = db.db();
    conn->AddRef();
    ULONG before = conn->Release();
    EXPECT_EQ(profiles->SetPimDbAccess(nullptr, conn), S_OK);
    conn->AddRef();
    EXPECT_EQ(conn->Release(), before);
    profiles.Reset();
    conn->AddRef();
    EXPECT_EQ(conn->Release(), before - 1) << "releasing the access object releases its connection";
}
