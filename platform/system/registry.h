// The registry's classes root (HKEY_CLASSES_ROOT), kept in a text file:
// where class registrations, programmatic identifiers, application and
// type-library keys live.
//
// The file is the one named by the CALYRA_REGISTRY environment variable, or
// else the user's own: $XDG_CONFIG_HOME/calyra/registry, falling back to
// ~/.config/calyra/registry. The variable is read on every call, so a
// process (or a test) can switch stores. Its text form is described in
// registry_tree.h. A missing file is an empty registry; a file that is not
// a well-formed registry makes every call fail with ERROR_BADDB and is
// never overwritten.
//
// Two layers:
// - ReadRegistry / UpdateRegistry, the store itself. An update is a
//   read-modify-write under an exclusive lock (flock on "<file>.lock"), and
//   the new content replaces the file by rename, so readers (which take no
//   lock) see either the old or the new file, never a mixture, and two
//   processes updating at once both land.
// - A subset of the Win32 registry calls over the classes root, each one
//   update or one read: keys by path, text values (REG_SZ) only. They return
//   ERROR_* codes like their Windows namesakes. A handle names a key by its
//   path; if another caller deletes the key, calls on the handle answer
//   ERROR_KEY_DELETED.
//
// Ownership: handles from RegCreateKeyExW/RegOpenKeyExW belong to the caller
// and are closed with RegCloseKey; closed or unknown handles are refused
// with ERROR_INVALID_HANDLE. Thread-safety: every call may be made from any
// thread; a single handle may be shared between threads.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/hresult.h"
#include "platform/system/registry_tree.h"
#include "platform/types.h"

#ifdef _WIN32
#include "platform/windows_sdk.h"
#else
struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using REGSAM = DWORD;
using LPDWORD = DWORD*;
using LPBYTE = BYTE*;
struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;
struct FILETIME;
using PFILETIME = FILETIME*;

// The one predefined key this store has. FROZEN value (the Windows one).
#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(0x80000000u))))

// Win32 error codes. FROZEN values.
constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_OUTOFMEMORY = 14;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_NO_MORE_ITEMS = 259;
constexpr LONG ERROR_BADDB = 1009;
constexpr LONG ERROR_CANTOPEN = 1011;
constexpr LONG ERROR_CANTREAD = 1012;
constexpr LONG ERROR_CANTWRITE = 1013;
constexpr LONG ERROR_KEY_DELETED = 1018;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;
// Access rights are accepted and not enforced: the store is the user's.
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

// A Win32 error code as a status code (0x8007xxxx); ERROR_SUCCESS is S_OK.
constexpr HRESULT HRESULT_FROM_WIN32(LONG code) {
    return code <= 0 ? code : static_cast<HRESULT>((static_cast<ULONG>(code) & 0xFFFFu) | 0x80070000u);
}

extern "C" {
// Opens lpSubKey below hKey, creating every missing key on the way; an
// empty or NULL lpSubKey opens hKey again. *lpdwDisposition (optional) says
// whether the key was new. Only REG_OPTION_NON_VOLATILE is supported.
LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass, DWORD dwOptions, REGSAM samDesired,
                     LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult, LPDWORD lpdwDisposition);
// ERROR_FILE_NOT_FOUND when the key does not exist.
LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
LONG RegCloseKey(HKEY hKey);
// Only REG_SZ: cbData bytes of UTF-16 text, a terminating zero unit
// optional. A NULL or empty name is the key's default value.
LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData, DWORD cbData);
// Copies the text with its terminator into lpData (when given) and stores
// its size in bytes in *lpcbData; ERROR_MORE_DATA with the needed size when
// the buffer is too small, ERROR_FILE_NOT_FOUND when there is no such value.
LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData);
LONG RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName);
// Deletes a key that has no subkeys (ERROR_ACCESS_DENIED when it has some).
LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey);
// Deletes a key with its whole subtree; with a NULL lpSubKey, deletes the
// subkeys and values of hKey itself and keeps hKey.
LONG RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey);
// The name of the dwIndex-th subkey (sorted order); *lpcchName holds the
// buffer size in units on entry and the name's length on return.
// ERROR_NO_MORE_ITEMS past the last one. Classes and times are not kept:
// lpClass and lpftLastWriteTime must be NULL.
LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved, LPWSTR lpClass,
                   LPDWORD lpcchClass, PFILETIME lpftLastWriteTime);
}
#endif  // _WIN32

namespace calyra {

#ifndef _WIN32
// The store's file; empty when neither the variable nor a home directory
// names one.
std::string RegistryFilePath();
#endif

// The current content, shared and read-only. Repeated reads of an unchanged
// file hand out the same snapshot without parsing it again.
LONG ReadRegistry(std::shared_ptr<const RegistryKey>* root, std::string* error = nullptr);

// Runs `change` on the current content under the store's lock. When it
// returns ERROR_SUCCESS and the content differs, the new content replaces
// the file atomically; any other result is returned and nothing is written.
// `change` must not call the registry itself (the lock is not re-entrant).
LONG UpdateRegistry(const std::function<LONG(RegistryKey& root)>& change, std::string* error = nullptr);

}  // namespace calyra
