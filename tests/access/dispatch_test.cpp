// The component's objects driven entirely through IDispatch, the way a
// script or a late-bound client drives them: names resolved with
// GetIDsOfNames, arguments as VARIANTs, results in the VARIANT result.
// One representative call per kind of parameter: texts in, text, boolean,
// long, record and record-array return values, longs and 64-bit slots by
// reference, a caller's text buffer, records in, and an interface in. The
// DISPIDs and argument shapes of every method are swept in
// every_interface_test.cpp.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "access/profiles/profile_access.h"
#include "idl/typelib_description.h"
#include "platform/record_info.h"
#include "support/pim_fixture.h"
#include "support/automation.h"
#include "support/temp_dir.h"

using calyra::Bstr;
using calyra::ComPtr;
using calyra::test::Automation;
using calyra::test::Long;
using calyra::test::Object;
using calyra::test::PimDatabase;
using calyra::test::RecordArg;
using calyra::test::Ref;
using calyra::test::TextArg;
using calyra::test::Variant;

namespace {

template <class T>
ComPtr<IDispatch> CreateDispatch() {
    ComPtr<IDispatch> object;
    EXPECT_EQ(calyra::CreateComInstance<T>(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object)), S_OK);
    return object;
}

TEST(ConnectionThroughDispatch, OpensQueriesReadsAndClosesByName) {
    calyra::test::TempDir dir;
    ComPtr<IDispatch> object = CreateDispatch<calyra::CPimDbAccess>();
    Automation db(object.get());
    EXPECT_EQ(db.IdOf(u"OpenPimDatabase"), 1);

    LONG errorId = 0;
    Bstr user(u"user"), password(u"secret"), file = dir.bstr("dispatch.db");
    ASSERT_EQ(db.Call(u"OpenPimDatabase", {Ref(VT_I4, &errorId), TextArg(user), TextArg(password), TextArg(file)}),
              S_OK);

    Variant open;
    ASSERT_EQ(db.Call(u"IsOpenPimDatabase", {Ref(VT_I4, &errorId)}, &open), S_OK);
    EXPECT_EQ(open.vt, VT_BOOL);
    EXPECT_EQ(open.boolVal, VARIANT_TRUE);

    Bstr create(u"CREATE TABLE [tItem] ([ItemID] INTEGER PRIMARY KEY AUTOINCREMENT, [Name] TEXT);");
    Variant ignored;
    ASSERT_EQ(db.Call(u"Execute", {Ref(VT_I4, &errorId), TextArg(create)}, &ignored), S_OK);
    Bstr insert(u"INSERT INTO [tItem] ([Name]) VALUES('first');");
    Variant id;
    ASSERT_EQ(db.Call(u"Execute", {Ref(VT_I4, &errorId), TextArg(insert)}, &id), S_OK);
    ASSERT_EQ(id.vt, VT_BSTR);
    EXPECT_EQ(calyra::BstrUtf8(id.bstrVal), "1") << "the new row's key comes back as the return value";

    Bstr select(u"SELECT [ItemID], [Name] FROM [tItem];");
    LONG rows = -1, columns = -1;
    LONGLONG vm = 0;
    ASSERT_EQ(db.Call(u"Query", {Ref(VT_I4, &errorId), TextArg(select), Ref(VT_I4, &rows), Ref(VT_I4, &columns),
                                 Ref(VT_I8, &vm)}),
              S_OK);
    EXPECT_EQ(rows, 1);
    EXPECT_EQ(columns, 2);
    EXPECT_NE(vm, 0) << "the result set lives in the caller's 64-bit slot";

    USHORT buffer[16] = {};
    VARIANT size = calyra::test::MakeVariant(VT_UI4);
    size.ulVal = 16;
    ASSERT_EQ(db.Call(u"GetFieldValue", {Ref(VT_I4, &errorId), Ref(VT_I8, &vm), Long(1), Ref(VT_UI2, buffer), size}),
              S_OK);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(buffer)), u"first");

    Variant eof;
    ASSERT_EQ(db.Call(u"IsEOF", {Ref(VT_I4, &errorId), Ref(VT_I8, &vm)}, &eof), S_OK);
    EXPECT_EQ(eof.boolVal, VARIANT_FALSE);
    ASSERT_EQ(db.Call(u"NextRow", {Ref(VT_I4, &errorId), Ref(VT_I8, &vm)}), S_OK);
    Variant eofAfter;
    ASSERT_EQ(db.Call(u"IsEOF", {Ref(VT_I4, &errorId), Ref(VT_I8, &vm)}, &eofAfter), S_OK);
    EXPECT_EQ(eofAfter.boolVal, VARIANT_TRUE);
    ASSERT_EQ(db.Call(u"FreeResultset", {Ref(VT_I4, &errorId), Ref(VT_I8, &vm)}), S_OK);
    EXPECT_EQ(errorId, 0) << "no call failed";

    ASSERT_EQ(db.Call(u"ClosePimDatabase", {Ref(VT_I4, &errorId)}), S_OK);
    Variant closed;
    ASSERT_EQ(db.Call(u"IsOpenPimDatabase", {Ref(VT_I4, &errorId)}, &closed), S_OK);
    EXPECT_EQ(closed.boolVal, VARIANT_FALSE);
}

TEST(ConnectionThroughDispatch, FailuresReturnTheStatusAndTheErrorId) {
    ComPtr<IDispatch> object = CreateDispatch<calyra::CPimDbAccess>();
    Automation db(object.get());
    Bstr sql(u"SELECT 1;");
    LONG errorId = 0;
    Variant id;
    EXPECT_EQ(db.Call(u"Execute", {Ref(VT_I4, &errorId), TextArg(sql)}, &id), E_UNEXPECTED);
    EXPECT_EQ(errorId, PIMERR_NOT_CONNECTED);
    EXPECT_EQ(id.vt, VT_EMPTY) << "a failed call has no return value";

    LONG rows = 0;
    LONGLONG vm = 0;
    UINT argErr = 99;
    EXPECT_EQ(db.Call(u"Query", {Ref(VT_I4, &errorId), TextArg(sql), Ref(VT_I4, &rows), TextArg(sql), Ref(VT_I8, &vm)},
                      nullptr, &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 1u) << "plColumn is fourth of five, so second in rgvarg";
}

class ProfilesThroughDispatch : public ::testing::Test {
protected:
    void SetUp() override {
        m_object = CreateDispatch<calyra::CProfileAccess>();
        ASSERT_EQ(calyra::CreateRecordInfo(&calyra::RecordDescriptionOf<tagProfileInfo>(), &m_profileInfo), S_OK);
        ComPtr<IDispatch> connection;
        ASSERT_EQ(m_db.db()->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&connection)), S_OK);
        ASSERT_EQ(profiles().Call(u"SetPimDbAccess", {Ref(VT_I4, &m_errorId), Object(connection.get())}), S_OK);
    }

    Automation profiles() const { return Automation(m_object.get()); }

    std::string Add(const char16_t* name) {
        Bstr n(name), imei(u"imei");
        tagProfileInfo info{};
        info.bstrName = n;
        info.bstrIMEI = imei;
        Variant id;
        EXPECT_EQ(profiles().Call(u"AddProfile", {Ref(VT_I4, &m_errorId), RecordArg(&info, m_profileInfo.get())}, &id),
                  S_OK);
        EXPECT_EQ(id.vt, VT_BSTR);
        return calyra::BstrUtf8(id.bstrVal);
    }

    LONG Count() {
        Variant count;
        EXPECT_EQ(profiles().Call(u"GetNumOfProfiles", {Ref(VT_I4, &m_errorId)}, &count), S_OK);
        EXPECT_EQ(count.vt, VT_I4);
        return count.lVal;
    }

    PimDatabase m_db;
    ComPtr<IDispatch> m_object;
    ComPtr<IRecordInfo> m_profileInfo;
    LONG m_errorId = 0;
};

TEST_F(ProfilesThroughDispatch, AddCountAndReadBackProfiles) {
    const LONG before = Count();
    const std::string first = Add(u"Phone");
    const std::string second = Add(u"Tablet");
    EXPECT_NE(first, second);
    ASSERT_EQ(Count(), before + 2);

    Variant profile;
    ASSERT_EQ(profiles().Call(u"GetProfileByIndex", {Ref(VT_I4, &m_errorId), Long(before + 1)}, &profile), S_OK);
    ASSERT_EQ(profile.vt, VT_RECORD);
    GUID guid{};
    ASSERT_EQ(profile.brecVal.pRecInfo->GetGuid(&guid), S_OK);
    EXPECT_EQ(guid, GUID_tagProfileInfo);
    const auto* info = static_cast<const tagProfileInfo*>(profile.brecVal.pvRecord);
    EXPECT_EQ(calyra::BstrUtf8(info->bstrProfileID), second);
    EXPECT_EQ(calyra::BstrUtf8(info->bstrName), "Tablet");
    EXPECT_EQ(calyra::BstrUtf8(info->bstrIMEI), "imei");

    LONG num = -1;
    Variant all;
    ASSERT_EQ(profiles().Call(u"GetAllProfiles", {Ref(VT_I4, &m_errorId), Ref(VT_I4, &num)}, &all), S_OK);
    EXPECT_EQ(num, before + 2);
    ASSERT_EQ(all.vt, VT_ARRAY | VT_RECORD);
    LONG upper = -1;
    SafeArrayGetUBound(all.parray, 1, &upper);
    EXPECT_EQ(upper, before + 1);
    EXPECT_EQ(calyra::BstrUtf8(static_cast<const tagProfileInfo*>(all.parray->pvData)[before].bstrName), "Phone");
    EXPECT_EQ(m_errorId, 0) << "no call failed";
}

}  // namespace
