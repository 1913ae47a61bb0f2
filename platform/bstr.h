// Automation strings (BSTR) and the Bstr holder our own code uses.
//
// Layout: a 4-byte byte count (terminator excluded) immediately before the
// text, then the UTF-16 units and one zero unit. A NULL BSTR counts as the
// empty text everywhere. The allocators are thread-safe; a BSTR is owned by
// whoever the interface contract names and freed with SysFreeString.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "platform/hresult.h"
#include "platform/types.h"
#include "platform/utf8.h"

#ifdef _WIN32
#include "platform/windows_sdk.h"
#else
extern "C" {
// Copies up to the first zero unit; NULL gives NULL.
BSTR SysAllocString(const OLECHAR* psz);
// Copies exactly ui units (which may contain zeros); psz NULL leaves the
// units uninitialised but terminated. NULL on overflow or out of memory.
BSTR SysAllocStringLen(const OLECHAR* psz, UINT ui);
// Takes len bytes; the byte count may be odd.
BSTR SysAllocStringByteLen(LPCSTR psz, UINT len);
void SysFreeString(BSTR bstr);
UINT SysStringLen(BSTR bstr);
UINT SysStringByteLen(BSTR bstr);
// Replaces *pbstr by a copy of psz (freeing the old); FALSE when out of memory.
INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz);
}
#endif  // _WIN32

namespace calyra {

// Thrown wherever a text allocation fails; carries E_OUTOFMEMORY.
struct OutOfMemory {
    HRESULT hr = E_OUTOFMEMORY;
};

// Length of a zero-terminated UTF-16 text (0 for NULL).
size_t OleStrLen(const OLECHAR* psz);

// The text of a BSTR someone else owns, by its length (NULL is empty).
inline std::u16string_view BstrView(BSTR b) { return {b ? AsU16(b) : u"", SysStringLen(b)}; }
inline std::string BstrUtf8(BSTR b) { return Utf16ToUtf8(BstrView(b)); }

// Owns one BSTR. Copies copy the text by its length (embedded zeros kept).
// Not thread-safe: one holder per thread, like any value.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const OLECHAR* psz);        // copy up to the zero unit
    explicit Bstr(std::u16string_view text);  // copy exactly
    static Bstr FromUtf8(std::string_view text);
    static Bstr Attach(BSTR owned) {
        Bstr b;
        b.m_bstr = owned;
        return b;
    }
    Bstr(const Bstr& other);
    Bstr(Bstr&& other) noexcept : m_bstr(std::exchange(other.m_bstr, nullptr)) {}
    Bstr& operator=(const Bstr& other);
    Bstr& operator=(Bstr&& other) noexcept;
    ~Bstr() { SysFreeString(m_bstr); }

    BSTR get() const { return m_bstr; }
    operator BSTR() const { return m_bstr; }  // NOLINT: reads like a raw BSTR
    UINT length() const { return SysStringLen(m_bstr); }
    bool empty() const { return length() == 0; }
    std::u16string_view view() const { return {m_bstr ? AsU16(m_bstr) : u"", length()}; }
    std::string utf8() const { return Utf16ToUtf8(view()); }

    // Out-parameter access; the holder must be empty so nothing leaks.
    BSTR* operator&();
    BSTR Detach() { return std::exchange(m_bstr, nullptr); }
    void Reset() { SysFreeString(std::exchange(m_bstr, nullptr)); }
    // Allocation helpers that throw OutOfMemory instead of returning NULL.
    static BSTR Copy(BSTR src);

private:
    BSTR m_bstr = nullptr;
};

}  // namespace calyra
