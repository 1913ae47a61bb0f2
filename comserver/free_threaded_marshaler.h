// FreeThreadedMarshaler: lets a free-threaded object be handed to another
// apartment of the same process as its own pointer, never as a proxy.
//
// For an object whose interface cannot be marshalled faithfully (the
// connection's GetFieldValue fills a caller's raw text buffer; a proxy
// carries one unit of it, and the object would write the rest past the
// stub's copy) and that guards itself with its own locks. The object
// creates the marshaler in FinalConstruct with its controlling unknown and
// answers IID_IMarshal from it. The marshaler is the system's free-threaded
// marshaler with one difference: it hands out the pointer for every
// destination, not only for the ones marked in-process. Wine marks a call
// between two apartments of one process MSHCTX_LOCAL (the proxies
// oleaut32 makes for IDispatch::Invoke do), so the system's marshaler alone
// gave a script's connection to an access object as a proxy, and the first
// GetFieldValue through it overran the stub's buffer. Another process
// cannot take the pointer: the system's unmarshaler refuses it there (on
// Windows), as no proxy of this object could serve it either.
//
// Ownership: the marshaler holds the reference to the system's marshaler
// and releases it when destroyed; the IMarshal it answers counts on the
// controlling unknown. Without a COM runtime of its own (Linux) there are
// no apartments, and nothing is created. Thread-safety: Create runs once
// during construction; everything else may be called from any thread.
#pragma once

#include "platform/unknown.h"

#ifdef _WIN32
#include "platform/windows_sdk.h"
#endif

namespace calyra {

#ifdef _WIN32

class FreeThreadedMarshaler final : public IMarshal {
public:
    FreeThreadedMarshaler() = default;
    FreeThreadedMarshaler(const FreeThreadedMarshaler&) = delete;
    FreeThreadedMarshaler& operator=(const FreeThreadedMarshaler&) = delete;
    ~FreeThreadedMarshaler() {
        if (m_inner) m_inner->Release();
    }

    // Aggregates the system's marshaler into `controlling`.
    HRESULT Create(IUnknown* controlling) {
        if (m_inner) return S_OK;
        if (!controlling) return E_POINTER;
        m_controlling = controlling;
        return CoCreateFreeThreadedMarshaler(controlling, &m_inner);
    }

    // Whether riid is IMarshal and *ppv now holds it (a reference on the
    // controlling unknown).
    bool Answer(REFIID riid, void** ppv) {
        if (!ppv || !m_inner || !IsEqualIID(riid, IID_IMarshal)) return false;
        m_controlling->AddRef();
        *ppv = static_cast<IMarshal*>(this);
        return true;
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return m_controlling->QueryInterface(riid, ppv); }
    STDMETHODIMP_(ULONG) AddRef() override { return m_controlling->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return m_controlling->Release(); }

    // Marshalling: the system's, as for a destination in this process.
    STDMETHODIMP GetUnmarshalClass(REFIID riid, void* pv, DWORD, void*, DWORD flags, CLSID* pCid) override {
        return Forward(
            [&](IMarshal* m) { return m->GetUnmarshalClass(riid, pv, MSHCTX_INPROC, nullptr, flags, pCid); });
    }
    STDMETHODIMP GetMarshalSizeMax(REFIID riid, void* pv, DWORD, void*, DWORD flags, DWORD* pSize) override {
        return Forward(
            [&](IMarshal* m) { return m->GetMarshalSizeMax(riid, pv, MSHCTX_INPROC, nullptr, flags, pSize); });
    }
    STDMETHODIMP MarshalInterface(IStream* pStm, REFIID riid, void* pv, DWORD, void*, DWORD flags) override {
        return Forward([&](IMarshal* m) { return m->MarshalInterface(pStm, riid, pv, MSHCTX_INPROC, nullptr, flags); });
    }
    // The unmarshaling side is the system's class; these serve a caller
    // that asks this object directly.
    STDMETHODIMP UnmarshalInterface(IStream* pStm, REFIID riid, void** ppv) override {
        return Forward([&](IMarshal* m) { return m->UnmarshalInterface(pStm, riid, ppv); });
    }
    STDMETHODIMP ReleaseMarshalData(IStream* pStm) override {
        return Forward([&](IMarshal* m) { return m->ReleaseMarshalData(pStm); });
    }
    STDMETHODIMP DisconnectObject(DWORD reserved) override {
        return Forward([&](IMarshal* m) { return m->DisconnectObject(reserved); });
    }

private:
    // Calls the system marshaler's IMarshal. Asked for per call: holding it
    // would hold a reference on the controlling unknown, so on the object.
    template <class F>
    HRESULT Forward(F call) {
        if (!m_inner) return E_UNEXPECTED;
        IMarshal* marshal = nullptr;
        HRESULT hr = m_inner->QueryInterface(IID_IMarshal, reinterpret_cast<void**>(&marshal));
        if (FAILED(hr)) return hr;
        hr = call(marshal);
        marshal->Release();
        return hr;
    }

    IUnknown* m_controlling = nullptr;  // Constant after Create; not counted (it owns us).
    IUnknown* m_inner = nullptr;        // the system marshaler's own (non-delegating) unknown
};

#else

class FreeThreadedMarshaler {
public:
    HRESULT Create(IUnknown*) { return S_OK; }
    bool Answer(REFIID, void**) { return false; }
};

#endif

}  // namespace calyra
