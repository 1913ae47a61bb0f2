// IRecordInfo: what a record array needs to know about its element type.
//
// A record info describes one record type of a type library (see
// type_description.h). It is immutable and thread-safe (its count changes
// atomically); arrays and VARIANTs hold a reference to it. While any
// record info lives, the module counts as locked, since it reads the
// module's static description tables. Records made by RecordCreate come
// from the C heap, start zeroed, and are freed by RecordDestroy (which
// clears them first). Field access handles texts, interfaces and the
// scalar kinds; what it leaves out answers E_NOTIMPL (see record_info.cpp).
#pragma once

#include "platform/type_description.h"
#include "platform/unknown.h"

#ifdef _WIN32
#include "platform/windows_sdk.h"
#else
extern "C" const IID IID_IRecordInfo;

struct IRecordInfo : IUnknown {
    // Zeroes a record of this type.
    STDMETHOD(RecordInit)(void* pvNew) = 0;
    // Frees what a record owns (BSTR fields, nested records) and zeroes it.
    STDMETHOD(RecordClear)(void* pvExisting) = 0;
    // Deep copy: pvNew receives new copies of every text (pvNew is not freed
    // first).
    STDMETHOD(RecordCopy)(void* pvExisting, void* pvNew) = 0;
    STDMETHOD(GetGuid)(GUID* pguid) = 0;
    STDMETHOD(GetName)(BSTR* pbstrName) = 0;
    STDMETHOD(GetSize)(ULONG* pcbSize) = 0;
    STDMETHOD(GetTypeInfo)(ITypeInfo** ppTypeInfo) = 0;
    STDMETHOD(GetField)(void* pvData, LPCOLESTR szFieldName, VARIANT* pvarField) = 0;
    STDMETHOD(GetFieldNoCopy)(void* pvData, LPCOLESTR szFieldName, VARIANT* pvarField, void** ppvDataCArray) = 0;
    STDMETHOD(PutField)(ULONG wFlags, void* pvData, LPCOLESTR szFieldName, VARIANT* pvarField) = 0;
    STDMETHOD(PutFieldNoCopy)(ULONG wFlags, void* pvData, LPCOLESTR szFieldName, VARIANT* pvarField) = 0;
    STDMETHOD(GetFieldNames)(ULONG* pcNames, BSTR* rgBstrNames) = 0;
    STDMETHOD_(BOOL, IsMatchingType)(IRecordInfo* pRecordInfo) = 0;
    STDMETHOD_(void*, RecordCreate)() = 0;
    STDMETHOD(RecordCreateCopy)(void* pvSource, void** ppvDest) = 0;
    STDMETHOD(RecordDestroy)(void* pvRecord) = 0;

protected:
    ~IRecordInfo() = default;
};
#endif  // _WIN32

namespace calyra {
template <>
struct InterfaceTraits<IRecordInfo> {
    static const IID& iid() { return IID_IRecordInfo; }
};

// The record info of one described record type (a new reference).
HRESULT CreateRecordInfo(const RecordDesc* desc, IRecordInfo** ppRecInfo);

// The work of RecordClear and RecordCopy, for code that holds a description
// rather than a record info: Clear frees every text (nested records too) and
// zeroes the record; Copy fills `dest` with new copies without freeing what
// it held. Copy throws OutOfMemory when a text cannot be allocated, and
// then leaves `dest` untouched. NULL arguments do nothing.
void RecordClearByDescription(const RecordDesc* desc, void* record);
void RecordCopyByDescription(const RecordDesc* desc, const void* source, void* dest);
}  // namespace calyra
