// IRecordInfo: what a record array needs to know about its element type.
//
// A record info describes one record type of a type library (see
// type_description.h). It is immutable and thread-safe; arrays and
// VARIANTs hold a reference to it.
#pragma once

#include "platform/type_description.h"
#include "platform/unknown.h"

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

namespace calyra {
template <>
struct InterfaceTraits<IRecordInfo> {
    static const IID& iid() { return IID_IRecordInfo; }
};

// The record info of one described record type (a new reference).
HRESULT CreateRecordInfo(const RecordDesc* desc, IRecordInfo** ppRecInfo);
}  // namespace calyra
