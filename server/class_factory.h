// CComClassFactory<T>: the class object of one creatable class. It creates
// instances of T, standalone or as the inner part of an aggregate, and
// takes and drops server locks that keep the module loaded.
//
// Each DllGetClassObject call hands out a new class object; while it lives
// it counts as one of the module's objects. Thread-safety: all methods may
// be called from any thread.
#pragma once

#include "comserver/object_root.h"
#include "server/calyra_module.h"

namespace calyra {

template <class T>
class CComClassFactory : public CComObjectRootEx<CComMultiThreadModel>, public IClassFactory {
public:
    HRESULT _InternalQueryInterface(REFIID riid, void** ppv) {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            auto* self = static_cast<IClassFactory*>(this);
            self->AddRef();
            *ppv = self;
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }

    // CreateComInstance runs FinalConstruct and destroys the instance again
    // when it fails; with an outer object riid must be IID_IUnknown.
    STDMETHODIMP CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override {
        return CreateComInstance<T>(pUnkOuter, riid, ppvObject);
    }

    STDMETHODIMP LockServer(BOOL fLock) override { return Module().LockServer(fLock); }
};

// The class-object creator of an object map entry.
template <class T>
HRESULT CreateClassObject(REFIID riid, void** ppv) {
    return CreateComInstance<CComClassFactory<T>>(nullptr, riid, ppv);
}

}  // namespace calyra
