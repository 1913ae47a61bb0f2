// IUnknown and IDispatch with the COM virtual-table layout.
//
// Interfaces are plain abstract structs with no virtual destructor (that would
// add slots and shift every method); an object decides its own deletion in
// Release. Every interface type carries its identifier through __uuidof-like
// lookup: `calyra::IidOf<I>()`.
#pragma once

#include "platform/guid.h"
#include "platform/hresult.h"
#include "platform/variant.h"

#ifdef _WIN32
#include "platform/windows_sdk.h"
#else
struct ITypeInfo;

extern "C" const IID IID_IUnknown;
extern "C" const IID IID_IDispatch;
extern "C" const IID IID_IClassFactory;

struct IUnknown {
    STDMETHOD(QueryInterface)(REFIID riid, void** ppvObject) = 0;
    STDMETHOD_(ULONG, AddRef)() = 0;
    STDMETHOD_(ULONG, Release)() = 0;

protected:
    ~IUnknown() = default;
};

struct IDispatch : IUnknown {
    STDMETHOD(GetTypeInfoCount)(UINT* pctinfo) = 0;
    STDMETHOD(GetTypeInfo)(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
    STDMETHOD(GetIDsOfNames)(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) = 0;
    STDMETHOD(Invoke)
    (DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
     EXCEPINFO* pExcepInfo, UINT* puArgErr) = 0;

protected:
    ~IDispatch() = default;
};

struct IClassFactory : IUnknown {
    STDMETHOD(CreateInstance)(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
    STDMETHOD(LockServer)(BOOL fLock) = 0;

protected:
    ~IClassFactory() = default;
};
#endif  // _WIN32

namespace calyra {

// Maps an interface type to its identifier. Specialised for every interface
// (the type library's declarations specialise it for theirs).
template <class I>
struct InterfaceTraits;

template <>
struct InterfaceTraits<IUnknown> {
    static const IID& iid() { return IID_IUnknown; }
};
template <>
struct InterfaceTraits<IDispatch> {
    static const IID& iid() { return IID_IDispatch; }
};
template <>
struct InterfaceTraits<IClassFactory> {
    static const IID& iid() { return IID_IClassFactory; }
};

template <class I>
const IID& IidOf() {
    return InterfaceTraits<I>::iid();
}

}  // namespace calyra
