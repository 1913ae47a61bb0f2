// The platform port: everything the Calyra component expects of the
// platform it runs on, in one list. This is what a port must provide, not
// its implementation: it declares nothing. On Linux each name is provided by
// the header named in its section: the ones directly in platform/ are the
// client API and installed, the ones in platform/system/ serve only the
// component, and platform/posix/ implements both; the few the component
// server alone calls are declared in comserver/. A build against the real
// Windows SDK maps every section to the SDK header named beside it, where
// the same names already carry the same meaning, and keeps the checks at the
// end. Names that appear in no section are this platform's own helpers, not
// part of the port (see "Not part of the port" below).
//
// Nothing is owned and nothing needs a lock: this file only lists and checks.
#pragma once

#include "platform/guid.h"
#include "platform/safearray.h"
#include "platform/system_time.h"
#include "platform/types.h"
#include "platform/variant.h"

// ---- Types and sizes --------------------------- types.h, guid.h  |  <windows.h>
// BYTE WORD DWORD USHORT SHORT INT UINT LONG ULONG LONGLONG ULONGLONG BOOL CHAR
// WCHAR OLECHAR LPOLESTR LPCOLESTR LPWSTR LPCWSTR LPSTR LPCSTR LPVOID LPCVOID
// ULONG_PTR LONG_PTR UINT_PTR WPARAM LPARAM LRESULT LCID DISPID MEMBERID
// VARTYPE SCODE HRESULT BSTR VARIANT_BOOL (VARIANT_TRUE, VARIANT_FALSE) DATE
// TRUE FALSE; GUID IID CLSID REFGUID REFIID REFCLSID GUID_NULL IsEqualGUID
// IsEqualIID IsEqualCLSID StringFromGUID2 IIDFromString CLSIDFromString;
// STDMETHOD STDMETHOD_ STDMETHODIMP STDMETHODIMP_ STDAPI STDMETHODCALLTYPE.
// LONG and ULONG are 32-bit and OLECHAR a 16-bit unit on every platform:
// records and interfaces keep their Windows layout.
//
// ---- Status codes ------------------------------ hresult.h  |  <winerror.h>
// S_OK S_FALSE E_NOTIMPL E_NOINTERFACE E_POINTER E_ABORT E_FAIL E_UNEXPECTED
// E_ACCESSDENIED E_HANDLE E_OUTOFMEMORY E_INVALIDARG CLASS_E_NOAGGREGATION
// CLASS_E_CLASSNOTAVAILABLE REGDB_E_CLASSNOTREG REGDB_E_READREGDB
// REGDB_E_WRITEREGDB CO_E_NOTINITIALIZED CO_E_DLLNOTFOUND CO_E_ERRORINDLL
// CO_E_CLASSSTRING RPC_E_CHANGED_MODE TYPE_E_LIBNOTREGISTERED
// TYPE_E_ELEMENTNOTFOUND DISP_E_* SUCCEEDED FAILED (and TYPE_E_REGISTRYACCESS
// in comserver/type_lib_registration.h); all with their Windows values (clients compare against the numbers).
//
// ---- COM runtime -------------------- unknown.h, com_runtime.h  |  <objbase.h>
// IUnknown IDispatch IClassFactory (IID_IUnknown, IID_IDispatch,
// IID_IClassFactory), with no virtual destructor; COINIT_* CLSCTX_* INFINITE;
// CoInitializeEx CoInitialize CoUninitialize CoGetClassObject
// CoCreateInstance CoFreeUnusedLibraries CoFreeUnusedLibrariesEx
// CLSIDFromProgID ProgIDFromCLSID CoTaskMemAlloc CoTaskMemRealloc
// CoTaskMemFree. The runtime finds a class's module through the registry
// (CLSID\{clsid}\InprocServer32), loads it and calls the entry points the
// component exports: DllGetClassObject, DllCanUnloadNow, DllRegisterServer,
// DllUnregisterServer (LPFNGETCLASSOBJECT, LPFNCANUNLOADNOW).
//
// ---- BSTR ---------------------------------------- bstr.h  |  <oleauto.h>
// SysAllocString SysAllocStringLen SysAllocStringByteLen SysFreeString
// SysStringLen SysStringByteLen SysReAllocString. A 4-byte byte count sits
// just before the text; SysAllocString(NULL) is NULL; SysFreeString(NULL)
// does nothing.
//
// ---- VARIANT and automation calls ------------- variant.h  |  <oleauto.h>
// VARIANT VARIANTARG VARENUM (VT_*) VariantInit VariantClear VariantChangeType
// VariantChangeTypeEx VARIANT_ALPHABOOL DISPPARAMS
// EXCEPINFO DISPID_UNKNOWN DISPID_VALUE DISPID_PROPERTYPUT DISPATCH_METHOD
// DISPATCH_PROPERTYGET DISPATCH_PROPERTYPUT DISPATCH_PROPERTYPUTREF.
//
// ---- SAFEARRAY, IRecordInfo, type libraries ---------------  |  <oleauto.h>
//   safearray.h: SAFEARRAY SAFEARRAYBOUND FADF_* SafeArrayCreate
//     SafeArrayCreateVector SafeArrayCreateEx SafeArrayCreateVectorEx
//     SafeArrayDestroy SafeArrayAccessData SafeArrayUnaccessData
//     SafeArrayLock SafeArrayUnlock SafeArrayGetDim SafeArrayGetElemsize
//     SafeArrayGetLBound SafeArrayGetUBound SafeArrayGetVartype
//     SafeArrayGetRecordInfo SafeArrayGetIID SafeArrayPtrOfIndex. Record
//     arrays keep their IRecordInfo* in the hidden area before the descriptor.
//   record_info.h: IRecordInfo (IID_IRecordInfo).
//   type_lib.h: ITypeLib ITypeInfo TYPEKIND (IID_ITypeLib, IID_ITypeInfo)
//     LoadRegTypeLib GetRecordInfoFromTypeInfo GetRecordInfoFromGuids
//     LOCALE_USER_DEFAULT LOCALE_SYSTEM_DEFAULT.
//   comserver/type_lib_registration.h: RegisterTypeLib UnRegisterTypeLib SYSKIND.
// On Windows the type library travels as a resource of the module; here it
// is the compiled description (RegisterTypeLibDescription), which a port
// replaces with the .tlb built from the same typelib.def.
//
// ---- Automation dates ------------------------ variant_time.h  |  <oleauto.h>
// VariantTimeToSystemTime SystemTimeToVariantTime (years 100 to 9999, seconds
// rounded to nearest, milliseconds come back 0).
//
// ---- UTC clock ------------------------------ system_time.h  |  <windows.h>
// SYSTEMTIME LPSYSTEMTIME GetSystemTime.
//
// ---- Registry --------------------------- system/registry.h  |  <winreg.h>
// HKEY PHKEY REGSAM HKEY_CLASSES_ROOT RegCreateKeyExW RegOpenKeyExW
// RegCloseKey RegSetValueExW RegQueryValueExW RegDeleteValueW RegDeleteKeyW
// RegDeleteTreeW RegEnumKeyExW REG_NONE REG_SZ REG_OPTION_NON_VOLATILE
// REG_CREATED_NEW_KEY REG_OPENED_EXISTING_KEY KEY_* ERROR_* (the Win32 codes
// the calls return) HRESULT_FROM_WIN32. Only the classes root is used.
//
// ---- Locks -------------------- system/critical_section.h  |  <windows.h>
// CRITICAL_SECTION InitializeCriticalSection
// InitializeCriticalSectionAndSpinCount EnterCriticalSection
// TryEnterCriticalSection LeaveCriticalSection DeleteCriticalSection;
// recursive for the owning thread, as on Windows. Reference counts use
// std::atomic and need nothing of the platform.
//
// ---- Thread locale -------------- system/thread_locale.h  |  <windows.h>
// GetThreadLocale SetThreadLocale (registration runs under a fixed locale).
//
// ---- Error-report library ------ errorreport/error_report.h  |  its own DLL
// ErrorRecord ReportError: a shared library of its own, linked by the
// component, that stores a record's error code through the caller's error ID.
//
// ---- Windowing, for trace texts ------------ system/window.h  |  <winuser.h>
// HWND FindWindowW IsWindow SendMessageW WM_COPYDATA COPYDATASTRUCT
// PCOPYDATASTRUCT. Objects find the window titled "Receiver" and send it
// their trace texts with WM_COPYDATA; with no such window they send nothing.
//
// ---- File existence ----------------- system/file_exists.h  |  <fileapi.h>
// GetFileAttributesW INVALID_FILE_ATTRIBUTES FILE_ATTRIBUTE_DIRECTORY
// FILE_ATTRIBUTE_NORMAL.
//
// ---- Not part of the port ---------------------------------------------------
// ATL-shaped templates map to ATL on Windows: comserver/object_root.h
// (CComObjectRootEx, CComObject, CComAggObject, CComCoClass,
// CComMultiThreadModel), system/module_object.h, system/module_lock.h,
// comserver/dispatch.h (IDispatchImpl), com_ptr.h (CComPtr's role), bstr.h's
// calyra::Bstr (CComBSTR's role). The UTF-8 codec (utf8.h) is plain C++.
// Internals of this platform's own implementation need no counterpart:
// comserver/dispatch_frame.h, comserver/dispatch_invoke.h,
// comserver/dispatch_table.h, type_description.h, system/registry_tree.h,
// posix/window_protocol.h, calyra::MessageWindow,
// system/record_info_internal.h, posix/safearray_internal.h. So do this
// platform's helpers with an implementation per platform:
// system/interprocess_lock.h, comserver/module_path.h.

// ---- Checks every port must pass ---------------------------------------------
// FROZEN: these sizes and values are the binary interface clients were built
// against; records cross module boundaries by address.
static_assert(sizeof(BYTE) == 1 && sizeof(WORD) == 2 && sizeof(DWORD) == 4);
static_assert(sizeof(SHORT) == 2 && sizeof(USHORT) == 2 && sizeof(INT) == 4 && sizeof(UINT) == 4);
static_assert(sizeof(LONG) == 4 && sizeof(ULONG) == 4, "LONG and ULONG stay 32-bit on LP64");
static_assert(sizeof(LONGLONG) == 8 && sizeof(ULONGLONG) == 8);
static_assert(sizeof(OLECHAR) == 2 && sizeof(WCHAR) == 2, "texts are UTF-16 units, never wchar_t on Linux");
static_assert(sizeof(VARIANT_BOOL) == 2 && VARIANT_TRUE == -1 && VARIANT_FALSE == 0);
static_assert(sizeof(DATE) == 8 && sizeof(HRESULT) == 4 && sizeof(SCODE) == 4);
static_assert(sizeof(DISPID) == 4 && sizeof(LCID) == 4 && sizeof(VARTYPE) == 2);
static_assert(sizeof(GUID) == 16);
static_assert(sizeof(SYSTEMTIME) == 16);
static_assert(sizeof(SAFEARRAYBOUND) == 8);
static_assert(sizeof(VARIANT) == 8 + 2 * sizeof(void*));
static_assert(sizeof(ULONG_PTR) == sizeof(void*) && sizeof(LONG_PTR) == sizeof(void*));
