// Type libraries: loading a registered library and getting the record info
// of one of its record types.
//
// A type library is a TypeLibDesc (see type_description.h) made available
// under its LIBID. Its types are numbered records first, then interfaces
// (TKIND_DISPATCH: they are dual), enumerations and classes, each in the
// description's order. The objects handed out are immutable and
// thread-safe, and keep the module locked while they live; the caller owns
// one reference to each. A type info holds a reference to its library, a
// record info from GetRecordInfoFromTypeInfo one to its type info. The
// table of registered libraries is guarded by its own mutex.
#pragma once

#include "platform/record_info.h"
#include "platform/type_description.h"
#include "platform/unknown.h"

#ifdef _WIN32
#include "platform/windows_sdk.h"
#else
struct ITypeLib;

extern "C" const IID IID_ITypeInfo;
extern "C" const IID IID_ITypeLib;

enum TYPEKIND : INT {
    TKIND_ENUM = 0,
    TKIND_RECORD = 1,
    TKIND_MODULE = 2,
    TKIND_INTERFACE = 3,
    TKIND_DISPATCH = 4,
    TKIND_COCLASS = 5,
    TKIND_ALIAS = 6,
    TKIND_UNION = 7,
};

// The parts of ITypeInfo the component uses. GetTypeKind and GetGuid stand
// in for the type attributes; GetDescription is this platform's way to the
// compiled description behind the type.
struct ITypeInfo : IUnknown {
    STDMETHOD(GetTypeKind)(TYPEKIND* pTypeKind) = 0;
    STDMETHOD(GetGuid)(GUID* pguid) = 0;
    STDMETHOD(GetName)(BSTR* pbstrName) = 0;
    STDMETHOD(GetContainingTypeLib)(ITypeLib** ppTLib, UINT* pIndex) = 0;
    // Exactly one of the outputs is set, by kind; the others become NULL.
    STDMETHOD(GetDescription)
    (const calyra::RecordDesc** ppRecord, const calyra::InterfaceDesc** ppInterface,
     const calyra::EnumDesc** ppEnum) = 0;

protected:
    ~ITypeInfo() = default;
};

struct ITypeLib : IUnknown {
    STDMETHOD_(UINT, GetTypeInfoCount)() = 0;
    STDMETHOD(GetTypeInfo)(UINT index, ITypeInfo** ppTInfo) = 0;
    STDMETHOD(GetTypeInfoOfGuid)(REFGUID guid, ITypeInfo** ppTInfo) = 0;
    STDMETHOD(GetLibGuid)(GUID* pguid) = 0;
    STDMETHOD(GetDescription)(const calyra::TypeLibDesc** ppDesc) = 0;

protected:
    ~ITypeLib() = default;
};
#endif  // _WIN32

namespace calyra {
template <>
struct InterfaceTraits<ITypeInfo> {
    static const IID& iid() { return IID_ITypeInfo; }
};
template <>
struct InterfaceTraits<ITypeLib> {
    static const IID& iid() { return IID_ITypeLib; }
};

#ifdef _WIN32
// On Windows the type library is the .tlb in the module's resources, which
// DllRegisterServer registers; LoadRegTypeLib finds it through the
// registry, so there is nothing to announce inside the process.
inline HRESULT RegisterTypeLibDescription(const TypeLibDesc*) { return S_OK; }
inline void UnregisterTypeLibDescription(const TypeLibDesc*) {}
#else
// Makes a compiled type library loadable by LoadRegTypeLib in this process.
// Registering the same description again is harmless. A description with
// missing parts or a record that could not be served safely is refused
// with E_INVALIDARG (E_POINTER for NULL).
HRESULT RegisterTypeLibDescription(const TypeLibDesc* desc);
// Forgets a description again; a module that carries a library registers
// it when it is loaded and unregisters it before it is unloaded.
void UnregisterTypeLibDescription(const TypeLibDesc* desc);
// Wraps a compiled description as an ITypeLib (a new reference).
HRESULT CreateTypeLibFromDescription(const TypeLibDesc* desc, ITypeLib** pptlib);
#endif  // _WIN32
}  // namespace calyra

#ifndef _WIN32
constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;

extern "C" {
// Finds a library registered under libid whose major version matches and
// whose minor version is at least wVerMinor (the highest such minor wins):
// one this process carries, or else one the registry names under
// TypeLib\{libid}\<version>\0\win32, whose module is then loaded to make
// its library known. TYPE_E_LIBNOTREGISTERED when there is none. One
// library serves every locale: lcid is not consulted.
HRESULT LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID lcid, ITypeLib** pptlib);
// TYPE_E_ELEMENTNOTFOUND for a type that is not a record.
HRESULT GetRecordInfoFromTypeInfo(ITypeInfo* pTypeInfo, IRecordInfo** ppRecInfo);
HRESULT GetRecordInfoFromGuids(REFGUID rGuidTypeLib, ULONG uVerMajor, ULONG uVerMinor, LCID lcid, REFGUID rGuidTypeInfo,
                               IRecordInfo** ppRecInfo);
}
#endif  // _WIN32
