// Table-driven GetIDsOfNames and Invoke; see dispatch_table.h.
#include "comserver/dispatch_table.h"

#include <array>

#include "platform/com_ptr.h"
#include "platform/type_lib.h"

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
                              VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) const {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (!description || dispid < 1 || static_cast<size_t>(dispid) > methodCount ||
        static_cast<size_t>(dispid) > description->methodCount)
        return DISP_E_MEMBERNOTFOUND;
    // Every member is a method; a script reading a value may add PROPERTYGET.
    const WORD kPut = DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF;
    if (!(wFlags & DISPATCH_METHOD) || (wFlags & kPut)) return DISP_E_MEMBERNOTFOUND;
    if (!pDispParams) return E_INVALIDARG;
    if (pDispParams->cArgs != 0 && !pDispParams->rgvarg) return E_INVALIDARG;

    const MethodDesc& method = description->methods[dispid - 1];
    const DispatchMethod& entry = methods[dispid - 1];
    if (method.dispid != dispid || !entry.invoke || !entry.matches || !entry.matches(method)) return E_UNEXPECTED;

    // Named arguments (rgvarg's first cNamedArgs, each named by its
    // position) are put where a positional caller would have put them.
    const UINT count = pDispParams->cArgs;
    const UINT named = pDispParams->cNamedArgs;
    if (named > count || (named != 0 && !pDispParams->rgdispidNamedArgs)) return E_INVALIDARG;
    if (count != DispatchFrame::ArgumentCount(method)) return DISP_E_BADPARAMCOUNT;
    std::array<VARIANT, DispatchFrame::kMaxParams> ordered;
    std::array<UINT, DispatchFrame::kMaxParams> origin{};  // ordered index -> the caller's rgvarg index
    DISPPARAMS params = *pDispParams;
    if (named != 0) {
        if (count > ordered.size()) return DISP_E_BADPARAMCOUNT;
        std::array<bool, DispatchFrame::kMaxParams> filled{};
        const UINT positional = count - named;
        for (UINT i = named; i < count; ++i) {
            ordered[i] = pDispParams->rgvarg[i];
            origin[i] = i;
            filled[i] = true;
        }
        for (UINT i = 0; i < named; ++i) {
            const DISPID position = pDispParams->rgdispidNamedArgs[i];
            // Position p of the argument list is rgvarg[count - 1 - p].
            const bool valid = position >= 0 && static_cast<UINT>(position) < count &&
                               static_cast<UINT>(position) >= positional && !filled[count - 1 - position];
            if (!valid) {
                if (puArgErr) *puArgErr = i;
                return DISP_E_PARAMNOTFOUND;
            }
            ordered[count - 1 - position] = pDispParams->rgvarg[i];
            origin[count - 1 - position] = i;
            filled[count - 1 - position] = true;
        }
        params.rgvarg = ordered.data();
        params.rgdispidNamedArgs = nullptr;
        params.cNamedArgs = 0;
    }

    if (pVarResult) VariantInit(pVarResult);
    DispatchFrame frame(method);
    UINT argErr = count;  // no argument to blame unless Load names one
    HRESULT hr = frame.Load(params, &argErr);
    if (FAILED(hr)) {
        if (puArgErr && argErr < count) *puArgErr = named != 0 ? origin[argErr] : argErr;
        return hr;
    }
    hr = entry.invoke(self, frame);
    frame.Finish(hr, pVarResult);
    if (SUCCEEDED(hr)) return S_OK;
    // A failing method is an exception of the call, its status in scode.
    if (pExcepInfo) {
        *pExcepInfo = EXCEPINFO{};
        pExcepInfo->scode = hr;
    }
    return DISP_E_EXCEPTION;
}

HRESULT DispatchTable::GetTypeInfo(UINT index, ITypeInfo** ppTInfo) const {
    if (!ppTInfo) return E_POINTER;
    *ppTInfo = nullptr;
    if (!library || !description) return E_NOTIMPL;
    if (index != 0) return DISP_E_BADINDEX;
    // The runtime keeps a loaded library, so asking again is cheap.
    ComPtr<ITypeLib> lib;
    HRESULT hr = LoadRegTypeLib(*library->libid, library->majorVersion, library->minorVersion, 0, &lib);
    if (FAILED(hr)) return hr;
    return lib->GetTypeInfoOfGuid(*description->iid, ppTInfo);
}

}  // namespace calyra
