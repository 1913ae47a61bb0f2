// Late binding on the system's runtime: an object hands out its interface's
// type information from the registered library (every class does so
// through the same template, tested for each class on Linux), and the
// component's IDispatch::Invoke answers each call of the table below as
// DispInvoke over that type information answers it on the same object (the
// way IDispatchImpl-style classes serve automation). One row per call: the
// arguments in the caller's order and how the two answers compare: the
// status, the index puArgErr names, the return value of a successful call
// and what the caller's by-reference storage holds afterwards.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "idl/calyra_idl.h"
#include "platform/bstr.h"
#include "platform/com_ptr.h"
#include "support/automation.h"

namespace {

using calyra::test::Variant;

class LateBinding : public ::testing::Test {
protected:
    static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    static void TearDownTestSuite() { CoUninitialize(); }
};

// What a caller passes for one argument: a VARIANT of type `vt` holding a
// value of type `valueVt` (a text, or `number`); by reference it points at
// the caller's storage, which holds that value before the call.
struct Arg {
    VARTYPE vt;
    VARTYPE valueVt;
    LONG number = 0;
    const wchar_t* text = nullptr;
};
const Arg ErrorRef{VT_I4 | VT_BYREF, VT_I4, 7};
const Arg ErrorValue{VT_I4, VT_I4, 0};                    // as JScript passes the error ID
const Arg WrappedLong{VT_VARIANT | VT_BYREF, VT_I4, 7};   // as VBScript passes a variable
const Arg WrappedEmpty{VT_VARIANT | VT_BYREF, VT_EMPTY};  // an uninitialised script variable
const Arg Missing{VT_ERROR, VT_ERROR, DISP_E_PARAMNOTFOUND};
const Arg Empty{VT_EMPTY, VT_EMPTY};
const Arg Null{VT_NULL, VT_NULL};
const Arg Select{VT_BSTR, VT_BSTR, 0, L"SELECT 1, 2"};
const Arg BadSql{VT_BSTR, VT_BSTR, 0, L"no statement"};
const Arg Number{VT_I4, VT_I4, 42};
const Arg LongRef{VT_I4 | VT_BYREF, VT_I4, 7};
const Arg ResultSlot{VT_I8 | VT_BYREF, VT_I8, 0};  // for a result-set slot

// How the component's answer compares with the runtime's.
enum class Compare {
    Same,
    // What scripts pass, which the component takes on purpose: a variable by
    // reference (VT_VARIANT | VT_BYREF) for a typed out value, a left-out
    // error ID. Wine 8's runtime refuses them (DISP_E_TYPEMISMATCH), so
    // every VBScript call with an error-ID variable would fail.
    OursAccepts,
    // Both refuse the argument; Windows names it in puArgErr (its index in
    // rgvarg, given in the row), Wine 8 leaves puArgErr alone.
    ArgErrNamed,
};

struct Call {
    const char* what;
    const wchar_t* method;
    std::vector<Arg> args;  // in the caller's order
    Compare compare = Compare::Same;
    UINT argErr = 99;  // for ArgErrNamed
    WORD flags = DISPATCH_METHOD;
    // The named arguments: the last n arguments, named by their positions.
    std::vector<DISPID> named = {};
};

// One run's storage and the caller's view of it afterwards.
struct CallRun {
    explicit CallRun(const Call& call) : kinds(call.args), named(call.named) {
        const size_t count = kinds.size();
        for (size_t i = 0; i < count; ++i) {
            const Arg& a = kinds[i];
            VARIANT& value = values[i];
            value.vt = a.valueVt;
            if (a.text)
                value.bstrVal = SysAllocString(a.text);
            else
                value.lVal = a.number;
            // rgvarg lists the arguments last first; one by value is the
            // value itself (its text stays the storage's).
            VARIANT& arg = rgvarg[count - 1 - i];
            arg = value;
            if (a.vt & VT_BYREF) {
                arg.vt = a.vt;
                arg.byref = a.vt == (VT_VARIANT | VT_BYREF) ? static_cast<void*>(&value) : &value.lVal;
            }
        }
        params = {rgvarg, named.empty() ? nullptr : named.data(), static_cast<UINT>(count),
                  static_cast<UINT>(named.size())};
    }
    ~CallRun() {
        for (VARIANT& v : values) VariantClear(&v);
    }

    // Status, puArgErr, the return value and every by-reference argument.
    std::string Seen(IPimDbAccess* db) {
        char text[96];
        // A failed call's return value is nobody's to read.
        std::snprintf(text, sizeof text, "hr 0x%08lx argErr %u result %s", static_cast<unsigned long>(hr), argErr,
                      SUCCEEDED(hr) ? Show(result).c_str() : "-");
        std::string out = text;
        for (size_t i = 0; i < kinds.size(); ++i) {
            if (!(kinds[i].vt & VT_BYREF)) continue;
            out += " [" + std::to_string(i) + "]=";
            if (kinds[i].valueVt != VT_I8) {
                out += Show(values[i]);
            } else if (values[i].llVal) {
                // A live result set differs from run to run; whether there is one does not.
                out += "a result set";
                LONG err = 0;
                db->FreeResultset(&err, &values[i].llVal);
            } else {
                out += "none";
            }
        }
        return out;
    }

    static std::string Show(VARIANT& v) {
        if (v.vt == VT_EMPTY) return "empty";
        Variant text;
        std::string out = "vt " + std::to_string(v.vt);
        if (SUCCEEDED(VariantChangeType(&text, &v, 0, VT_BSTR))) out += " '" + calyra::BstrUtf8(text.bstrVal) + "'";
        return out;
    }

    std::vector<Arg> kinds;
    std::vector<DISPID> named;
    VARIANT values[8]{};
    VARIANT rgvarg[8]{};
    DISPPARAMS params{};
    Variant result;
    UINT argErr = 99;
    HRESULT hr = E_FAIL;
};

// Calls on the connection, which answers without a profile or records.
using enum Compare;
const Call kCalls[] = {
    {"a Boolean back", L"IsOpenPimDatabase", {ErrorRef}},
    {"the error ID by value", L"IsOpenPimDatabase", {ErrorValue}},
    {"the error ID in a script variable", L"IsOpenPimDatabase", {WrappedLong}, OursAccepts},
    {"the error ID in an empty script variable", L"IsOpenPimDatabase", {WrappedEmpty}, OursAccepts},
    {"the error ID left out", L"IsOpenPimDatabase", {Missing}, OursAccepts},
    {"the error ID empty", L"IsOpenPimDatabase", {Empty}},
    {"no arguments", L"IsOpenPimDatabase", {}},
    {"one argument too many", L"IsOpenPimDatabase", {ErrorRef, Number}},
    {"read as a property", L"IsOpenPimDatabase", {ErrorRef}, Same, 99, DISPATCH_PROPERTYGET},
    {"method or property", L"IsOpenPimDatabase", {ErrorRef}, Same, 99, DISPATCH_METHOD | DISPATCH_PROPERTYGET},
    {"a text back", L"Execute", {ErrorRef, Select}},
    {"a failing call is an exception and writes the error ID", L"Execute", {ErrorRef, BadSql}},
    {"a number for the text", L"Execute", {ErrorRef, Number}},
    {"Null for the text", L"Execute", {ErrorRef, Null}, ArgErrNamed, 0},
    {"the text named", L"Execute", {ErrorRef, Select}, Same, 99, DISPATCH_METHOD, {1}},
    {"every argument named", L"Execute", {Select, ErrorRef}, Same, 99, DISPATCH_METHOD, {0, 1}},
    {"out values by reference", L"Query", {ErrorRef, Select, LongRef, LongRef, ResultSlot}},
    {"out values into empty script variables",
     L"Query",
     {ErrorRef, Select, WrappedEmpty, WrappedEmpty, ResultSlot},
     OursAccepts},
    {"a mismatch names its rgvarg index", L"Query", {ErrorRef, Null, LongRef, LongRef, ResultSlot}, ArgErrNamed, 3},
};

TEST_F(LateBinding, InvokeAnswersAsDispInvokeOverTheRegisteredTypeInfo) {
    IPimDbAccess* db = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_PimDbAccess, nullptr, CLSCTX_INPROC_SERVER, IID_IPimDbAccess,
                               reinterpret_cast<void**>(&db)),
              S_OK);
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    const std::wstring file = std::wstring(dir) + L"calyra-late-binding.db";
    DeleteFileW(file.c_str());
    const calyra::Bstr path(file.c_str()), user(L"u");
    LONG err = 0;
    ASSERT_EQ(db->OpenPimDatabase(&err, user, user, path), S_OK);
    // DispInvoke calls through the interface's own (vtable) half.
    calyra::ComPtr<ITypeInfo> dispatchInfo, vtableInfo;
    HREFTYPE ref = 0;
    UINT count = 0;
    EXPECT_EQ(db->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ASSERT_EQ(db->GetTypeInfo(0, 0, &dispatchInfo), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(dispatchInfo->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, IID_IPimDbAccess) && attr->typekind == TKIND_DISPATCH);
    dispatchInfo->ReleaseTypeAttr(attr);
    ASSERT_EQ(dispatchInfo->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref), S_OK);
    ASSERT_EQ(dispatchInfo->GetRefTypeInfo(ref, &vtableInfo), S_OK);

    for (const Call& call : kCalls) {
        LPOLESTR name = const_cast<LPOLESTR>(call.method);
        DISPID dispid = 0;
        ASSERT_EQ(db->GetIDsOfNames(IID_NULL, &name, 1, 0, &dispid), S_OK);
        CallRun ours(call), runtime(call);
        ours.hr = db->Invoke(dispid, IID_NULL, 0, call.flags, &ours.params, &ours.result, nullptr, &ours.argErr);
        runtime.hr = DispInvoke(db, vtableInfo.get(), dispid, call.flags, &runtime.params, &runtime.result, nullptr,
                                &runtime.argErr);
        const std::string seen = ours.Seen(db), expected = runtime.Seen(db);
        if (call.compare == OursAccepts && runtime.hr != ours.hr) {
            EXPECT_EQ(ours.hr, S_OK) << call.what;
            EXPECT_EQ(runtime.hr, DISP_E_TYPEMISMATCH) << call.what;
        } else if (call.compare == ArgErrNamed) {
            EXPECT_EQ(ours.hr, runtime.hr) << call.what;
            EXPECT_EQ(ours.argErr, call.argErr) << call.what;
            EXPECT_TRUE(runtime.argErr == call.argErr || runtime.argErr == 99) << call.what;
        } else {
            EXPECT_EQ(seen, expected) << call.what << " (ours, then DispInvoke's)";
        }
    }

    db->ClosePimDatabase(&err);
    db->Release();
    DeleteFileW(file.c_str());
}

}  // namespace
