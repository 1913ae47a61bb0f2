// Automation dispatch through a small dual interface declared here: name
// lookup, argument order, counts, conversions, by-value against by-reference
// arguments, records, arrays, interfaces, and that nothing leaks on either
// the success or the failure path (the sanitizer builds watch the leaks).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "comserver/dispatch.h"
#include "comserver/object_root.h"
#include "idl/automation_type.h"
#include "platform/bstr.h"
#include "platform/com_ptr.h"
#include "platform/record_info.h"
#include "platform/safearray.h"
#include "support/automation.h"
#include "support/sample_records.h"

using calyra::Bstr;
using calyra::ComPtr;
using calyra::ParamDesc;
using calyra::ParamDir;
using namespace calyra::test;

namespace {

// The probe's points are Notes (support/sample_records.h); a record of
// another type with the same layout is refused.
using tagTestPoint = Note;
constexpr GUID kOtherRecordGuid = {0x51d0a7e2, 0x4c1b, 0x4f0e, {0x9a, 0x11, 0, 0, 0, 0, 0, 2}};
const calyra::RecordDesc kOtherDesc = {"tagOther", &kOtherRecordGuid, sizeof(Note), kNoteFields, 2};

}  // namespace

extern "C" const IID IID_ITestProbe = {0x51d0a7e2, 0x4c1b, 0x4f0e, {0x9a, 0x11, 0, 0, 0, 0, 0, 3}};

struct ITestProbe : IDispatch {
    // text + "#" + number + suffix; a negative number fails with error ID 0x5002.
    STDMETHOD(Describe)(LONG* plErrorID, LONG lNumber, BSTR bstrText, BSTR bstrSuffix, BSTR* pbstrResult) = 0;
    // Records its inputs and adds ulValue to *pllTotal; S_FALSE when the flag is off.
    STDMETHOD(Widen)(LONG* plErrorID, ULONG ulValue, VARIANT_BOOL vbFlag, DATE dtWhen, LONGLONG* pllTotal) = 0;
    // Counts its calls into *plCount; done after the third.
    STDMETHOD(CountUp)(LONG* plErrorID, LONG* plCount, VARIANT_BOOL* pvbDone) = 0;
    // Doubles pPoint->lPriority in place and returns a copy.
    STDMETHOD(Relabel)(LONG* plErrorID, tagTestPoint* pPoint, tagTestPoint* pCopy) = 0;
    STDMETHOD(MakePoints)(LONG* plErrorID, LONG lCount, LONG* plNum, SAFEARRAY** ppPoints) = 0;
    // Hands back the peer it was given.
    STDMETHOD(Adopt)(LONG* plErrorID, ITestProbe* pPeer, ITestProbe** ppPeer) = 0;
    STDMETHOD(Lookup)(LONG* plErrorID, GUID* riid, void** ppv) = 0;
    // Appends "!" to the name.
    STDMETHOD(Rename)(LONG* plErrorID, BSTR* pbstrName) = 0;

protected:
    ~ITestProbe() = default;
};

template <>
struct calyra::InterfaceTraits<ITestProbe> {
    static const IID& iid() { return IID_ITestProbe; }
};

namespace {

constexpr VARTYPE kI4Ref = VT_I4 | VT_BYREF;
constexpr ParamDesc P(const char* name, ParamDir dir, VARTYPE vt, const calyra::RecordDesc* record = nullptr,
                      const IID* iid = nullptr) {
    return {name, dir, vt, record, iid};
}
using enum ParamDir;
constexpr ParamDesc kErrorId = P("plErrorID", InOut, kI4Ref);
constexpr ParamDesc kDescribeParams[] = {kErrorId, P("lNumber", In, VT_I4), P("bstrText", In, VT_BSTR),
                                         P("bstrSuffix", In, VT_BSTR), P("pbstrResult", RetVal, VT_BSTR | VT_BYREF)};
constexpr ParamDesc kWidenParams[] = {kErrorId, P("ulValue", In, VT_UI4), P("vbFlag", In, VT_BOOL),
                                      P("dtWhen", In, VT_DATE), P("pllTotal", InOut, VT_I8 | VT_BYREF)};
constexpr ParamDesc kCountUpParams[] = {kErrorId, P("plCount", Out, kI4Ref), P("pvbDone", RetVal, VT_BOOL | VT_BYREF)};
const ParamDesc kRelabelParams[] = {kErrorId, P("pPoint", InOut, VT_RECORD | VT_BYREF, &kNoteDesc),
                                    P("pCopy", RetVal, VT_RECORD | VT_BYREF, &kNoteDesc)};
const ParamDesc kMakePointsParams[] = {kErrorId, P("lCount", In, VT_I4), P("plNum", Out, kI4Ref),
                                       P("ppPoints", RetVal, calyra::kRecordArrayVt, &kNoteDesc)};
const ParamDesc kAdoptParams[] = {kErrorId, P("pPeer", In, VT_DISPATCH, nullptr, &IID_ITestProbe),
                                  P("ppPeer", RetVal, VT_DISPATCH | VT_BYREF, nullptr, &IID_ITestProbe)};
constexpr ParamDesc kLookupParams[] = {kErrorId, P("riid", In, calyra::VT_CLSID | VT_BYREF),
                                       P("ppv", RetVal, VT_UNKNOWN | VT_BYREF)};
constexpr ParamDesc kRenameParams[] = {kErrorId, P("pbstrName", InOut, VT_BSTR | VT_BYREF)};

template <size_t N>
constexpr calyra::MethodDesc Method(const char* name, DISPID dispid, const ParamDesc (&params)[N]) {
    return {name, dispid, params, N};
}
const calyra::MethodDesc kProbeMethods[] = {
    Method("Describe", 1, kDescribeParams),     Method("Widen", 2, kWidenParams),
    Method("CountUp", 3, kCountUpParams),       Method("Relabel", 4, kRelabelParams),
    Method("MakePoints", 5, kMakePointsParams), Method("Adopt", 6, kAdoptParams),
    Method("Lookup", 7, kLookupParams),         Method("Rename", 8, kRenameParams),
};
const calyra::InterfaceDesc kProbeDesc = {"ITestProbe", &IID_ITestProbe, kProbeMethods, std::size(kProbeMethods)};

}  // namespace

template <>
struct calyra::DispatchTraits<ITestProbe> {
    static constexpr const InterfaceDesc* description = &kProbeDesc;
    using Methods = DispatchMethodList<ITestProbe, &ITestProbe::Describe, &ITestProbe::Widen, &ITestProbe::CountUp,
                                       &ITestProbe::Relabel, &ITestProbe::MakePoints, &ITestProbe::Adopt,
                                       &ITestProbe::Lookup, &ITestProbe::Rename>;
};

namespace {

class CTestProbe : public calyra::CComObjectRootEx<calyra::CComMultiThreadModel>,
                   public calyra::IDispatchImpl<ITestProbe> {
public:
    STDMETHODIMP Describe(LONG* plErrorID, LONG lNumber, BSTR bstrText, BSTR bstrSuffix, BSTR* pbstrResult) override {
        if (lNumber < 0) {
            if (plErrorID) *plErrorID = 0x5002;
            return E_INVALIDARG;
        }
        std::u16string text(Bstr(bstrText).view());
        text += u"#" + calyra::Utf8ToUtf16(std::to_string(lNumber)) + std::u16string(Bstr(bstrSuffix).view());
        *pbstrResult = Bstr(text).Detach();
        return S_OK;
    }
    STDMETHODIMP Widen(LONG*, ULONG ulValue, VARIANT_BOOL vbFlag, DATE dtWhen, LONGLONG* pllTotal) override {
        m_ulValue = ulValue;
        m_vbFlag = vbFlag;
        m_dtWhen = dtWhen;
        *pllTotal += ulValue;
        return vbFlag ? S_OK : S_FALSE;
    }
    STDMETHODIMP CountUp(LONG*, LONG* plCount, VARIANT_BOOL* pvbDone) override {
        if (!plCount || !pvbDone) return E_POINTER;
        *plCount = ++m_calls;
        *pvbDone = m_calls >= 3 ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    STDMETHODIMP Relabel(LONG*, tagTestPoint* pPoint, tagTestPoint* pCopy) override {
        pPoint->lPriority *= 2;
        calyra::RecordCopyByDescription(&kNoteDesc, pPoint, pCopy);
        return S_OK;
    }
    STDMETHODIMP MakePoints(LONG*, LONG lCount, LONG* plNum, SAFEARRAY** ppPoints) override {
        ComPtr<IRecordInfo> info;
        calyra::CreateRecordInfo(&kNoteDesc, &info);
        SAFEARRAY* array = SafeArrayCreateVectorEx(VT_RECORD, 0, static_cast<ULONG>(lCount), info.get());
        auto* points = static_cast<tagTestPoint*>(array->pvData);
        for (LONG i = 0; i < lCount; ++i) {
            points[i].lPriority = i;
            points[i].bstrText = SysAllocString(u"point");
        }
        *ppPoints = array;
        *plNum = lCount;
        return S_OK;
    }
    STDMETHODIMP Adopt(LONG*, ITestProbe* pPeer, ITestProbe** ppPeer) override {
        if (pPeer) pPeer->AddRef();
        *ppPeer = pPeer;
        return S_OK;
    }
    STDMETHODIMP Lookup(LONG*, GUID* riid, void** ppv) override { return QueryInterface(*riid, ppv); }
    STDMETHODIMP Rename(LONG*, BSTR* pbstrName) override {
        Bstr renamed(std::u16string(Bstr(*pbstrName).view()) + u"!");
        SysFreeString(*pbstrName);
        *pbstrName = renamed.Detach();
        return S_OK;
    }

    ULONG m_ulValue = 0;
    VARIANT_BOOL m_vbFlag = 0;
    DATE m_dtWhen = 0;
    LONG m_calls = 0;
};

VARIANT Missing() {
    return MakeVariant(VT_ERROR, [](VARIANT& v) { v.scode = DISP_E_PARAMNOTFOUND; });
}
class DispatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(calyra::CreateComInstance<CTestProbe>(nullptr, IID_IDispatch, reinterpret_cast<void**>(&m_dispatch)),
                  S_OK);
        m_probe = static_cast<CTestProbe*>(static_cast<ITestProbe*>(m_dispatch.get()));
        ASSERT_EQ(calyra::CreateRecordInfo(&kNoteDesc, &m_pointInfo), S_OK);
    }

    // Invokes with the arguments in the caller's order.
    HRESULT Call(DISPID dispid, std::vector<VARIANT> args, VARIANT* result = nullptr, UINT* argErr = nullptr) {
        return Automation(m_dispatch.get()).Invoke(dispid, std::move(args), result, argErr);
    }

    ComPtr<IDispatch> m_dispatch;
    CTestProbe* m_probe = nullptr;
    ComPtr<IRecordInfo> m_pointInfo;
};

TEST_F(DispatchTest, NamesResolveIgnoringAsciiCaseAndUnknownNamesAreRefused) {
    const std::pair<const char16_t*, DISPID> names[] = {
        {u"Describe", 1}, {u"dEsCrIbE", 1}, {u"RENAME", 8}, {u"Renam", DISPID_UNKNOWN}, {u"Renamed", DISPID_UNKNOWN}};
    for (const auto& [name, id] : names) EXPECT_EQ(Automation(m_dispatch.get()).IdOf(name), id);

    LPOLESTR unknown[] = {const_cast<LPOLESTR>(u"Vanish"), const_cast<LPOLESTR>(u"lNumber")};
    DISPID unknownIds[2] = {7, 7};
    EXPECT_EQ(m_dispatch->GetIDsOfNames(IID_NULL, unknown, 2, 0, unknownIds), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(std::pair(unknownIds[0], unknownIds[1]), std::pair(DISPID_UNKNOWN, DISPID_UNKNOWN));
    EXPECT_EQ(m_dispatch->GetIDsOfNames(IID_ITestProbe, unknown, 1, 0, unknownIds), DISP_E_UNKNOWNINTERFACE);
    EXPECT_EQ(m_dispatch->GetIDsOfNames(IID_NULL, nullptr, 1, 0, unknownIds), E_INVALIDARG);
    UINT count = 9;
    EXPECT_EQ(m_dispatch->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
}

// Positional arguments arrive last first and named ones where their
// positions say, whatever their order; a position that is no argument or is
// given twice names the culprit.
TEST_F(DispatchTest, NamedArgumentsTakeTheirPositions) {
    Bstr text(u"t"), suffix(u"s");
    auto call = [&](std::vector<DISPID> names, UINT* argErr, Variant* result) {
        // rgvarg: the named ones first (suffix, text), then the positional ones last first.
        VARIANT args[] = {TextArg(suffix), TextArg(text), Long(1), Missing()};
        DISPPARAMS params{args, names.data(), 4, static_cast<UINT>(names.size())};
        return m_dispatch->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params, result, nullptr, argErr);
    };
    struct Case {
        std::vector<DISPID> names;
        HRESULT expected;
        UINT argErr;
        const char16_t* result;
    } cases[] = {
        {{3, 2}, S_OK, 99, u"t#1s"},
        {{2, 3}, S_OK, 99, u"s#1t"},
        {{3, 3}, DISP_E_PARAMNOTFOUND, 1, nullptr},  // suffix given twice
        {{3, 1}, DISP_E_PARAMNOTFOUND, 1, nullptr},  // lNumber is already positional
        {{3, 7}, DISP_E_PARAMNOTFOUND, 1, nullptr},  // no such argument
        {{3, 4}, DISP_E_PARAMNOTFOUND, 1, nullptr},  // the return value is no argument
    };
    for (const Case& c : cases) {
        UINT argErr = 99;
        Variant result;
        EXPECT_EQ(call(c.names, &argErr, &result), c.expected) << c.names[0] << "," << c.names[1];
        EXPECT_EQ(argErr, c.argErr);
        if (c.result) {
            EXPECT_EQ(Bstr(result.bstrVal).view(), c.result);
        }
    }
}

TEST_F(DispatchTest, MethodFailureComesBackWithTheErrorIdThroughAByRefLong) {
    Bstr text(u"x");
    LONG errorId = 0;
    Variant variable, result;
    // A long by reference, or a script's uninitialised variable passed by
    // reference, receives the error ID; a plain value or a missing argument
    // is accepted and the ID then goes nowhere.
    for (VARIANT errorArg : {Ref(VT_I4, &errorId), Ref(VT_VARIANT, &variable), Long(0), Missing()})
        EXPECT_EQ(Call(1, {errorArg, Long(-1), TextArg(text), TextArg(text)}, &result), E_INVALIDARG);
    EXPECT_EQ(errorId, 0x5002);
    EXPECT_EQ(std::pair(variable.vt, variable.lVal), std::pair(VARTYPE{VT_I4}, LONG{0x5002}));
    EXPECT_EQ(result.vt, VT_EMPTY) << "a failed call has no return value";
}

struct BadCall {
    const char* what;
    std::vector<VARIANT> args;  // caller's order, for Describe
    HRESULT expected;
    UINT argErr;  // index in rgvarg, or 99 when none is named
};

TEST_F(DispatchTest, BadArgumentsAreRefusedNamingTheirRgvargIndex) {
    Bstr text(u"t");
    SHORT shortSlot = 0;
    VARIANT t = TextArg(text), shortRef = Ref(VT_I2, &shortSlot);
    VARIANT tooBig = MakeVariant(VT_I8, [](VARIANT& v) { v.llVal = 1LL << 40; });
    VARIANT fractionTooBig = MakeVariant(VT_R8, [](VARIANT& v) { v.dblVal = 3e9; });
    Variant inner(u"five");
    VARIANT wrappedText = Ref(VT_VARIANT, &inner);
    const BadCall cases[] = {
        {"too few", {Missing(), Long(1), t}, DISP_E_BADPARAMCOUNT, 99},
        {"too many", {Missing(), Long(1), t, t, t}, DISP_E_BADPARAMCOUNT, 99},
        {"text for a long", {Missing(), t, t, t}, DISP_E_TYPEMISMATCH, 2},
        {"wrapped text for a long", {Missing(), wrappedText, t, t}, DISP_E_TYPEMISMATCH, 2},
        {"fraction too big", {Missing(), fractionTooBig, t, t}, DISP_E_OVERFLOW, 2},
        {"object for a text", {Missing(), Long(1), MakeVariant(VT_DISPATCH), t}, DISP_E_TYPEMISMATCH, 1},
        {"number too big", {Missing(), tooBig, t, t}, DISP_E_OVERFLOW, 2},
        {"missing value", {Missing(), Long(1), Missing(), t}, DISP_E_PARAMNOTOPTIONAL, 1},
        {"null for a text", {Missing(), Long(1), MakeVariant(VT_NULL), t}, DISP_E_TYPEMISMATCH, 1},
        {"text for the error ID", {t, Long(1), t, t}, DISP_E_TYPEMISMATCH, 3},
        {"short by reference for the error ID", {shortRef, Long(1), t, t}, DISP_E_TYPEMISMATCH, 3},
    };
    for (const BadCall& c : cases) {
        UINT argErr = 99;
        Variant result;
        EXPECT_EQ(Call(1, c.args, &result, &argErr), c.expected) << c.what;
        EXPECT_EQ(argErr, c.argErr) << c.what;
        EXPECT_EQ(result.vt, VT_EMPTY) << c.what;
    }
}

TEST_F(DispatchTest, CallsOutsideTheMethodProtocolAreRefused) {
    Bstr text(u"t");
    // rgvarg: the arguments last first; Describe(missing, 1, "t", "t"), then with -1.
    VARIANT args[] = {TextArg(text), TextArg(text), Long(1), Missing()};
    VARIANT failing[] = {TextArg(text), TextArg(text), Long(-1), Missing()};
    DISPPARAMS params{args, nullptr, 4, 0}, failingParams{failing, nullptr, 4, 0};
    auto invoke = [&](DISPID id, REFIID iid, WORD flags, DISPPARAMS* p) {
        return m_dispatch->Invoke(id, iid, 0, flags, p, nullptr, nullptr, nullptr);
    };
    EXPECT_EQ(invoke(0, IID_NULL, DISPATCH_METHOD, &params), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(invoke(9, IID_NULL, DISPATCH_METHOD, &params), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(invoke(1, IID_ITestProbe, DISPATCH_METHOD, &params), DISP_E_UNKNOWNINTERFACE);
    EXPECT_EQ(invoke(1, IID_NULL, DISPATCH_PROPERTYPUT, &params), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(invoke(1, IID_NULL, DISPATCH_PROPERTYGET, &params), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(invoke(1, IID_NULL, DISPATCH_METHOD, nullptr), E_INVALIDARG);
    // A failing method is an exception of the call carrying its status.
    EXCEPINFO exception{};
    exception.scode = S_OK;
    EXPECT_EQ(m_dispatch->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &failingParams, nullptr, &exception, nullptr),
              DISP_E_EXCEPTION);
    EXPECT_EQ(exception.scode, E_INVALIDARG);
    EXPECT_EQ(invoke(1, IID_NULL, DISPATCH_METHOD, &failingParams), DISP_E_EXCEPTION);
    // A script reading a value asks for method and property get at once.
    Variant result;
    EXPECT_EQ(
        m_dispatch->Invoke(1, IID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &params, &result, nullptr, nullptr),
        S_OK);
    EXPECT_EQ(Bstr(result.bstrVal).view(), u"t#1t");
}

// What scripts pass: numbers for texts, numeric texts and Doubles for
// numbers, each converted as VariantChangeType converts it (the table of
// conversions is tests/platform/variant_change_type_test.cpp), when the
// value fits.
TEST_F(DispatchTest, ArgumentsAreConvertedToTheDeclaredTypes) {
    VARIANT shortValue = MakeVariant(VT_I2, [](VARIANT&v) { v.iVal = 7; }), nonzero = Long(5);
    VARIANT real = MakeVariant(VT_R8, [](VARIANT& v) { v.dblVal = 1.5; });
    LONGLONG total = 10;
    ASSERT_EQ(Call(2, {Missing(), shortValue, nonzero, real, Ref(VT_I8, &total)}), S_OK);
    // Any nonzero number is true; the caller's 64-bit slot is read and written in place.
    EXPECT_EQ(std::tuple(m_probe->m_ulValue, m_probe->m_vbFlag, m_probe->m_dtWhen, total),
              std::tuple(ULONG{7}, VARIANT_BOOL{VARIANT_TRUE}, 1.5, LONGLONG{17}));

    UINT argErr = 99;
    EXPECT_EQ(Call(2, {Missing(), Long(-1), nonzero, real, Ref(VT_I8, &total)}, nullptr, &argErr), DISP_E_OVERFLOW)
        << "a negative number does not fit an unsigned long";
    EXPECT_EQ(argErr, 3u);
    // A method's other success codes (S_FALSE for the flag off) reach the caller as S_OK.
    VARIANT flagOff = MakeVariant(VT_BOOL, [](VARIANT& v) { v.boolVal = VARIANT_FALSE; });
    VARIANT date = MakeVariant(VT_DATE, [](VARIANT& v) { v.date = 2.0; });
    EXPECT_EQ(Call(2, {Missing(), real, flagOff, date, Ref(VT_I8, &total)}), S_OK);
    EXPECT_EQ(std::tuple(m_probe->m_ulValue, m_probe->m_dtWhen, total), std::tuple(ULONG{2}, 2.0, LONGLONG{19}))
        << "a fraction rounds half to even";

    Bstr text(u"t");
    Variant numericText(u"12");
    VARIANT quotient = MakeVariant(VT_R8, [](VARIANT& v) { v.dblVal = 12.0 / 2.0; });
    VARIANT yes = MakeVariant(VT_BOOL, [](VARIANT& v) { v.boolVal = VARIANT_TRUE; });
    Variant result;
    ASSERT_EQ(Call(1, {Missing(), numericText, Long(5), quotient}, &result), S_OK);
    EXPECT_EQ(Bstr(result.bstrVal).view(), u"5#126") << "a number for a text is its decimal text";
    Variant again;
    ASSERT_EQ(Call(1, {Missing(), Ref(VT_VARIANT, &numericText), yes, TextArg(text)}, &again), S_OK);
    EXPECT_EQ(Bstr(again.bstrVal).view(), u"-1#12t") << "a Boolean for a text is -1";
}

TEST_F(DispatchTest, OutValuesAndInOutTextsReachTheCallersStorage) {
    LONG count = -1;
    Variant done;
    ASSERT_EQ(Call(3, {Missing(), Ref(VT_I4, &count)}, &done), S_OK);
    EXPECT_EQ(std::tuple(count, done.vt, done.boolVal),
              std::tuple(LONG{1}, VARTYPE{VT_BOOL}, VARIANT_BOOL{VARIANT_FALSE}));

    // An out value replaces whatever a wrapped VARIANT held, freeing it.
    Variant variable(u"to be freed");
    Variant done2;
    ASSERT_EQ(Call(3, {Missing(), Ref(VT_VARIANT, &variable)}, &done2), S_OK);
    EXPECT_EQ(std::pair(variable.vt, variable.lVal), std::pair(VARTYPE{VT_I4}, LONG{2}));

    // Without a place for the result the value is dropped.
    ASSERT_EQ(Call(3, {Missing(), Ref(VT_I4, &count)}), S_OK);
    EXPECT_EQ(count, 3);

    // A missing out pointer reaches the method as NULL.
    EXPECT_EQ(Call(3, {Missing(), Missing()}), E_POINTER);

    BSTR name = SysAllocString(u"name");
    ASSERT_EQ(Call(8, {Missing(), Ref(VT_BSTR, &name)}), S_OK);
    EXPECT_EQ(Bstr::Attach(name).view(), u"name!");

    // By value the method works on a copy; the caller's text stays.
    Bstr kept(u"kept");
    ASSERT_EQ(Call(8, {Missing(), TextArg(kept)}), S_OK);
    EXPECT_EQ(kept.view(), u"kept");

    Variant textVariable(u"var");
    ASSERT_EQ(Call(8, {Missing(), Ref(VT_VARIANT, &textVariable)}), S_OK);
    EXPECT_EQ(Bstr(textVariable.bstrVal).view(), u"var!");
}

TEST_F(DispatchTest, RecordsAreReadInPlaceReturnedOwnedAndCheckedForTheirType) {
    tagTestPoint point{SysAllocString(u"p"), 21};
    Variant copy;
    ASSERT_EQ(Call(4, {Missing(), RecordArg(&point, m_pointInfo.get())}, &copy), S_OK);
    EXPECT_EQ(point.lPriority, 42) << "an in/out record is the caller's storage";
    ASSERT_EQ(copy.vt, VT_RECORD);
    ASSERT_NE(copy.pRecInfo, nullptr);
    GUID guid{};
    copy.pRecInfo->GetGuid(&guid);
    EXPECT_EQ(guid, kNoteGuid);
    const auto* returned = static_cast<const tagTestPoint*>(copy.pvRecord);
    EXPECT_EQ(std::pair(returned->lPriority, Bstr(returned->bstrText).view()),
              std::pair(LONG{42}, std::u16string_view(u"p")));
    EXPECT_NE(returned->bstrText, point.bstrText) << "the returned record owns its own texts";

    VARIANT byRef = RecordArg(&point, m_pointInfo.get());
    byRef.vt = VT_RECORD | VT_BYREF;
    Variant copy2;
    ASSERT_EQ(Call(4, {Missing(), byRef}, &copy2), S_OK);
    EXPECT_EQ(point.lPriority, 84);

    calyra::RecordClearByDescription(&kNoteDesc, &point);

    ComPtr<IRecordInfo> other;
    ASSERT_EQ(calyra::CreateRecordInfo(&kOtherDesc, &other), S_OK);
    tagTestPoint stranger{nullptr, 1};
    UINT argErr = 99;
    Variant refused;
    EXPECT_EQ(Call(4, {Missing(), RecordArg(&stranger, other.get())}, &refused, &argErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u);
    EXPECT_EQ(Call(4, {Missing(), RecordArg(&stranger, nullptr)}, &refused, &argErr), DISP_E_TYPEMISMATCH)
        << "a record without its record info cannot be checked";
    EXPECT_EQ(stranger.lPriority, 1);
    EXPECT_EQ(refused.vt, VT_EMPTY);
}

TEST_F(DispatchTest, RecordArrayRetValOwnsTheArray) {
    LONG num = 0;
    Variant points;
    ASSERT_EQ(Call(5, {Missing(), Long(3), Ref(VT_I4, &num)}, &points), S_OK);
    EXPECT_EQ(num, 3);
    ASSERT_EQ(points.vt, VT_ARRAY | VT_RECORD);
    LONG upper = -1;
    SafeArrayGetUBound(points.parray, 1, &upper);
    EXPECT_EQ(upper, 2);
    EXPECT_EQ(static_cast<tagTestPoint*>(points.parray->pvData)[2].lPriority, 2);
}

// A script names an interface by its text; a leaked or lost reference to an
// object passed in shows only in its count.
TEST_F(DispatchTest, InterfacesKeepReferencesBalancedAndGuidsComeAsText) {
    ComPtr<IDispatch> peer;
    ASSERT_EQ(calyra::CreateComInstance<CTestProbe>(nullptr, IID_IDispatch, reinterpret_cast<void**>(&peer)), S_OK);
    {
        Variant out;
        ASSERT_EQ(Call(6, {Missing(), Object(peer.get())}, &out), S_OK);
        EXPECT_EQ(out.pdispVal, peer.get()) << "the same object comes back";
    }
    peer->AddRef();
    EXPECT_EQ(peer->Release(), 1u) << "the call kept or dropped a reference to the object passed in";

    Bstr text(u"{00020400-0000-0000-C000-000000000046}"), malformed(u"IDispatch");  // IDispatch
    Variant found;
    ASSERT_EQ(Call(7, {Missing(), TextArg(text)}, &found), S_OK);
    EXPECT_EQ(found.vt, VT_UNKNOWN);
    UINT argErr = 99;
    EXPECT_EQ(Call(7, {Missing(), TextArg(malformed)}, nullptr, &argErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u);
}

TEST_F(DispatchTest, DescriptionThatDriftedFromTheInterfaceIsRefused) {
    // Describe's description with the number and the text swapped.
    static constexpr ParamDesc kSwapped[] = {kErrorId, P("bstrText", In, VT_BSTR), P("lNumber", In, VT_I4),
                                             P("bstrSuffix", In, VT_BSTR),
                                             P("pbstrResult", RetVal, VT_BSTR | VT_BYREF)};
    static const calyra::MethodDesc kDrifted[] = {Method("Describe", 1, kSwapped)};
    static const calyra::InterfaceDesc kDriftedDesc = {"ITestProbe", &IID_ITestProbe, kDrifted, 1};
    const calyra::DispatchTable& real = calyra::DispatchTableOf<ITestProbe>();
    const calyra::DispatchTable drifted{&kDriftedDesc, real.methods, 1};
    Bstr text(u"t");
    std::vector<VARIANT> args = {Missing(), Long(1), TextArg(text), TextArg(text)};
    DISPPARAMS params{args.data(), nullptr, 4, 0};
    Variant result;
    EXPECT_EQ(drifted.Invoke(static_cast<ITestProbe*>(m_probe), 1, IID_NULL, DISPATCH_METHOD, &params, &result, nullptr,
                             nullptr),
              E_UNEXPECTED);
    EXPECT_EQ(result.vt, VT_EMPTY);
}

}  // namespace
