// IRecordInfo over a compiled record description, and the record work
// (clear, deep copy) that record arrays, VARIANTs and the record caches of
// the access objects share.
#include "platform/record_info.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "platform/bstr.h"
#include "platform/com_ptr.h"
#include "platform/system/module_object.h"
#include "platform/system/record_info_internal.h"
#include "platform/type_lib.h"

#ifndef _WIN32  // Windows: in uuid.lib
extern "C" const IID IID_IRecordInfo = {0x0000002F, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
#endif

namespace calyra {
namespace record_info_internal {
namespace {

// Deeper nesting than this is taken for a description that contains itself.
constexpr int kMaxNesting = 16;

// Fields are reached with memcpy, so a description never makes us read a
// misaligned pointer.
template <class T>
T Load(const BYTE* at) {
    T value;
    std::memcpy(&value, at, sizeof(T));
    return value;
}
template <class T>
void Store(BYTE* at, T value) {
    std::memcpy(at, &value, sizeof(T));
}

bool OwnsMemory(VARTYPE vt) { return vt == VT_BSTR || vt == VT_UNKNOWN || vt == VT_DISPATCH || vt == VT_RECORD; }

HRESULT Validate(const RecordDesc* desc, int depth) {
    if (!desc) return E_POINTER;
    if (depth > kMaxNesting || !desc->name || desc->size == 0) return E_INVALIDARG;
    // GetSize and the arrays' element size are ULONGs.
    if (desc->size > std::numeric_limits<ULONG>::max()) return E_INVALIDARG;
    if (desc->fieldCount != 0 && !desc->fields) return E_INVALIDARG;
    for (size_t i = 0; i < desc->fieldCount; ++i) {
        const FieldDesc& field = desc->fields[i];
        if (!field.name) return E_INVALIDARG;
        if (field.vt == VT_RECORD) {
            if (!field.record) return E_INVALIDARG;
            HRESULT hr = Validate(field.record, depth + 1);
            if (FAILED(hr)) return E_INVALIDARG;
        }
        size_t size = FieldSize(field);
        if (size == 0 || field.offset > desc->size || size > desc->size - field.offset) return E_INVALIDARG;
    }
    // A field that owns memory must not share bytes with any other field,
    // or clearing the record would free garbage or free twice.
    for (size_t i = 0; i < desc->fieldCount; ++i) {
        const FieldDesc& a = desc->fields[i];
        if (!OwnsMemory(a.vt)) continue;
        for (size_t j = 0; j < desc->fieldCount; ++j) {
            const FieldDesc& b = desc->fields[j];
            if (i == j) continue;
            bool apart = a.offset + FieldSize(a) <= b.offset || b.offset + FieldSize(b) <= a.offset;
            if (!apart) return E_INVALIDARG;
        }
    }
    return S_OK;
}

// Frees what the fields own, nested records included; leaves the bytes as
// they were (the caller zeroes the whole record afterwards).
void ReleaseOwned(const RecordDesc* desc, BYTE* record) {
    for (size_t i = 0; i < desc->fieldCount; ++i) {
        const FieldDesc& field = desc->fields[i];
        BYTE* at = record + field.offset;
        switch (field.vt) {
            case VT_BSTR:
                SysFreeString(Load<BSTR>(at));
                break;
            case VT_UNKNOWN:
            case VT_DISPATCH:
                if (IUnknown* unk = Load<IUnknown*>(at)) unk->Release();
                break;
            case VT_RECORD:
                ReleaseOwned(field.record, at);
                break;
            default:
                break;
        }
    }
}

// Nulls every owning field, so the record owns nothing (used on a bitwise
// copy before it receives its own copies).
void ForgetOwned(const RecordDesc* desc, BYTE* record) {
    for (size_t i = 0; i < desc->fieldCount; ++i) {
        const FieldDesc& field = desc->fields[i];
        BYTE* at = record + field.offset;
        if (field.vt == VT_BSTR || field.vt == VT_UNKNOWN || field.vt == VT_DISPATCH) {
            Store<void*>(at, nullptr);
        } else if (field.vt == VT_RECORD) {
            ForgetOwned(field.record, at);
        }
    }
}

// Gives a record that owns nothing its own copies of what `source` owns.
// Throws OutOfMemory; what was copied so far stays in `dest` to be freed.
void CopyOwned(const RecordDesc* desc, const BYTE* source, BYTE* dest) {
    for (size_t i = 0; i < desc->fieldCount; ++i) {
        const FieldDesc& field = desc->fields[i];
        const BYTE* from = source + field.offset;
        BYTE* to = dest + field.offset;
        switch (field.vt) {
            case VT_BSTR:
                // By length: embedded zero units survive.
                Store<BSTR>(to, Bstr::Copy(Load<BSTR>(from)));
                break;
            case VT_UNKNOWN:
            case VT_DISPATCH:
                if (IUnknown* unk = Load<IUnknown*>(from)) {
                    unk->AddRef();
                    Store<IUnknown*>(to, unk);
                }
                break;
            case VT_RECORD:
                CopyOwned(field.record, from, to);
                break;
            default:
                break;
        }
    }
}

// ASCII case is ignored, as automation does for names.
bool SameName(const char* fieldName, LPCOLESTR name) {
    std::u16string wanted = Utf8ToUtf16(fieldName);
    size_t i = 0;
    for (; i < wanted.size(); ++i) {
        char16_t a = wanted[i];
        char16_t b = name[i];
        if (b == 0) return false;
        if (a >= u'A' && a <= u'Z') a = static_cast<char16_t>(a - u'A' + u'a');
        if (b >= u'A' && b <= u'Z') b = static_cast<char16_t>(b - u'A' + u'a');
        if (a != b) return false;
    }
    return name[i] == 0;
}

// The record info of one described record type. Immutable after
// construction, so any thread may use it; the count changes atomically.
class RecordInfo final : public ModuleObject<IRecordInfo> {
public:
    RecordInfo(const RecordDesc* desc, ITypeInfo* typeInfo) : m_desc(desc), m_typeInfo(typeInfo) {
        if (m_typeInfo) m_typeInfo->AddRef();
    }

    STDMETHODIMP RecordInit(void* pvNew) override {
        if (!pvNew) return E_INVALIDARG;
        std::memset(pvNew, 0, m_desc->size);
        return S_OK;
    }
    STDMETHODIMP RecordClear(void* pvExisting) override {
        if (!pvExisting) return E_INVALIDARG;
        RecordClearByDescription(m_desc, pvExisting);
        return S_OK;
    }
    STDMETHODIMP RecordCopy(void* pvExisting, void* pvNew) override {
        if (!pvExisting || !pvNew) return E_INVALIDARG;
        try {
            RecordCopyByDescription(m_desc, pvExisting, pvNew);
        } catch (const OutOfMemory& e) {
            return e.hr;
        }
        return S_OK;
    }
    STDMETHODIMP GetGuid(GUID* pguid) override {
        if (!pguid) return E_INVALIDARG;
        *pguid = m_desc->guid ? *m_desc->guid : GUID_NULL;
        return S_OK;
    }
    STDMETHODIMP GetName(BSTR* pbstrName) override {
        if (!pbstrName) return E_INVALIDARG;
        *pbstrName = nullptr;
        try {
            *pbstrName = Bstr::FromUtf8(m_desc->name).Detach();
        } catch (const OutOfMemory& e) {
            return e.hr;
        }
        return S_OK;
    }
    STDMETHODIMP GetSize(ULONG* pcbSize) override {
        if (!pcbSize) return E_INVALIDARG;
        *pcbSize = static_cast<ULONG>(m_desc->size);
        return S_OK;
    }
    // A record info made straight from a description has no type info.
    STDMETHODIMP GetTypeInfo(ITypeInfo** ppTypeInfo) override {
        if (!ppTypeInfo) return E_INVALIDARG;
        *ppTypeInfo = m_typeInfo;
        if (!m_typeInfo) return E_NOTIMPL;
        m_typeInfo->AddRef();
        return S_OK;
    }

    // The variant receives a copy (a new BSTR, an added reference, a new
    // nested record with its own record info); what it held is overwritten.
    STDMETHODIMP GetField(void* pvData, LPCOLESTR szFieldName, VARIANT* pvarField) override {
        if (!pvData || !szFieldName || !pvarField) return E_INVALIDARG;
        const FieldDesc* field = FindField(szFieldName);
        if (!field) return DISP_E_UNKNOWNNAME;
        const BYTE* at = static_cast<const BYTE*>(pvData) + field->offset;
        // Zeroed whole, so a short value never leaves stale bytes beside it.
        VARIANT result{};
        switch (field->vt) {
            case VT_BSTR: {
                BSTR text = Load<BSTR>(at);
                if (text) {
                    result.bstrVal = SysAllocStringLen(text, SysStringLen(text));
                    if (!result.bstrVal) return E_OUTOFMEMORY;
                }
                break;
            }
            case VT_UNKNOWN:
            case VT_DISPATCH:
                result.punkVal = Load<IUnknown*>(at);
                if (result.punkVal) result.punkVal->AddRef();
                break;
            case VT_RECORD: {
                IRecordInfo* nested = nullptr;
                HRESULT hr = CreateRecordInfoOfType(field->record, nullptr, &nested);
                if (FAILED(hr)) return hr;
                void* copy = nullptr;
                hr = nested->RecordCreateCopy(const_cast<BYTE*>(at), &copy);
                if (FAILED(hr)) {
                    nested->Release();
                    return hr;
                }
                result.pvRecord = copy;
                result.pRecInfo = nested;
                break;
            }
            default:
                // Every scalar member of the union starts at its first byte.
                std::memcpy(&result.llVal, at, FieldSize(*field));
                break;
        }
        result.vt = field->vt;
        *pvarField = result;
        return S_OK;
    }
    // A VT_BYREF view into the record; nested records are not offered
    // (E_NOTIMPL): a by-reference record variant has no owner for its
    // record info.
    STDMETHODIMP GetFieldNoCopy(void* pvData, LPCOLESTR szFieldName, VARIANT* pvarField,
                                void** ppvDataCArray) override {
        if (ppvDataCArray) *ppvDataCArray = nullptr;
        if (!pvData || !szFieldName || !pvarField) return E_INVALIDARG;
        const FieldDesc* field = FindField(szFieldName);
        if (!field) return DISP_E_UNKNOWNNAME;
        if (field->vt == VT_RECORD) return E_NOTIMPL;
        VariantInit(pvarField);
        pvarField->vt = static_cast<VARTYPE>(field->vt | VT_BYREF);
        pvarField->byref = static_cast<BYTE*>(pvData) + field->offset;
        return S_OK;
    }
    // The variant must hold exactly the field's type (by value or
    // VT_BYREF); no conversions. A record field takes a copy of a record of
    // the matching type.
    STDMETHODIMP PutField(ULONG wFlags, void* pvData, LPCOLESTR szFieldName, VARIANT* pvarField) override {
        return Put(wFlags, pvData, szFieldName, pvarField, false);
    }
    // Like PutField, but a by-value BSTR or interface moves into the record:
    // the caller must not clear the variant afterwards. Nested records: E_NOTIMPL.
    STDMETHODIMP PutFieldNoCopy(ULONG wFlags, void* pvData, LPCOLESTR szFieldName, VARIANT* pvarField) override {
        return Put(wFlags, pvData, szFieldName, pvarField, true);
    }
    // With rgBstrNames NULL, *pcNames receives the field count. Otherwise up
    // to *pcNames names are written (the caller frees them) and *pcNames
    // receives how many.
    STDMETHODIMP GetFieldNames(ULONG* pcNames, BSTR* rgBstrNames) override {
        if (!pcNames) return E_INVALIDARG;
        ULONG count = static_cast<ULONG>(m_desc->fieldCount);
        if (!rgBstrNames) {
            *pcNames = count;
            return S_OK;
        }
        ULONG n = *pcNames < count ? *pcNames : count;
        for (ULONG i = 0; i < n; ++i) {
            try {
                rgBstrNames[i] = Bstr::FromUtf8(m_desc->fields[i].name).Detach();
            } catch (const OutOfMemory& e) {
                for (ULONG j = 0; j < i; ++j) SysFreeString(std::exchange(rgBstrNames[j], nullptr));
                return e.hr;
            }
        }
        *pcNames = n;
        return S_OK;
    }
    // Same record type: the same identifier, or for types without one the
    // same name.
    STDMETHODIMP_(BOOL) IsMatchingType(IRecordInfo* pRecordInfo) override {
        if (!pRecordInfo) return FALSE;
        if (pRecordInfo == this) return TRUE;
        GUID other = GUID_NULL;
        if (FAILED(pRecordInfo->GetGuid(&other))) return FALSE;
        GUID mine = m_desc->guid ? *m_desc->guid : GUID_NULL;
        if (mine != GUID_NULL || other != GUID_NULL) return mine == other ? TRUE : FALSE;
        BSTR otherName = nullptr;
        if (FAILED(pRecordInfo->GetName(&otherName))) return FALSE;
        Bstr holder = Bstr::Attach(otherName);
        return SameName(m_desc->name, holder.get() ? holder.get() : AsOle(u"")) ? TRUE : FALSE;
    }
    // A zeroed record from the C heap, freed with RecordDestroy; NULL when
    // memory runs out.
    STDMETHODIMP_(void*) RecordCreate() override { return std::calloc(1, m_desc->size); }
    STDMETHODIMP RecordCreateCopy(void* pvSource, void** ppvDest) override {
        if (!ppvDest) return E_INVALIDARG;
        *ppvDest = nullptr;
        if (!pvSource) return E_INVALIDARG;
        void* record = RecordCreate();
        if (!record) return E_OUTOFMEMORY;
        HRESULT hr = RecordCopy(pvSource, record);
        if (FAILED(hr)) {
            std::free(record);
            return hr;
        }
        *ppvDest = record;
        return S_OK;
    }
    STDMETHODIMP RecordDestroy(void* pvRecord) override {
        if (!pvRecord) return S_OK;
        RecordClearByDescription(m_desc, pvRecord);
        std::free(pvRecord);
        return S_OK;
    }

private:
    ~RecordInfo() override {
        if (m_typeInfo) m_typeInfo->Release();
    }

    const FieldDesc* FindField(LPCOLESTR name) const {
        for (size_t i = 0; i < m_desc->fieldCount; ++i) {
            if (SameName(m_desc->fields[i].name, name)) return &m_desc->fields[i];
        }
        return nullptr;
    }

    HRESULT Put(ULONG wFlags, void* pvData, LPCOLESTR szFieldName, VARIANT* pvarField, bool move) {
        if (!(wFlags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF))) return E_INVALIDARG;
        if (!pvData || !szFieldName || !pvarField) return E_INVALIDARG;
        const FieldDesc* field = FindField(szFieldName);
        if (!field) return DISP_E_UNKNOWNNAME;
        bool byRef = (pvarField->vt & VT_BYREF) != 0;
        if ((pvarField->vt & ~VT_BYREF) != field->vt) return DISP_E_TYPEMISMATCH;
        if (byRef && !pvarField->byref) return E_INVALIDARG;
        // Where the value itself is stored.
        const BYTE* value =
            byRef ? static_cast<const BYTE*>(pvarField->byref) : reinterpret_cast<const BYTE*>(&pvarField->llVal);
        BYTE* at = static_cast<BYTE*>(pvData) + field->offset;
        switch (field->vt) {
            case VT_BSTR: {
                BSTR text = Load<BSTR>(value);
                BSTR stored = text;
                if (!(move && !byRef) && text) {
                    stored = SysAllocStringLen(text, SysStringLen(text));
                    if (!stored) return E_OUTOFMEMORY;
                }
                SysFreeString(Load<BSTR>(at));
                Store<BSTR>(at, stored);
                break;
            }
            case VT_UNKNOWN:
            case VT_DISPATCH: {
                IUnknown* unk = Load<IUnknown*>(value);
                if (unk && !(move && !byRef)) unk->AddRef();
                if (IUnknown* old = Load<IUnknown*>(at)) old->Release();
                Store<IUnknown*>(at, unk);
                break;
            }
            case VT_RECORD: {
                if (move) return E_NOTIMPL;
                // Both forms carry the record and its info in pvRecord and pRecInfo.
                IRecordInfo* info = pvarField->pRecInfo;
                if (!pvarField->pvRecord || !info) return E_INVALIDARG;
                ComPtr<IRecordInfo> nested;
                HRESULT hr = CreateRecordInfoOfType(field->record, nullptr, &nested);
                if (FAILED(hr)) return hr;
                if (!nested->IsMatchingType(info)) return DISP_E_TYPEMISMATCH;
                // Copy first, so a failed copy leaves the field as it was.
                std::unique_ptr<BYTE[]> copy(new (std::nothrow) BYTE[field->record->size]);
                if (!copy) return E_OUTOFMEMORY;
                try {
                    RecordCopyByDescription(field->record, pvarField->pvRecord, copy.get());
                } catch (const OutOfMemory& e) {
                    return e.hr;
                }
                RecordClearByDescription(field->record, at);
                std::memcpy(at, copy.get(), field->record->size);
                break;
            }
            default:
                std::memcpy(at, value, FieldSize(*field));
                break;
        }
        return S_OK;
    }

    const RecordDesc* const m_desc;  // Constant after construction; static storage
    ITypeInfo* const m_typeInfo;     // Constant after construction; one reference held, may be NULL
};

}  // namespace

size_t FieldSize(const FieldDesc& field) {
    switch (field.vt) {
        case VT_I1:
        case VT_UI1:
            return 1;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
            return 2;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_ERROR:
        case VT_R4:
            return 4;
        case VT_R8:
        case VT_CY:
        case VT_DATE:
        case VT_I8:
        case VT_UI8:
            return 8;
        case VT_BSTR:
            return sizeof(BSTR);
        case VT_UNKNOWN:
        case VT_DISPATCH:
            return sizeof(IUnknown*);
        case VT_RECORD:
            return field.record ? field.record->size : 0;
        default:
            return 0;
    }
}

HRESULT ValidateRecordDesc(const RecordDesc* desc) { return Validate(desc, 0); }

HRESULT CreateRecordInfoOfType(const RecordDesc* desc, ITypeInfo* typeInfo, IRecordInfo** ppRecInfo) {
    if (!ppRecInfo) return E_POINTER;
    *ppRecInfo = nullptr;
    HRESULT hr = ValidateRecordDesc(desc);
    if (FAILED(hr)) return hr;
    auto* info = new (std::nothrow) RecordInfo(desc, typeInfo);
    if (!info) return E_OUTOFMEMORY;
    *ppRecInfo = info;
    return S_OK;
}

}  // namespace record_info_internal

HRESULT CreateRecordInfo(const RecordDesc* desc, IRecordInfo** ppRecInfo) {
    return record_info_internal::CreateRecordInfoOfType(desc, nullptr, ppRecInfo);
}

void RecordClearByDescription(const RecordDesc* desc, void* record) {
    if (!desc || !record) return;
    record_info_internal::ReleaseOwned(desc, static_cast<BYTE*>(record));
    std::memset(record, 0, desc->size);
}

void RecordCopyByDescription(const RecordDesc* desc, const void* source, void* dest) {
    using namespace record_info_internal;
    if (!desc || !source || !dest) return;
    // Built aside and moved in at the end, so a failed copy leaves `dest`
    // untouched and a copy onto itself reads intact texts.
    std::unique_ptr<BYTE[]> copy(new (std::nothrow) BYTE[desc->size]);
    if (!copy) throw OutOfMemory{};
    std::memcpy(copy.get(), source, desc->size);
    ForgetOwned(desc, copy.get());
    try {
        CopyOwned(desc, static_cast<const BYTE*>(source), copy.get());
    } catch (const OutOfMemory&) {
        ReleaseOwned(desc, copy.get());
        throw;
    }
    std::memcpy(dest, copy.get(), desc->size);
}

}  // namespace calyra
