// IDispatchImpl<I>: the dual-interface half of a component class.
//
// Answers QueryInterface for IUnknown, IDispatch and I, and serves
// automation calls by name and DISPID from DispatchTableOf<I>() (see
// dispatch_table.h): the type library's description of I paired with one
// invoker per method, DISPIDs counting from 1 in slot order. The type
// library's DispatchTraits (idl/typelib_dispatch.h) give every interface of
// typelib.def its dispatch; a class implementing one includes them.
//
// Type information is the interface's ITypeInfo from the registered type
// library its DispatchTraits name (none when they name no library), so
// script hosts and importing clients see the interface as it is declared.
// Holds no state of its own; Invoke takes no lock, so thread-safety is that
// of the class's methods. What GetTypeInfo hands out is the caller's.
#pragma once

#include "comserver/dispatch_table.h"
#include "platform/unknown.h"

namespace calyra {

template <class Itf>
class IDispatchImpl : public Itf {
public:
    // The interface's type information from its registered library (see
    // DispatchTable::GetTypeInfo); one library serves every locale.
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override {
        if (!pctinfo) return E_POINTER;
        *pctinfo = DispatchTableOf<Itf>().TypeInfoCount();
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) override {
        return DispatchTableOf<Itf>().GetTypeInfo(iTInfo, ppTInfo);
    }
    // One name set serves every locale.
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID, DISPID* rgDispId) override {
        return DispatchTableOf<Itf>().GetIDsOfNames(riid, rgszNames, cNames, rgDispId);
    }
    // A failing method comes back as DISP_E_EXCEPTION, its status in
    // pExcepInfo->scode (see DispatchTable::Invoke).
    STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                        VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override {
        return DispatchTableOf<Itf>().Invoke(static_cast<Itf*>(this), dispIdMember, riid, wFlags, pDispParams,
                                             pVarResult, pExcepInfo, puArgErr);
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
