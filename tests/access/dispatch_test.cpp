// The component's objects driven entirely through IDispatch, the way a
// script or a late-bound client drives them: names resolved with
// GetIDsOfNames, arguments as VARIANTs, results in the VARIANT result.
// One representative call per kind of parameter: texts in, text, boolean,
// long, record and record-array return values, longs and 64-bit slots by
// reference, a caller's text buffer, records in, and an interface in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "access/profiles/profile_access.h"
#include "idl/typelib_description.h"
#include "platform/record_info.h"
#include "support/pim_fixture.h"
#include "support/temp_dir.h"

using calyra::Bstr;
using calyra::ComPtr;
using calyra::test::PimDatabase;

namespace {

struct Variant : VARIANT {
    Variant() { VariantInit(this); }
    ~Variant() { VariantClear(this); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
};

VARIANT Make(VARTYPE vt) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    return v;
}
VARIANT Long(LONG value) {
    VARIANT v = Make(VT_I4);
    v.lVal = value;
    return v;
}
VARIANT Ref(VARTYPE vt, void* target) {
    VARIANT v = Make(vt | VT_BYREF);
    v.byref = target;
    return v;
}
VARIANT Text(BSTR text) {
    VARIANT v = Make(VT_BSTR);
    v.bstrVal = text;
    return v;
}
VARIANT Object(IDispatch* object) {
    VARIANT v = Make(VT_DISPATCH);
    v.pdispVal = object;
    return v;
}
VARIANT Record(void* record, IRecordInfo* info) {
    VARIANT v = Make(VT_RECORD);
    v.brecVal.pvRecord = record;
    v.brecVal.pRecInfo = info;
    return v;
}

std::string Utf8(BSTR text) { return Bstr(std::u16string_view(text ? text : u"", SysStringLen(text))).utf8(); }

// A late-bound view of one object.
class Automation {
public:
    explicit Automation(IDispatch* object) : m_object(object) {}

    DISPID IdOf(const char16_t* name) const {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        DISPID id = DISPID_UNKNOWN;
        m_object->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
        return id;
    }

    // Arguments in the caller's order; rgvarg gets them last first.
    HRESULT Call(const char16_t* name, std::vector<VARIANT> args, VARIANT* result = nullptr,
                 UINT* argErr = nullptr) const {
        std::vector<VARIANT> reversed(args.rbegin(), args.rend());
        DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
        return m_object->Invoke(IdOf(name), IID_NULL, 0, DISPATCH_METHOD, &params, result, nullptr, argErr);
    }

private:
    IDispatch* m_object;
};

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
    ASSERT_EQ(db.Call(u"OpenPimDatabase", {Ref(VT_I4, &errorId), Text(user), Text(password), Text(file)}), S_OK);

    Variant open;
    ASSERT_EQ(db.Call(u"IsOpenPimDatabase", {Ref(VT_I4, &errorId)}, &open), S_OK);
    EXPECT_EQ(open.vt, VT_BOOL);
    EXPECT_EQ(open.boolVal, VARIANT_TRUE);

    Bstr create(u"CREATE TABLE [tItem] ([ItemID] INTEGER PRIMARY KEY AUTOINCREMENT, [Name] TEXT);");
    Variant ignored;
    ASSERT_EQ(db.Call(u"Execute", {Ref(VT_I4, &errorId), Text(create)}, &ignored), S_OK);
    Bstr insert(u"INSERT INTO [tItem] ([Name]) VALUES('first');");
    Variant id;
    ASSERT_EQ(db.Call(u"Execute", {Ref(VT_I4, &errorId), Text(insert)}, &id), S_OK);
    ASSERT_EQ(id.vt, VT_BSTR);
    EXPECT_EQ(Utf8(id.bstrVal), "1") << "the new row's key comes back as the return value";

    Bstr select(u"SELECT [ItemID], [Name] FROM [tItem];");
    LONG rows = -1, columns = -1;
    LONGLONG vm = 0;
    ASSERT_EQ(db.Call(u"Query", {Ref(VT_I4, &errorId), Text(select), Ref(VT_I4, &rows), Ref(VT_I4, &columns),
                                 Ref(VT_I8, &vm)}),
              S_OK);
    EXPECT_EQ(rows, 1);
    EXPECT_EQ(columns, 2);
    EXPECT_NE(vm, 0) << "the result set lives in the caller's 64-bit slot";

    USHORT buffer[16] = {};
    VARIANT size = Make(VT_UI4);
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
    EXPECT_EQ(db.Call(u"Execute", {Ref(VT_I4, &errorId), Text(sql)}, &id), E_UNEXPECTED);
    EXPECT_EQ(errorId, PIMERR_NOT_CONNECTED);
    EXPECT_EQ(id.vt, VT_EMPTY) << "a failed call has no return value";

    LONG rows = 0;
    LONGLONG vm = 0;
    UINT argErr = 99;
    EXPECT_EQ(db.Call(u"Query", {Ref(VT_I4, &errorId), Text(sql), Ref(VT_I4, &rows), Text(sql), Ref(VT_I8, &vm)},
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
        EXPECT_EQ(profiles().Call(u"AddProfile", {Ref(VT_I4, &m_errorId), Record(&info, m_profileInfo.get())}, &id),
                  S_OK);
        EXPECT_EQ(id.vt, VT_BSTR);
        return Utf8(id.bstrVal);
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
    EXPECT_EQ(Utf8(info->bstrProfileID), second);
    EXPECT_EQ(Utf8(info->bstrName), "Tablet");
    EXPECT_EQ(Utf8(info->bstrIMEI), "imei");

    LONG num = -1;
    Variant all;
    ASSERT_EQ(profiles().Call(u"GetAllProfiles", {Ref(VT_I4, &m_errorId), Ref(VT_I4, &num)}, &all), S_OK);
    EXPECT_EQ(num, before + 2);
    ASSERT_EQ(all.vt, VT_ARRAY | VT_RECORD);
    LONG upper = -1;
    SafeArrayGetUBound(all.parray, 1, &upper);
    EXPECT_EQ(upper, before + 1);
    EXPECT_EQ(Utf8(static_cast<const tagProfileInfo*>(all.parray->pvData)[before].bstrName), "Phone");
    EXPECT_EQ(m_errorId, 0) << "no call failed";
}

TEST_F(ProfilesThroughDispatch, ArgumentFailuresReachTheCaller) {
    const LONG before = Count();
    Variant profile;
    EXPECT_EQ(profiles().Call(u"GetProfileByIndex", {Ref(VT_I4, &m_errorId), Long(before)}, &profile), E_INVALIDARG);
    EXPECT_EQ(m_errorId, PIMERR_INVALID_ARGUMENT);
    EXPECT_EQ(profile.vt, VT_EMPTY);

    // A record of another type is refused before the method runs.
    ComPtr<IRecordInfo> contactInfo;
    ASSERT_EQ(calyra::CreateRecordInfo(&calyra::RecordDescriptionOf<tagContactInfo>(), &contactInfo), S_OK);
    tagContactInfo contact{};
    UINT argErr = 99;
    Variant id;
    EXPECT_EQ(profiles().Call(u"AddProfile", {Ref(VT_I4, &m_errorId), Record(&contact, contactInfo.get())}, &id,
                              &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u);

    // An object that is not a connection cannot be wired in.
    EXPECT_EQ(profiles().Call(u"SetPimDbAccess", {Ref(VT_I4, &m_errorId), Object(m_object.get())}, nullptr, &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Count(), before) << "the connection set before stays in place";
}

}  // namespace
