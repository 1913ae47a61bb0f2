// Profiles through IProfileAccess: a failed count keeping the record cache
// (the cache itself is tested on contacts), the buffer the texts are read
// through, and the wiring to the connection.
#include <gtest/gtest.h>

#include <string>

#include "access/profiles/profile_access.h"
#include "support/pim_fixture.h"
#include "support/test_values.h"

namespace calyra::test {
namespace {

std::string AddProfile(IProfileAccess* profiles, const char16_t* name, const std::u16string& sn = u"") {
    tagProfileInfo info{};
    Bstr n(name), s(sn), id;
    info.bstrName = n;
    info.bstrSN = s;
    EXPECT_EQ(profiles->AddProfile(nullptr, &info, &id), S_OK);
    return id.utf8();
}

class ProfileTest : public ::testing::Test {
protected:
    PimDatabase db;
    ComPtr<IProfileAccess> profiles = db.Create<CProfileAccess, IProfileAccess>();
};

TEST_F(ProfileTest, FailedCountKeepsTheOldCache) {
    AddProfile(profiles.get(), u"kept");
    LONG n = 0;
    ASSERT_EQ(profiles->GetNumOfProfiles(nullptr, &n), S_OK);
    db.db()->ClosePimDatabase(nullptr);
    n = 5;
    EXPECT_EQ(profiles->GetNumOfProfiles(nullptr, &n), E_UNEXPECTED);
    EXPECT_EQ(n, 0);
    RecordHolder<tagProfileInfo> info;
    ASSERT_EQ(profiles->GetProfileByIndex(nullptr, 0, &info), S_OK);
    EXPECT_EQ(Text(info.bstrName), "kept");
}

TEST_F(ProfileTest, TextsAreStoredWholeButReadThroughA2048UnitBuffer) {
    AddProfile(profiles.get(), u"long", std::u16string(3000, u'x'));
    RecordArray<tagProfileInfo> all;
    ASSERT_EQ(ListInto(all, profiles.get(), &IProfileAccess::GetAllProfiles), 1);
    EXPECT_EQ(SysStringLen(all[0].bstrSN), 2048u);
    EXPECT_EQ(db.Value(u"SELECT length([SN]) FROM [tProfile];"), "3000");
}

TEST_F(ProfileTest, DeletingAProfileLeavesItsRowsInOtherTables) {
    const std::string a = AddProfile(profiles.get(), u"a");
    AddProfile(profiles.get(), u"b");
    db.Exec(u"INSERT INTO [tContact] ([ProfileID], [LastName]) VALUES('1', 'kept');");
    ASSERT_EQ(profiles->DeleteProfileByID(nullptr, Bstr::FromUtf8(a)), S_OK);
    EXPECT_EQ(db.Value(u"SELECT group_concat([ProfileName]) FROM [tProfile];"), "b");
    EXPECT_EQ(db.Value(u"SELECT COUNT(*) FROM [tContact];"), "1");
}

TEST_F(ProfileTest, SameConnectionTwiceHoldsOneReference) {
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

}  // namespace
}  // namespace calyra::test
