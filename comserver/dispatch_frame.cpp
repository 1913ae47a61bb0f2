// Argument conversion for automation calls; the rules are in dispatch_frame.h.
#include "comserver/dispatch_frame.h"

#include <cstdint>
#include <limits>

#include "platform/bstr.h"
#include "platform/record_info.h"
#include "platform/safearray.h"

namespace calyra {
namespace {

// A GUID by reference travels as VT_CLSID | VT_BYREF; VARENUM here does not
// name VT_CLSID.
constexpr VARTYPE kVtClsid = 72;

// How the frame serves one described parameter.
enum class Category : BYTE {
    Value,      // a number, boolean, date or text by value
    Interface,  // an interface pointer in
    ScalarRef,  // a pointer to a number, boolean, date or text
    ObjectRef,  // a pointer to an interface pointer or to a record array
    RecordRef,  // a pointer to a record
    GuidRef,    // GUID* in
    BufferRef,  // USHORT* in: the caller's text buffer
    Unsupported,
};

bool IsScalar(VARTYPE vt) {
    switch (vt) {
        case VT_I4:
        case VT_UI4:
        case VT_I8:
        case VT_BOOL:
        case VT_DATE:
        case VT_BSTR:
            return true;
        default:
            return false;
    }
}

Category Classify(const ParamDesc& param) {
    const VARTYPE vt = param.vt;
    const VARTYPE base = vt & VT_TYPEMASK;
    const bool in = param.dir == ParamDir::In;
    if (!(vt & VT_BYREF)) {
        if (!in || (vt & VT_ARRAY)) return Category::Unsupported;
        if (IsScalar(vt)) return Category::Value;
        if (vt == VT_DISPATCH || vt == VT_UNKNOWN) return Category::Interface;
        return Category::Unsupported;
    }
    if (vt & VT_ARRAY) {
        if (base != VT_RECORD || in) return Category::Unsupported;
        return Category::ObjectRef;
    }
    if (IsScalar(base)) return Category::ScalarRef;
    if (base == VT_DISPATCH || base == VT_UNKNOWN) return Category::ObjectRef;
    if (base == VT_RECORD) return param.record ? Category::RecordRef : Category::Unsupported;
    // Only read by the method, so only in.
    if (base == kVtClsid && in) return Category::GuidRef;
    if (base == VT_UI2 && in) return Category::BufferRef;
    return Category::Unsupported;
}

bool IsMissing(const VARIANT& v) { return v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND; }

// A missing argument or VT_EMPTY, for which a pointer parameter gets NULL.
bool IsNothing(const VARIANT& v) { return IsMissing(v) || v.vt == VT_EMPTY; }

// The argument inside a VT_VARIANT | VT_BYREF wrapper (then *wrapped is
// it too), or the argument itself. NULL for a wrapper that points nowhere
// or at another wrapper.
VARIANT* Unwrap(VARIANT* arg, VARIANT** wrapped) {
    *wrapped = nullptr;
    if (arg->vt != (VT_VARIANT | VT_BYREF)) return arg;
    VARIANT* inner = arg->pvarVal;
    if (!inner || inner->vt == (VT_VARIANT | VT_BYREF)) return nullptr;
    *wrapped = inner;
    return inner;
}

// Converts src to the value type `target` in *dst as the type library's
// dispatch does (VariantChangeType: numbers for texts, numeric and date
// texts for numbers and dates, reals rounded half to even, booleans
// -1/0). A text argument for a text parameter is borrowed from src, not
// copied (*borrowed is then true); anything else in *dst is dst's own.
HRESULT ConvertValue(const VARIANT& src, VARTYPE target, VARIANT* dst, bool* borrowed) {
    VariantInit(dst);
    *borrowed = false;
    if (target == VT_BSTR) {
        if (src.vt == VT_BSTR) {
            dst->vt = VT_BSTR;
            dst->bstrVal = src.bstrVal;
            *borrowed = true;
            return S_OK;
        }
        if (src.vt == (VT_BSTR | VT_BYREF) && src.pbstrVal) {
            dst->vt = VT_BSTR;
            dst->bstrVal = *src.pbstrVal;
            *borrowed = true;
            return S_OK;
        }
    }
    if (src.vt & VT_ARRAY) return DISP_E_TYPEMISMATCH;
    // Only read; MinGW's declaration lacks the const the SDK's has.
    const HRESULT hr = VariantChangeType(dst, const_cast<VARIANT*>(&src), 0, target);
    if (SUCCEEDED(hr)) return S_OK;
    VariantInit(dst);
    // What cannot be converted is an argument of the wrong type.
    return hr == DISP_E_OVERFLOW || hr == E_OUTOFMEMORY ? hr : DISP_E_TYPEMISMATCH;
}

// The union of a VARIANT, where every member starts.
void* Storage(VARIANT& v) { return static_cast<void*>(&v.llVal); }

}  // namespace

SlotKind DispatchSlotKindOf(const ParamDesc& param) {
    switch (Classify(param)) {
        case Category::Value:
            switch (param.vt) {
                case VT_I4:
                    return SlotKind::Long;
                case VT_UI4:
                    return SlotKind::ULong;
                case VT_I8:
                    return SlotKind::LongLong;
                case VT_BOOL:
                    return SlotKind::Bool;
                case VT_DATE:
                    return SlotKind::Date;
                default:
                    return SlotKind::Bstr;
            }
        case Category::Unsupported:
            return SlotKind::Unsupported;
        default:
            // A return value is always one of the pointer categories:
            // Classify serves the others for in parameters only.
            return SlotKind::Pointer;
    }
}

DispatchFrame::DispatchFrame(const MethodDesc& method) noexcept : m_method(method) {}

DispatchFrame::~DispatchFrame() {
    for (size_t i = 0; i < m_count; ++i) Release(m_slots[i]);
}

UINT DispatchFrame::ArgumentCount(const MethodDesc& method) {
    UINT count = 0;
    for (size_t i = 0; i < method.paramCount; ++i) {
        if (method.params[i].dir != ParamDir::RetVal) ++count;
    }
    return count;
}

HRESULT DispatchFrame::Load(const DISPPARAMS& params, UINT* puArgErr) {
    if (m_loaded) return E_UNEXPECTED;
    m_loaded = true;
    if (m_method.paramCount > kMaxParams || (m_method.paramCount != 0 && !m_method.params)) return DISP_E_BADVARTYPE;
    size_t retvals = 0;
    for (size_t i = 0; i < m_method.paramCount; ++i) {
        if (m_method.params[i].dir == ParamDir::RetVal) ++retvals;
    }
    if (retvals > 1) return DISP_E_BADVARTYPE;
    if (params.cArgs != ArgumentCount(m_method)) return DISP_E_BADPARAMCOUNT;
    if (params.cArgs != 0 && !params.rgvarg) return E_INVALIDARG;

    m_count = m_method.paramCount;
    UINT argument = 0;  // position in the caller's (automation) order
    for (size_t i = 0; i < m_count; ++i) {
        Slot& slot = m_slots[i];
        slot.param = &m_method.params[i];
        VARIANT* arg = nullptr;
        UINT index = 0;  // in rgvarg, which lists the arguments last first
        if (slot.param->dir != ParamDir::RetVal) {
            index = params.cArgs - 1 - argument++;
            arg = &params.rgvarg[index];
        }
        HRESULT hr = LoadSlot(slot, arg);
        if (FAILED(hr)) {
            const bool blamesArgument =
                hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW || hr == DISP_E_PARAMNOTOPTIONAL;
            if (blamesArgument && arg && puArgErr) *puArgErr = index;
            return hr;
        }
    }
    return S_OK;
}

HRESULT DispatchFrame::LoadSlot(Slot& slot, VARIANT* arg) {
    const ParamDesc& param = *slot.param;
    slot.kind = DispatchSlotKindOf(param);
    if (slot.kind == SlotKind::Unsupported) return DISP_E_BADVARTYPE;
    if (param.dir == ParamDir::RetVal) return LoadRetVal(slot);
    switch (Classify(param)) {
        case Category::Value:
            return LoadValue(slot, arg);
        case Category::Interface:
            return LoadInterface(slot, arg);
        default:
            return LoadPointer(slot, arg);
    }
}

HRESULT DispatchFrame::LoadValue(Slot& slot, VARIANT* arg) {
    VARIANT* wrapped = nullptr;
    VARIANT* v = Unwrap(arg, &wrapped);
    if (!v) return DISP_E_TYPEMISMATCH;
    if (IsMissing(*v)) return DISP_E_PARAMNOTOPTIONAL;
    // A text stays the caller's: the method only reads it.
    bool borrowed = false;
    HRESULT hr = ConvertValue(*v, slot.param->vt, &slot.value, &borrowed);
    if (SUCCEEDED(hr)) slot.ownsValue = !borrowed;
    return hr;
}

HRESULT DispatchFrame::LoadInterface(Slot& slot, VARIANT* arg) {
    VARIANT* wrapped = nullptr;
    VARIANT* v = Unwrap(arg, &wrapped);
    if (!v) return DISP_E_TYPEMISMATCH;
    if (IsMissing(*v)) return DISP_E_PARAMNOTOPTIONAL;
    IUnknown* object = nullptr;
    switch (v->vt) {
        case VT_EMPTY:
            break;
        case VT_UNKNOWN:
            object = v->punkVal;
            break;
        case VT_DISPATCH:
            object = v->pdispVal;
            break;
        case VT_UNKNOWN | VT_BYREF:
            if (!v->ppunkVal) return DISP_E_TYPEMISMATCH;
            object = *v->ppunkVal;
            break;
        case VT_DISPATCH | VT_BYREF:
            if (!v->ppdispVal) return DISP_E_TYPEMISMATCH;
            object = *v->ppdispVal;
            break;
        default:
            return DISP_E_TYPEMISMATCH;
    }
    slot.pointer = nullptr;
    if (!object) return S_OK;
    const ParamDesc& param = *slot.param;
    const IID& iid = param.iid ? *param.iid : (param.vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown);
    void* itf = nullptr;
    // An object without the interface is an argument of the wrong type.
    if (FAILED(object->QueryInterface(iid, &itf)) || !itf) return DISP_E_TYPEMISMATCH;
    slot.held = static_cast<IUnknown*>(itf);
    slot.pointer = itf;
    return S_OK;
}

HRESULT DispatchFrame::LoadPointer(Slot& slot, VARIANT* arg) {
    const ParamDesc& param = *slot.param;
    const Category category = Classify(param);
    const VARTYPE target = param.vt & ~VT_BYREF;  // the type an out value takes in a VARIANT
    VARIANT* wrapped = nullptr;
    VARIANT* v = Unwrap(arg, &wrapped);
    if (!v) return DISP_E_TYPEMISMATCH;
    if (category == Category::RecordRef) return LoadRecordPointer(slot, v, wrapped);

    // Nothing passed: NULL. A wrapped empty VARIANT of an out parameter is
    // a place to put the value (a script's uninitialised variable).
    if (IsNothing(*v) && (!wrapped || param.dir == ParamDir::In)) {
        slot.pointer = nullptr;
        return S_OK;
    }
    // The parameter's own VT_BYREF type: the caller's storage.
    const bool exact = v->vt == param.vt || (target == VT_DISPATCH && v->vt == (VT_UNKNOWN | VT_BYREF));
    if (exact) {
        slot.pointer = v->byref;
        return S_OK;
    }
    switch (category) {
        case Category::GuidRef: {
            // The registry form of the identifier as text.
            BSTR text = nullptr;
            if (v->vt == VT_BSTR) {
                text = v->bstrVal;
            } else if (v->vt == (VT_BSTR | VT_BYREF) && v->pbstrVal) {
                text = *v->pbstrVal;
            } else {
                return DISP_E_TYPEMISMATCH;
            }
            if (!text || FAILED(IIDFromString(text, &slot.guid))) return DISP_E_TYPEMISMATCH;
            slot.pointer = &slot.guid;
            return S_OK;
        }
        case Category::BufferRef:
            return DISP_E_TYPEMISMATCH;
        default:
            break;
    }

    // A wrapped VARIANT already holding the type: in/out works in place.
    if (wrapped && v->vt == target && param.dir != ParamDir::Out) {
        slot.pointer = Storage(*v);
        return S_OK;
    }
    if (wrapped && param.dir == ParamDir::Out) {
        // Whatever the VARIANT holds is replaced after the call.
        slot.value.vt = target;
        slot.ownsValue = true;
        slot.pointer = Storage(slot.value);
        slot.writeBack = wrapped;
        return S_OK;
    }
    // Interfaces and arrays cannot be converted into place, and a reference
    // to another type could not take the value back.
    if (category != Category::ScalarRef || (v->vt & VT_BYREF)) return DISP_E_TYPEMISMATCH;
    bool borrowed = false;
    HRESULT hr = ConvertValue(*v, target, &slot.value, &borrowed);
    if (FAILED(hr)) return hr;
    if (borrowed && slot.value.bstrVal) {
        // The method may free or replace the text it gets; give it our own.
        BSTR copy = SysAllocStringLen(slot.value.bstrVal, SysStringLen(slot.value.bstrVal));
        if (!copy) {
            VariantInit(&slot.value);
            return E_OUTOFMEMORY;
        }
        slot.value.bstrVal = copy;
    }
    slot.ownsValue = true;
    slot.pointer = Storage(slot.value);
    // Converted from a wrapped VARIANT of another type: the value goes back
    // there. A plain value is a temporary that is dropped.
    if (wrapped && param.dir != ParamDir::In) slot.writeBack = wrapped;
    return S_OK;
}

HRESULT DispatchFrame::LoadRecordPointer(Slot& slot, VARIANT* v, VARIANT* wrapped) {
    const ParamDesc& param = *slot.param;
    if (IsNothing(*v) && (!wrapped || param.dir != ParamDir::Out)) {
        slot.pointer = nullptr;
        return S_OK;
    }
    if (v->vt == VT_RECORD || v->vt == (VT_RECORD | VT_BYREF)) {
        IRecordInfo* info = v->pRecInfo;
        GUID guid{};
        if (!info || FAILED(info->GetGuid(&guid)) || guid != *param.record->guid) return DISP_E_TYPEMISMATCH;
        slot.pointer = v->pvRecord;
        return S_OK;
    }
    if (wrapped && param.dir == ParamDir::Out) {
        // A new record that replaces what the VARIANT held.
        HRESULT hr = LoadRetVal(slot);
        if (SUCCEEDED(hr)) slot.writeBack = wrapped;
        return hr;
    }
    return DISP_E_TYPEMISMATCH;
}

HRESULT DispatchFrame::LoadRetVal(Slot& slot) {
    const ParamDesc& param = *slot.param;
    if (Classify(param) == Category::RecordRef) {
        IRecordInfo* info = nullptr;
        HRESULT hr = CreateRecordInfo(param.record, &info);
        if (FAILED(hr)) return hr;
        void* record = info->RecordCreate();
        if (!record) {
            info->Release();
            return E_OUTOFMEMORY;
        }
        slot.value.vt = VT_RECORD;
        slot.value.pvRecord = record;
        slot.value.pRecInfo = info;
        slot.ownsValue = true;
        slot.pointer = record;
        return S_OK;
    }
    // Zeroed storage of the value's own type, so VariantClear frees what
    // the method puts there.
    slot.value.vt = param.vt & ~VT_BYREF;
    slot.ownsValue = true;
    slot.pointer = Storage(slot.value);
    return S_OK;
}

void DispatchFrame::Finish(HRESULT hrCall, VARIANT* pVarResult) {
    for (size_t i = 0; i < m_count; ++i) {
        Slot& slot = m_slots[i];
        if (!slot.ownsValue) continue;
        if (slot.writeBack) {
            // The caller's VARIANT gives up what it held for the out value.
            if (SUCCEEDED(VariantClear(slot.writeBack))) {
                *slot.writeBack = slot.value;
                slot.ownsValue = false;
            }
        } else if (slot.param->dir == ParamDir::RetVal && SUCCEEDED(hrCall) && pVarResult) {
            *pVarResult = slot.value;
            slot.ownsValue = false;
        }
    }
    for (size_t i = 0; i < m_count; ++i) Release(m_slots[i]);
    m_count = 0;
}

void DispatchFrame::Release(Slot& slot) {
    if (slot.held) {
        slot.held->Release();
        slot.held = nullptr;
    }
    if (slot.ownsValue) {
        VariantClear(&slot.value);
        slot.ownsValue = false;
    }
    VariantInit(&slot.value);
    slot.writeBack = nullptr;
    slot.pointer = nullptr;
}

}  // namespace calyra
