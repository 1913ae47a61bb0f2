// Registration of type libraries in the registry store (registry.h), with
// the Win32 names.
//
// A registered library has the keys
//   TypeLib\{LIBID}\<major>.<minor>          default value: the library's name
//   TypeLib\{LIBID}\<major>.<minor>\0\win32  default value: the module's full path
//   TypeLib\{LIBID}\<major>.<minor>\FLAGS    "0"
//   TypeLib\{LIBID}\<major>.<minor>\HELPDIR  the help directory (may be empty)
// with the version in hexadecimal, as Windows writes it. These keys let a
// client find the module that carries a library. Loading a library
// (LoadRegTypeLib in type_lib.h) works from the descriptions compiled into
// the process instead; a loader that wants to follow the registry would
// read the win32 path here, load that module and ask it for its
// description.
//
// Ownership: nothing is handed out. Thread-safety: each call is one update
// of the store and may be made from any thread.
#pragma once

#include <string_view>

#include "platform/type_lib.h"

#ifdef _WIN32
#include "platform/windows_sdk.h"
#else
enum SYSKIND : INT {
    SYS_WIN16 = 0,
    SYS_WIN32 = 1,
    SYS_MAC = 2,
    SYS_WIN64 = 3,
};

// The registry could not be read or written. FROZEN value.
constexpr HRESULT TYPE_E_REGISTRYACCESS = static_cast<HRESULT>(0x8002801Cu);

extern "C" {
// Registers ptlib (its identifier, name and version) as carried by the
// module at szFullPath. szHelpDir may be NULL.
HRESULT RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir);
// Removes the version's keys, the library's key when no other version is
// left, and the TypeLib key itself when no library is left. A library that is not registered is not an error, so that
// an interrupted unregistration can be completed. lcid and syskind are not kept apart: one registration serves every
// locale.
HRESULT UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid, SYSKIND syskind);
}
#endif  // _WIN32

namespace calyra {

// The platform a library is registered for (the key below its version):
// RegisterTypeLib in a 64-bit Windows process writes win64, and
// UnRegisterTypeLib removes only the key of the platform it is given.
#if defined(_WIN64)
inline constexpr SYSKIND kModuleSysKind = SYS_WIN64;
#else
inline constexpr SYSKIND kModuleSysKind = SYS_WIN32;
#endif

// RegisterTypeLib for a caller that knows the library's identity rather
// than holding an ITypeLib. On Windows the library is the TYPELIB resource
// of the module at fullPath, and must carry that identity.
HRESULT RegisterTypeLibKeys(REFGUID libid, WORD wVerMajor, WORD wVerMinor, std::u16string_view name,
                            std::u16string_view fullPath, std::u16string_view helpDir);

}  // namespace calyra
