// GUID, IID and CLSID with the Windows layout, and their comparison.
//
// Identifiers are real 128-bit values, never type addresses: they must keep
// their identity across shared-library boundaries and in the registry.
#pragma once

#ifdef _WIN32
#include "platform/windows_sdk.h"
#else
#include <cstring>

#include "platform/types.h"

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};
static_assert(sizeof(GUID) == 16);

using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline bool IsEqualGUID(REFGUID a, REFGUID b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool IsEqualIID(REFIID a, REFIID b) { return IsEqualGUID(a, b); }
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return IsEqualGUID(a, b); }
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }
inline bool operator!=(REFGUID a, REFGUID b) { return !IsEqualGUID(a, b); }

constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
// The only interface identifier a late-bound client passes to
// GetIDsOfNames and Invoke: riid is reserved and must be null.
constexpr IID IID_NULL = GUID_NULL;

// Registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (38 characters),
// written into a buffer of at least cchMax units; returns the units written
// including the terminator, or 0 when the buffer is too small.
extern "C" int StringFromGUID2(REFGUID guid, LPOLESTR lpsz, int cchMax);
// Parses the registry form (braces required): E_INVALIDARG for a text that
// is not 38 characters in braces, CO_E_IIDSTRING for one with a bad
// character or separator.
extern "C" HRESULT IIDFromString(LPCOLESTR lpsz, IID* lpiid);
extern "C" HRESULT CLSIDFromString(LPCOLESTR lpsz, CLSID* pclsid);
#endif  // _WIN32
