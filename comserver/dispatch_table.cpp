// Table-driven GetIDsOfNames and Invoke; see dispatch_table.h.
#include "comserver/dispatch_table.h"

namespace calyra {
namespace {

// ASCII-only case folding, as automation names are ASCII.
OLECHAR FoldAscii(OLECHAR c) { return c >= u'A' && c <= u'Z' ? static_cast<OLECHAR>(c - u'A' + u'a') : c; }

bool NameEquals(const OLECHAR* name, const char* described) {
    if (!name || !described) return false;
    for (; *name && *described; ++name, ++described) {
        const auto d = static_cast<unsigned char>(*described);
        if (d >= 0x80 || FoldAscii(*name) != FoldAscii(static_cast<OLECHAR>(d))) return false;
    }
    return *name == 0 && *described == 0;
}

// The position of a parameter in the caller's argument list, or
// DISPID_UNKNOWN (the return value is not an argument).
DISPID ArgumentPosition(const MethodDesc& method, const OLECHAR* name) {
    DISPID position = 0;
    for (size_t i = 0; i < method.paramCount; ++i) {
        const ParamDesc& param = method.params[i];
        if (param.dir == ParamDir::RetVal) continue;
        if (NameEquals(name, param.name)) return position;
        ++position;
    }
    return DISPID_UNKNOWN;
}

}  // namespace

HRESULT DispatchTable::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, DISPID* rgDispId) const {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (!rgszNames || !rgDispId || cNames == 0) return E_INVALIDARG;
    for (UINT i = 0; i < cNames; ++i) rgDispId[i] = DISPID_UNKNOWN;

    const MethodDesc* method = nullptr;
    if (description) {
        for (size_t i = 0; i < description->methodCount; ++i) {
            if (NameEquals(rgszNames[0], description->methods[i].name)) {
                method = &description->methods[i];
                break;
            }
        }
    }
    if (!method) return DISP_E_UNKNOWNNAME;
    rgDispId[0] = method->dispid;
    HRESULT hr = S_OK;
    for (UINT i = 1; i < cNames; ++i) {
        rgDispId[i] = ArgumentPosition(*method, rgszNames[i]);
        if (rgDispId[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

HRESULT DispatchTable::Invoke(IDispatch* self, DISPID dispid, REFIID riid, WORD wFlags, DISPPARAMS* pDispParams,
                              VARIANT* pVarResult, UINT* puArgErr) const {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (!description || dispid < 1 || static_cast<size_t>(dispid) > methodCount ||
        static_cast<size_t>(dispid) > description->methodCount)
        return DISP_E_MEMBERNOTFOUND;
    // Every member is a method; a script reading a value may add PROPERTYGET.
    const WORD kPut = DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF;
    if (!(wFlags & DISPATCH_METHOD) || (wFlags & kPut)) return DISP_E_MEMBERNOTFOUND;
    if (!pDispParams) return E_INVALIDARG;
    if (pDispParams->cNamedArgs != 0) return DISP_E_NONAMEDARGS;

    const MethodDesc& method = description->methods[dispid - 1];
    const DispatchMethod& entry = methods[dispid - 1];
    if (method.dispid != dispid || !entry.invoke || !entry.matches || !entry.matches(method)) return E_UNEXPECTED;

    if (pVarResult) VariantInit(pVarResult);
    DispatchFrame frame(method);
    HRESULT hr = frame.Load(*pDispParams, puArgErr);
    if (FAILED(hr)) return hr;
    hr = entry.invoke(self, frame);
    frame.Finish(hr, pVarResult);
    return FAILED(hr) ? hr : S_OK;
}

}  // namespace calyra
