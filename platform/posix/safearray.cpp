// Automation arrays: creation with the hidden area, locking, bounds, element
// addressing and destruction. See safearray.h for the layout and rules.
#include "platform/safearray.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <utility>

#include "platform/bstr.h"
#include "platform/posix/safearray_internal.h"
#include "platform/record_info.h"
#include "platform/unknown.h"
#include "platform/variant.h"

using namespace calyra::safearray_internal;

// Windows' 64-bit descriptor layout, which clients may read directly.
static_assert(offsetof(SAFEARRAY, cbElements) == 4);
static_assert(offsetof(SAFEARRAY, cLocks) == 8);
static_assert(offsetof(SAFEARRAY, pvData) == (sizeof(void*) == 8 ? 16 : 12));
static_assert(sizeof(SAFEARRAYBOUND) == 8);

namespace {

// Windows stops counting locks here; more means a caller forgot to unlock.
constexpr ULONG kMaxLocks = 0xFFFF;

struct ElementKind {
    VARTYPE vt;
    ULONG size;
    USHORT features;
};

// Element types of the array creators other than VT_RECORD.
constexpr ElementKind kElementKinds[] = {
    {VT_I1, 1, FADF_HAVEVARTYPE},
    {VT_UI1, 1, FADF_HAVEVARTYPE},
    {VT_I2, 2, FADF_HAVEVARTYPE},
    {VT_UI2, 2, FADF_HAVEVARTYPE},
    {VT_BOOL, sizeof(VARIANT_BOOL), FADF_HAVEVARTYPE},
    {VT_I4, 4, FADF_HAVEVARTYPE},
    {VT_UI4, 4, FADF_HAVEVARTYPE},
    {VT_INT, sizeof(INT), FADF_HAVEVARTYPE},
    {VT_UINT, sizeof(UINT), FADF_HAVEVARTYPE},
    {VT_ERROR, sizeof(SCODE), FADF_HAVEVARTYPE},
    {VT_R4, sizeof(float), FADF_HAVEVARTYPE},
    {VT_R8, sizeof(double), FADF_HAVEVARTYPE},
    {VT_CY, 8, FADF_HAVEVARTYPE},
    {VT_DATE, sizeof(DATE), FADF_HAVEVARTYPE},
    {VT_I8, 8, FADF_HAVEVARTYPE},
    {VT_UI8, 8, FADF_HAVEVARTYPE},
    {VT_BSTR, sizeof(BSTR), FADF_HAVEVARTYPE | FADF_BSTR},
    {VT_VARIANT, sizeof(VARIANT), FADF_HAVEVARTYPE | FADF_VARIANT},
    {VT_UNKNOWN, sizeof(IUnknown*), FADF_HAVEIID | FADF_UNKNOWN},
    {VT_DISPATCH, sizeof(IDispatch*), FADF_HAVEIID | FADF_DISPATCH},
};

const ElementKind* FindElementKind(VARTYPE vt) {
    for (const ElementKind& kind : kElementKinds) {
        if (kind.vt == vt) return &kind;
    }
    return nullptr;
}

// The number of elements over all dimensions; false when it does not fit.
bool CountElements(const SAFEARRAYBOUND* bounds, UINT cDims, size_t* count) {
    size_t total = 1;
    for (UINT i = 0; i < cDims; ++i) {
        if (__builtin_mul_overflow(total, static_cast<size_t>(bounds[i].cElements), &total)) return false;
    }
    *count = total;
    return true;
}

size_t ElementCount(const SAFEARRAY* psa) {
    size_t count = 0;
    // Cannot fail: creation checked the same product.
    CountElements(psa->rgsabound, psa->cDims, &count);
    return count;
}

// The upper bound lLbound + cElements - 1 must be a LONG, so that
// SafeArrayGetUBound can answer and every index can be named.
bool UpperBoundFits(const SAFEARRAYBOUND& bound) {
    std::int64_t upper = static_cast<std::int64_t>(bound.lLbound) + bound.cElements - 1;
    return upper >= std::numeric_limits<LONG>::min() && upper <= std::numeric_limits<LONG>::max();
}

size_t DescriptorBytes(UINT cDims) {
    size_t bytes = offsetof(SAFEARRAY, rgsabound) + cDims * sizeof(SAFEARRAYBOUND);
    return bytes < sizeof(SAFEARRAY) ? sizeof(SAFEARRAY) : bytes;
}

// The one creator behind the four public ones. `bounds` lists dimension 1
// first; the descriptor stores them in reverse.
SAFEARRAY* CreateArray(VARTYPE vt, UINT cDims, const SAFEARRAYBOUND* bounds, void* pvExtra) {
    if (cDims == 0 || cDims > std::numeric_limits<USHORT>::max() || !bounds) return nullptr;

    ULONG elementSize = 0;
    USHORT features = 0;
    IRecordInfo* recordInfo = nullptr;
    if (vt == VT_RECORD) {
        recordInfo = static_cast<IRecordInfo*>(pvExtra);
        if (!recordInfo || FAILED(recordInfo->GetSize(&elementSize)) || elementSize == 0) return nullptr;
        features = FADF_RECORD;
    } else {
        const ElementKind* kind = FindElementKind(vt);
        if (!kind) return nullptr;
        elementSize = kind->size;
        features = kind->features;
    }

    size_t count = 0;
    size_t dataBytes = 0;
    if (!CountElements(bounds, cDims, &count)) return nullptr;
    if (__builtin_mul_overflow(count, static_cast<size_t>(elementSize), &dataBytes)) return nullptr;
    if (dataBytes > static_cast<size_t>(std::numeric_limits<std::ptrdiff_t>::max())) return nullptr;
    for (UINT i = 0; i < cDims; ++i) {
        if (!UpperBoundFits(bounds[i])) return nullptr;
    }

    auto* block = static_cast<BYTE*>(std::calloc(1, kHiddenAreaSize + DescriptorBytes(cDims)));
    if (!block) return nullptr;
    // An empty array still gets a data block, so its data pointer is never
    // NULL for a client that checks it.
    void* data = std::calloc(dataBytes == 0 ? 1 : dataBytes, 1);
    if (!data) {
        std::free(block);
        return nullptr;
    }

    auto* psa = reinterpret_cast<SAFEARRAY*>(block + kHiddenAreaSize);
    psa->cDims = static_cast<USHORT>(cDims);
    psa->fFeatures = features;
    psa->cbElements = elementSize;
    psa->cLocks = 0;
    psa->pvData = data;
    for (UINT i = 0; i < cDims; ++i) psa->rgsabound[cDims - 1 - i] = bounds[i];

    if (features & FADF_RECORD) {
        recordInfo->AddRef();
        SetHiddenRecordInfo(psa, recordInfo);
    } else if (features & FADF_HAVEIID) {
        const IID* iid = static_cast<const IID*>(pvExtra);
        SetHiddenIid(psa, iid ? *iid : (vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown));
    } else {
        SetHiddenVartype(psa, vt);
    }
    return psa;
}

// Frees what every element owns; the elements end zeroed or empty.
void ClearElements(SAFEARRAY* psa) {
    size_t count = ElementCount(psa);
    auto* data = static_cast<BYTE*>(psa->pvData);
    if (!data || count == 0) return;
    if (psa->fFeatures & FADF_RECORD) {
        IRecordInfo* info = HiddenRecordInfo(psa);
        if (!info) return;
        for (size_t i = 0; i < count; ++i) info->RecordClear(data + i * psa->cbElements);
    } else if (psa->fFeatures & FADF_BSTR) {
        auto* texts = reinterpret_cast<BSTR*>(data);
        for (size_t i = 0; i < count; ++i) SysFreeString(std::exchange(texts[i], nullptr));
    } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        auto* units = reinterpret_cast<IUnknown**>(data);
        for (size_t i = 0; i < count; ++i) {
            if (IUnknown* unk = std::exchange(units[i], nullptr)) unk->Release();
        }
    } else if (psa->fFeatures & FADF_VARIANT) {
        auto* variants = reinterpret_cast<VARIANT*>(data);
        for (size_t i = 0; i < count; ++i) VariantClear(&variants[i]);
    }
}

std::atomic_ref<ULONG> LockCount(SAFEARRAY* psa) { return std::atomic_ref<ULONG>(psa->cLocks); }

}  // namespace

extern "C" {

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
    // A record array needs its record info, which only the ...Ex form takes.
    if (vt == VT_RECORD) return nullptr;
    return CreateArray(vt, cDims, rgsabound, nullptr);
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
    SAFEARRAYBOUND bound{cElements, lLbound};
    return SafeArrayCreate(vt, 1, &bound);
}

SAFEARRAY* SafeArrayCreateEx(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound, void* pvExtra) {
    return CreateArray(vt, cDims, rgsabound, pvExtra);
}

SAFEARRAY* SafeArrayCreateVectorEx(VARTYPE vt, LONG lLbound, ULONG cElements, void* pvExtra) {
    SAFEARRAYBOUND bound{cElements, lLbound};
    return CreateArray(vt, 1, &bound, pvExtra);
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
    if (!psa) return S_OK;
    // Arrays on a caller's stack or inside a structure were not allocated
    // here and must not be freed here.
    if (psa->fFeatures & (FADF_AUTO | FADF_STATIC | FADF_EMBEDDED)) return E_INVALIDARG;
    if (LockCount(psa).load() != 0) return DISP_E_ARRAYISLOCKED;
    ClearElements(psa);
    std::free(psa->pvData);
    psa->pvData = nullptr;
    if (psa->fFeatures & FADF_RECORD) {
        if (IRecordInfo* info = HiddenRecordInfo(psa)) info->Release();
        SetHiddenRecordInfo(psa, nullptr);
    }
    std::free(HiddenArea(psa));
    return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* psa) {
    if (!psa) return E_INVALIDARG;
    auto count = LockCount(psa);
    ULONG locks = count.load();
    do {
        if (locks >= kMaxLocks) return E_UNEXPECTED;
    } while (!count.compare_exchange_weak(locks, locks + 1));
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa) {
    if (!psa) return E_INVALIDARG;
    auto count = LockCount(psa);
    ULONG locks = count.load();
    do {
        if (locks == 0) return E_UNEXPECTED;
    } while (!count.compare_exchange_weak(locks, locks - 1));
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
    if (!psa || !ppvData) return E_INVALIDARG;
    *ppvData = nullptr;
    HRESULT hr = SafeArrayLock(psa);
    if (FAILED(hr)) return hr;
    *ppvData = psa->pvData;
    return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) { return SafeArrayUnlock(psa); }

UINT SafeArrayGetDim(SAFEARRAY* psa) { return psa ? psa->cDims : 0; }

UINT SafeArrayGetElemsize(SAFEARRAY* psa) { return psa ? psa->cbElements : 0; }

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
    if (!psa || !plLbound) return E_INVALIDARG;
    if (nDim == 0 || nDim > psa->cDims) return DISP_E_BADINDEX;
    *plLbound = psa->rgsabound[psa->cDims - nDim].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
    if (!psa || !plUbound) return E_INVALIDARG;
    if (nDim == 0 || nDim > psa->cDims) return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& bound = psa->rgsabound[psa->cDims - nDim];
    // Creation made sure this fits; an empty dimension ends below its start.
    *plUbound = static_cast<LONG>(static_cast<std::int64_t>(bound.lLbound) + bound.cElements - 1);
    return S_OK;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
    if (!psa || !pvt) return E_INVALIDARG;
    if (psa->fFeatures & FADF_RECORD) {
        *pvt = VT_RECORD;
    } else if (psa->fFeatures & FADF_HAVEIID) {
        *pvt = (psa->fFeatures & FADF_DISPATCH) ? VT_DISPATCH : VT_UNKNOWN;
    } else if (psa->fFeatures & FADF_HAVEVARTYPE) {
        *pvt = HiddenVartype(psa);
    } else {
        return E_INVALIDARG;
    }
    return S_OK;
}

HRESULT SafeArrayGetRecordInfo(SAFEARRAY* psa, IRecordInfo** prinfo) {
    if (!prinfo) return E_INVALIDARG;
    *prinfo = nullptr;
    if (!psa || !(psa->fFeatures & FADF_RECORD)) return E_INVALIDARG;
    IRecordInfo* info = HiddenRecordInfo(psa);
    if (!info) return E_INVALIDARG;
    info->AddRef();
    *prinfo = info;
    return S_OK;
}

HRESULT SafeArrayGetIID(SAFEARRAY* psa, GUID* pguid) {
    if (!psa || !pguid) return E_INVALIDARG;
    if (!(psa->fFeatures & FADF_HAVEIID)) return E_INVALIDARG;
    *pguid = HiddenIid(psa);
    return S_OK;
}

HRESULT SafeArrayPtrOfIndex(SAFEARRAY* psa, LONG* rgIndices, void** ppvData) {
    if (!ppvData) return E_INVALIDARG;
    *ppvData = nullptr;
    if (!psa || !rgIndices) return E_INVALIDARG;
    // Dimension 1 (rgIndices[0], stored last in the descriptor) varies fastest.
    size_t offset = 0;
    size_t stride = 1;
    for (UINT k = 0; k < psa->cDims; ++k) {
        const SAFEARRAYBOUND& bound = psa->rgsabound[psa->cDims - 1 - k];
        std::int64_t position = static_cast<std::int64_t>(rgIndices[k]) - bound.lLbound;
        if (position < 0 || position >= static_cast<std::int64_t>(bound.cElements)) return DISP_E_BADINDEX;
        offset += static_cast<size_t>(position) * stride;
        stride *= bound.cElements;
    }
    if (!psa->pvData) return E_UNEXPECTED;
    *ppvData = static_cast<BYTE*>(psa->pvData) + offset * psa->cbElements;
    return S_OK;
}

}  // extern "C"
