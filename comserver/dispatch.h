// IDispatchImpl<I>: the dual-interface half of a component class.
//
// Answers QueryInterface for IUnknown, IDispatch and I, and serves
// automation calls by name and DISPID from DispatchTableOf<I>() (see
// dispatch_table.h): the type library's description of I paired with one
// invoker per method, DISPIDs counting from 1 in slot order. The type
// library's DispatchTraits (idl/typelib_dispatch.h) give every interface of
// typelib.def its dispatch; a class implementing one includes them.
//
// No type information is offered (GetTypeInfoCount gives 0): callers
// resolve names with GetIDsOfNames. Holds no state of its own; Invoke takes
// no lock, so thread-safety is that of the class's methods.
#pragma once

#include "comserver/dispatch_table.h"
#include "platform/unknown.h"

namespace calyra {

template <class Itf>
class IDispatchImpl : public Itf {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override {
        if (!pctinfo) return E_POINTER;
        *pctinfo = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
        if (ppTInfo) *ppTInfo = nullptr;
        return E_NOTIMPL;
    }
    // One name set serves every locale.
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID, DISPID* rgDispId) override {
        return DispatchTableOf<Itf>().GetIDsOfNames(riid, rgszNames, cNames, rgDispId);
    }
    // Failures come back as the method's HRESULT; pExcepInfo is not used.
    STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                        VARIANT* pVarResult, EXCEPINFO*, UINT* puArgErr) override {
        return DispatchTableOf<Itf>().Invoke(static_cast<Itf*>(this), dispIdMember, riid, wFlags, pDispParams,
                                             pVarResult, puArgErr);
    }

    HRESULT _InternalQueryInterface(REFIID riid, void** ppv) {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IidOf<Itf>())) {
            Itf* p = static_cast<Itf*>(this);
            p->AddRef();
            *ppv = p;
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
};

}  // namespace calyra
