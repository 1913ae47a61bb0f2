// ModuleObject<I>: the IUnknown half of the platform's own small objects
// (record infos, type infos, type libraries) that implement exactly one
// interface. References are counted atomically; the object is deleted on
// the last Release; while it lives it holds one module lock, because its
// description tables live in the module's static storage.
//
// Derived classes add the interface's own methods and keep their
// destructor private or protected; they are created with `new` and handed
// out with the one reference they start with. Thread-safety: AddRef,
// Release and QueryInterface may be called from any thread.
#pragma once

#include <atomic>

#include "platform/system/module_lock.h"
#include "platform/unknown.h"

namespace calyra {

template <class Interface>
class ModuleObject : public Interface {
public:
    ModuleObject() { ModuleLock(); }
    ModuleObject(const ModuleObject&) = delete;
    ModuleObject& operator=(const ModuleObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IidOf<Interface>())) {
            *ppv = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_ref; }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG n = --m_ref;
        if (n == 0) delete this;
        return n;
    }

protected:
    virtual ~ModuleObject() { ModuleUnlock(); }

private:
    std::atomic<ULONG> m_ref{1};
};

}  // namespace calyra
