// Object roots: reference counting, interface lookup, aggregation and
// creation for the component's classes, in the shape of ATL's templates.
//
// A class derives from CComObjectRootEx<Model> (its count and outer
// unknown), from IDispatchImpl<I> (the dual interface, which also answers
// QueryInterface for IUnknown, IDispatch and I) and names its class
// identifier with CComCoClass. It is never instantiated directly:
// CComObject<T> (standalone) or CComAggObject<T> (part of an outer object)
// add the IUnknown methods, count the module's live objects and delete the
// object when its count reaches zero. The multi-threaded model counts
// atomically; the single-threaded model expects one apartment thread.
#pragma once

#include <atomic>
#include <new>

#include "comserver/dispatch.h"
#include "platform/system/module_lock.h"
#include "platform/unknown.h"

namespace calyra {

struct CComMultiThreadModel {
    using Count = std::atomic<LONG>;
    static LONG Increment(Count& c) { return ++c; }
    static LONG Decrement(Count& c) { return --c; }
};

struct CComSingleThreadModel {
    using Count = LONG;
    static LONG Increment(Count& c) { return ++c; }
    static LONG Decrement(Count& c) { return --c; }
};

template <class ThreadModel>
class CComObjectRootEx {
public:
    using ThreadModelType = ThreadModel;

    ULONG InternalAddRef() { return static_cast<ULONG>(ThreadModel::Increment(m_dwRef)); }
    ULONG InternalRelease() { return static_cast<ULONG>(ThreadModel::Decrement(m_dwRef)); }

    // Creation hooks: FinalConstruct runs once the object is complete and
    // holds a temporary reference; a failure destroys it again. FinalRelease
    // runs on the last release, before destruction.
    HRESULT FinalConstruct() { return S_OK; }
    void FinalRelease() {}

    // Set only while the object is part of an aggregate.
    IUnknown* m_pOuterUnknown = nullptr;

protected:
    typename ThreadModel::Count m_dwRef{0};
};

// Binds a class to its class identifier.
template <class T, const CLSID* pclsid>
class CComCoClass {
public:
    static const CLSID& GetObjectCLSID() { return *pclsid; }
};

// A standalone object: IUnknown over the class's internal methods.
template <class Base>
class CComObject final : public Base {
public:
    CComObject() { ModuleLock(); }
    ~CComObject() { ModuleUnlock(); }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return this->_InternalQueryInterface(riid, ppv); }
    STDMETHODIMP_(ULONG) AddRef() override { return this->InternalAddRef(); }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG n = this->InternalRelease();
        if (n == 0) {
            // Keep re-entrant AddRef/Release during FinalRelease from
            // deleting the object a second time.
            this->InternalAddRef();
            this->FinalRelease();
            delete this;
        }
        return n;
    }

    // Creates an object with count 0 and runs FinalConstruct under a
    // temporary reference; *pp receives it with count 0.
    static HRESULT CreateInstance(CComObject** pp) {
        if (!pp) return E_POINTER;
        *pp = nullptr;
        auto* p = new (std::nothrow) CComObject();
        if (!p) return E_OUTOFMEMORY;
        p->InternalAddRef();
        HRESULT hr = p->FinalConstruct();
        p->InternalRelease();
        if (FAILED(hr)) {
            delete p;
            return hr;
        }
        *pp = p;
        return S_OK;
    }
};

// The inner part of an aggregate: its IUnknown delegates to the outer object.
template <class Base>
class CComContainedObject final : public Base {
public:
    explicit CComContainedObject(IUnknown* outer) { this->m_pOuterUnknown = outer; }
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        return this->m_pOuterUnknown->QueryInterface(riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return this->m_pOuterUnknown->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return this->m_pOuterUnknown->Release(); }
};

// An aggregated object: the non-delegating IUnknown the outer object holds.
template <class Base>
class CComAggObject final : public IUnknown {
public:
    explicit CComAggObject(IUnknown* outer) : m_contained(outer) { ModuleLock(); }
    ~CComAggObject() { ModuleUnlock(); }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown)) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return m_contained._InternalQueryInterface(riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++m_ref); }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG n = static_cast<ULONG>(--m_ref);
        if (n == 0) {
            ++m_ref;
            m_contained.FinalRelease();
            delete this;
        }
        return n;
    }

    static HRESULT CreateInstance(IUnknown* outer, CComAggObject** pp) {
        if (!pp) return E_POINTER;
        *pp = nullptr;
        auto* p = new (std::nothrow) CComAggObject(outer);
        if (!p) return E_OUTOFMEMORY;
        ++p->m_ref;
        HRESULT hr = p->m_contained.FinalConstruct();
        --p->m_ref;
        if (FAILED(hr)) {
            delete p;
            return hr;
        }
        *pp = p;
        return S_OK;
    }

private:
    std::atomic<LONG> m_ref{0};
    CComContainedObject<Base> m_contained;
};

// Creates an instance of T, aggregated when pUnkOuter is given (then riid
// must be IID_IUnknown), and returns the requested interface.
template <class T>
HRESULT CreateComInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter) {
        if (!IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
        CComAggObject<T>* p = nullptr;
        HRESULT hr = CComAggObject<T>::CreateInstance(pUnkOuter, &p);
        if (FAILED(hr)) return hr;
        p->AddRef();
        hr = p->QueryInterface(riid, ppv);
        p->Release();
        return hr;
    }
    CComObject<T>* p = nullptr;
    HRESULT hr = CComObject<T>::CreateInstance(&p);
    if (FAILED(hr)) return hr;
    p->AddRef();
    hr = p->QueryInterface(riid, ppv);
    p->Release();
    return hr;
}

}  // namespace calyra
