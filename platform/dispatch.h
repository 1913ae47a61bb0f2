// IDispatchImpl<I>: the dual-interface half of a component class.
//
// Answers QueryInterface for IUnknown, IDispatch and I, and serves
// automation calls by name and DISPID from the type library's description
// of I. Holds no state of its own; thread-safety is the class's.
#pragma once

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
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
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
