// VARIANT initialisation and release of what a variant owns.
#include "platform/variant.h"

#include "platform/bstr.h"
#include "platform/record_info.h"
#include "platform/safearray.h"
#include "platform/unknown.h"

namespace {

// Types a by-value variant may hold without owning anything.
bool IsPlainType(VARTYPE vt) {
    switch (vt) {
        case VT_EMPTY:
        case VT_NULL:
        case VT_I2:
        case VT_I4:
        case VT_R4:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
        case VT_ERROR:
        case VT_BOOL:
        case VT_I1:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_I8:
        case VT_UI8:
        case VT_INT:
        case VT_UINT:
            return true;
        default:
            return false;
    }
}

}  // namespace

extern "C" {

void VariantInit(VARIANTARG* pvarg) {
    if (!pvarg) return;
    pvarg->vt = VT_EMPTY;
    pvarg->wReserved1 = 0;
    pvarg->wReserved2 = 0;
    pvarg->wReserved3 = 0;
}

// A type the variant cannot hold gives DISP_E_BADVARTYPE, and a variant
// whose array is still locked gives DISP_E_ARRAYISLOCKED; both leave the
// variant as it was.
HRESULT VariantClear(VARIANTARG* pvarg) {
    if (!pvarg) return E_INVALIDARG;
    VARTYPE vt = pvarg->vt;
    if (vt & VT_BYREF) {
        // Points into the caller's storage: nothing to free.
    } else if (vt & VT_ARRAY) {
        HRESULT hr = SafeArrayDestroy(pvarg->parray);
        if (FAILED(hr)) return hr;
    } else {
        switch (vt) {
            case VT_BSTR:
                SysFreeString(pvarg->bstrVal);
                break;
            case VT_UNKNOWN:
            case VT_DISPATCH:
                if (pvarg->punkVal) pvarg->punkVal->Release();
                break;
            case VT_RECORD:
                if (IRecordInfo* info = pvarg->pRecInfo) {
                    if (void* record = pvarg->pvRecord) {
                        info->RecordClear(record);
                        info->RecordDestroy(record);
                    }
                    info->Release();
                }
                break;
            default:
                if (!IsPlainType(vt)) return DISP_E_BADVARTYPE;
                break;
        }
    }
    VariantInit(pvarg);
    return S_OK;
}

}  // extern "C"
