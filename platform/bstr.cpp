// BSTR allocation and the Bstr holder.
#include "platform/bstr.h"

#include <cassert>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

#ifndef _WIN32  // Windows allocates BSTRs in oleaut32
namespace {

// The byte count sits in the four bytes before the text.
constexpr size_t kPrefix = sizeof(DWORD);
// Largest byte count that still fits the prefix with room for the terminator.
constexpr size_t kMaxBytes = std::numeric_limits<DWORD>::max() - kPrefix - sizeof(OLECHAR);

BSTR AllocBytes(size_t bytes) {
    if (bytes > kMaxBytes) return nullptr;
    // Room for the prefix, the text, and a whole zero unit even when the
    // byte count is odd.
    auto* block = static_cast<BYTE*>(std::malloc(kPrefix + bytes + sizeof(OLECHAR) + 1));
    if (!block) return nullptr;
    DWORD count = static_cast<DWORD>(bytes);
    std::memcpy(block, &count, kPrefix);
    std::memset(block + kPrefix + bytes, 0, sizeof(OLECHAR) + 1);
    return reinterpret_cast<BSTR>(block + kPrefix);
}

DWORD ByteCount(BSTR bstr) {
    DWORD count;
    std::memcpy(&count, reinterpret_cast<BYTE*>(bstr) - kPrefix, kPrefix);
    return count;
}

}  // namespace

extern "C" {

BSTR SysAllocString(const OLECHAR* psz) {
    if (!psz) return nullptr;
    size_t len = calyra::OleStrLen(psz);
    if (len > std::numeric_limits<UINT>::max()) return nullptr;
    return SysAllocStringLen(psz, static_cast<UINT>(len));
}

BSTR SysAllocStringLen(const OLECHAR* psz, UINT ui) {
    size_t bytes = static_cast<size_t>(ui) * sizeof(OLECHAR);
    BSTR bstr = AllocBytes(bytes);
    if (bstr && psz) std::memcpy(bstr, psz, bytes);
    return bstr;
}

BSTR SysAllocStringByteLen(LPCSTR psz, UINT len) {
    BSTR bstr = AllocBytes(len);
    if (bstr && psz) std::memcpy(bstr, psz, len);
    return bstr;
}

void SysFreeString(BSTR bstr) {
    if (bstr) std::free(reinterpret_cast<BYTE*>(bstr) - kPrefix);
}

UINT SysStringLen(BSTR bstr) { return bstr ? ByteCount(bstr) / sizeof(OLECHAR) : 0; }

UINT SysStringByteLen(BSTR bstr) { return bstr ? ByteCount(bstr) : 0; }

INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz) {
    if (!pbstr) return FALSE;
    BSTR copy = SysAllocString(psz);
    if (psz && !copy) return FALSE;
    SysFreeString(*pbstr);
    *pbstr = copy;
    return TRUE;
}

}  // extern "C"
#endif  // _WIN32

namespace calyra {

size_t OleStrLen(const OLECHAR* psz) {
    if (!psz) return 0;
    size_t n = 0;
    while (psz[n]) ++n;
    return n;
}

namespace {
BSTR CopyExact(const OLECHAR* text, size_t len) {
    if (len > std::numeric_limits<UINT>::max()) throw OutOfMemory{};
    BSTR b = SysAllocStringLen(text, static_cast<UINT>(len));
    if (!b) throw OutOfMemory{};
    return b;
}
}  // namespace

Bstr::Bstr(const OLECHAR* psz) {
    if (psz) m_bstr = CopyExact(psz, OleStrLen(psz));
}

Bstr::Bstr(std::u16string_view text) : m_bstr(CopyExact(AsOle(text.data()), text.size())) {}

Bstr Bstr::FromUtf8(std::string_view text) { return Bstr(std::u16string_view(Utf8ToUtf16(text))); }

Bstr::Bstr(const Bstr& other) : m_bstr(Copy(other.m_bstr)) {}

Bstr& Bstr::operator=(const Bstr& other) {
    if (this != std::addressof(other)) {
        BSTR copy = Copy(other.m_bstr);
        SysFreeString(m_bstr);
        m_bstr = copy;
    }
    return *this;
}

Bstr& Bstr::operator=(Bstr&& other) noexcept {
    if (this != std::addressof(other)) {
        SysFreeString(m_bstr);
        m_bstr = std::exchange(other.m_bstr, nullptr);
    }
    return *this;
}

BSTR* Bstr::operator&() {
    assert(m_bstr == nullptr && "out-parameter into a non-empty Bstr");
    return &m_bstr;
}

BSTR Bstr::Copy(BSTR src) {
    if (!src) return nullptr;
    return CopyExact(src, SysStringLen(src));
}

}  // namespace calyra
