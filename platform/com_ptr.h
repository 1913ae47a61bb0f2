// ComPtr<T>: holds one reference to an interface and releases it.
//
// Address-of asserts the holder is empty, so passing &p as an out-parameter
// never leaks an earlier reference. Not thread-safe, like any value.
#pragma once

#include <cassert>
#include <utility>

#include "platform/unknown.h"

namespace calyra {

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}  // NOLINT
    explicit ComPtr(T* p) : m_p(p) {
        if (m_p) m_p->AddRef();
    }
    ComPtr(const ComPtr& o) : ComPtr(o.m_p) {}
    ComPtr(ComPtr&& o) noexcept : m_p(std::exchange(o.m_p, nullptr)) {}
    ~ComPtr() { Reset(); }
    ComPtr& operator=(const ComPtr& o) {
        ComPtr(o).Swap(*this);
        return *this;
    }
    ComPtr& operator=(ComPtr&& o) noexcept {
        ComPtr(std::move(o)).Swap(*this);
        return *this;
    }

    // Takes over a reference the caller already owns.
    static ComPtr Attach(T* p) {
        ComPtr c;
        c.m_p = p;
        return c;
    }
    T* Detach() { return std::exchange(m_p, nullptr); }
    void Reset() {
        if (T* p = std::exchange(m_p, nullptr)) p->Release();
    }
    void Swap(ComPtr& o) noexcept { std::swap(m_p, o.m_p); }

    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    T** operator&() {
        assert(m_p == nullptr && "out-parameter into a non-empty ComPtr");
        return &m_p;
    }
    void** ReleaseAndGetVoidAddress() {
        Reset();
        return reinterpret_cast<void**>(&m_p);
    }

    template <class U>
    HRESULT As(ComPtr<U>* out) const {
        out->Reset();
        if (!m_p) return E_POINTER;
        return m_p->QueryInterface(IidOf<U>(), out->ReleaseAndGetVoidAddress());
    }

private:
    T* m_p = nullptr;
};

}  // namespace calyra
