// Windows-compatible scalar types with their Windows sizes on every platform.
//
// The component's records and interfaces keep the layout a Windows client
// expects: LONG and ULONG stay 32-bit on LP64, OLECHAR is a 16-bit unit, and
// the automation boolean is 16-bit. Everything here is plain data; nothing
// is owned and nothing needs a lock.
#pragma once

#ifdef _WIN32
#include "platform/windows_sdk.h"
#else

#include <cstddef>
#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using USHORT = std::uint16_t;
using SHORT = std::int16_t;
using INT = std::int32_t;
using UINT = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using BOOL = std::int32_t;
using CHAR = char;
using WCHAR = char16_t;
using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using LPSTR = char*;
using LPCSTR = const char*;
using LPVOID = void*;
using LPCVOID = const void*;
using ULONG_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using WPARAM = UINT_PTR;
using LPARAM = LONG_PTR;
using LRESULT = LONG_PTR;
using LCID = DWORD;
using DISPID = LONG;
using MEMBERID = DISPID;
using VARTYPE = USHORT;
using SCODE = LONG;
using HRESULT = LONG;

// A length-prefixed UTF-16 text; see bstr.h for its layout and allocators.
using BSTR = OLECHAR*;

// Automation boolean: all sixteen bits set for true.
using VARIANT_BOOL = SHORT;
constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// Automation date: days since 1899-12-30 00:00, the fraction is the time of day.
using DATE = double;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

// COM calls use the platform's default calling convention outside Windows.
#define STDMETHODCALLTYPE
#define STDAPICALLTYPE
#define STDMETHOD(name) virtual HRESULT STDMETHODCALLTYPE name
#define STDMETHOD_(type, name) virtual type STDMETHODCALLTYPE name
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE
#define STDAPI extern "C" HRESULT STDAPICALLTYPE

#endif  // _WIN32

// Frozen ABI sizes: records and interfaces cross module boundaries.
static_assert(sizeof(LONG) == 4);
static_assert(sizeof(ULONG) == 4);
static_assert(sizeof(LONGLONG) == 8);
static_assert(sizeof(OLECHAR) == 2);
static_assert(sizeof(VARIANT_BOOL) == 2);
static_assert(sizeof(DATE) == 8);
static_assert(sizeof(HRESULT) == 4);

namespace calyra {
// The component keeps its texts as UTF-16 in char16_t (u"" literals,
// std::u16string). OLECHAR is the same 16-bit unit, but Windows spells it
// wchar_t, a distinct type; these two casts are the one place where the two
// spellings meet. On other platforms they change nothing.
inline const char16_t* AsU16(const OLECHAR* text) { return reinterpret_cast<const char16_t*>(text); }
inline char16_t* AsU16(OLECHAR* text) { return reinterpret_cast<char16_t*>(text); }
inline const OLECHAR* AsOle(const char16_t* text) { return reinterpret_cast<const OLECHAR*>(text); }
inline OLECHAR* AsOle(char16_t* text) { return reinterpret_cast<OLECHAR*>(text); }
}  // namespace calyra
