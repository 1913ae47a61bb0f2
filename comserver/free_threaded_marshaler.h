// FreeThreadedMarshaler: lets a free-threaded object be handed to another
// apartment of the same process as its own pointer instead of a proxy.
//
// For an object whose interface cannot be marshalled faithfully (the
// connection's GetFieldValue fills a caller's raw text buffer, which the
// type-library marshaler would copy as one unit) and that guards itself
// with its own locks. The object creates the marshaler in FinalConstruct
// with its controlling unknown and answers IID_IMarshal from it; the
// marshaler holds the reference to the system's free-threaded marshaler
// and releases it when destroyed. Without a COM runtime of its own (Linux)
// there are no apartments, and nothing is created.
//
// Thread-safety: Create runs once during construction; Answer may then be
// called from any thread.
#pragma once

#include "platform/unknown.h"

#ifdef _WIN32
#include "platform/windows_sdk.h"
#endif

namespace calyra {

class FreeThreadedMarshaler {
public:
    FreeThreadedMarshaler() = default;
    FreeThreadedMarshaler(const FreeThreadedMarshaler&) = delete;
    FreeThreadedMarshaler& operator=(const FreeThreadedMarshaler&) = delete;
    ~FreeThreadedMarshaler() {
        if (m_inner) m_inner->Release();
    }

    // Aggregates the system's marshaler into `controlling`.
    HRESULT Create([[maybe_unused]] IUnknown* controlling) {
#ifdef _WIN32
        if (m_inner) return S_OK;
        return CoCreateFreeThreadedMarshaler(controlling, &m_inner);
#else
        return S_OK;
#endif
    }

    // Whether riid is IMarshal and *ppv now holds it (a reference on the
    // controlling unknown).
    bool Answer([[maybe_unused]] REFIID riid, [[maybe_unused]] void** ppv) {
#ifdef _WIN32
        return ppv && m_inner && IsEqualIID(riid, IID_IMarshal) && SUCCEEDED(m_inner->QueryInterface(riid, ppv));
#else
        return false;
#endif
    }

private:
    IUnknown* m_inner = nullptr;  // the marshaler's own (non-delegating) unknown
};

}  // namespace calyra
