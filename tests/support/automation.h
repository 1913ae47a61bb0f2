// Late-bound calls for tests: VARIANT makers for arguments, a VARIANT that
// clears itself, and Automation, which calls an object's methods by name or
// DISPID through IDispatch the way a script does.
//
//   Automation profiles(object.get());
//   Variant count;
//   profiles.Call(u"GetNumOfProfiles", {Ref(VT_I4, &errorId)}, &count);
//
// The makers hand out VARIANTs that borrow what they point at (texts,
// records, objects): the caller keeps those alive and frees them. Variant
// owns its content. Nothing here takes a lock; one thread per object.
#pragma once

#include <string>
#include <vector>

#include "comserver/dispatch.h"
#include "platform/variant.h"

namespace calyra::test {

struct Variant : VARIANT {
    Variant() { VariantInit(this); }
    // Owns a copy of `text`, as a script's text variable does.
    explicit Variant(const char16_t* text) : Variant() {
        vt = VT_BSTR;
        bstrVal = SysAllocString(AsOle(text));
    }
    ~Variant() { VariantClear(this); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
};

// A VARIANT of type vt, its value set by `set`: MakeVariant(VT_DATE, [](VARIANT& v) { v.date = 2.0; }).
inline VARIANT MakeVariant(VARTYPE vt) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    return v;
}
template <class Set>
VARIANT MakeVariant(VARTYPE vt, Set set) {
    VARIANT v = MakeVariant(vt);
    set(v);
    return v;
}
inline VARIANT Long(LONG value) {
    return MakeVariant(VT_I4, [=](VARIANT& v) { v.lVal = value; });
}
// A VT_BYREF argument pointing at the caller's storage.
inline VARIANT Ref(VARTYPE vt, void* target) {
    return MakeVariant(vt | VT_BYREF, [=](VARIANT& v) { v.byref = target; });
}
inline VARIANT TextArg(BSTR text) {
    return MakeVariant(VT_BSTR, [=](VARIANT& v) { v.bstrVal = text; });
}
inline VARIANT Object(IDispatch* object) {
    return MakeVariant(VT_DISPATCH, [=](VARIANT& v) { v.pdispVal = object; });
}
inline VARIANT RecordArg(void* record, IRecordInfo* info) {
    return MakeVariant(VT_RECORD, [=](VARIANT& v) {
        v.pvRecord = record;
        v.pRecInfo = info;
    });
}

// A late-bound view of one object.
class Automation {
public:
    explicit Automation(IDispatch* object) : m_object(object) {}

    DISPID IdOf(const char16_t* name) const {
        LPOLESTR names[] = {const_cast<LPOLESTR>(AsOle(name))};
        DISPID id = DISPID_UNKNOWN;
        m_object->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
        return id;
    }
    // Arguments in the caller's order; rgvarg gets them last first. A
    // failing method's status comes back as itself (the exception's scode),
    // as a script sees it.
    HRESULT Invoke(DISPID id, std::vector<VARIANT> args, VARIANT* result = nullptr, UINT* argErr = nullptr) const {
        std::vector<VARIANT> reversed(args.rbegin(), args.rend());
        DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
        EXCEPINFO exception{};
        const HRESULT hr = m_object->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, result, &exception, argErr);
        return hr == DISP_E_EXCEPTION ? exception.scode : hr;
    }
    HRESULT Call(const char16_t* name, std::vector<VARIANT> args, VARIANT* result = nullptr,
                 UINT* argErr = nullptr) const {
        return Invoke(IdOf(name), std::move(args), result, argErr);
    }

private:
    IDispatch* m_object;
};

}  // namespace calyra::test
