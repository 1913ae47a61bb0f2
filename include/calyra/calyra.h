// The one header a Calyra client includes: the whole client API.
//
// With it a client initialises the runtime (CoInitializeEx), creates the
// management object (CoCreateInstance(CLSID_PimManagement, …,
// IID_IPimManagement, …)), opens a database file with OpenPimDatabase, gets
// the access objects from the management object (GetProfileAccess,
// GetContactAccess, …) and calls their methods. Every method returns an
// HRESULT (S_OK, E_INVALIDARG, …; SUCCEEDED/FAILED) and reports an error ID
// (PIMERR_*) through its first argument. Texts are BSTRs (SysAllocString,
// SysFreeString, or the calyra::Bstr holder); records are the tagXxx structs
// of the type library; lists come back as SAFEARRAYs of records, which
// calyra::OwnedRecordArray walks and frees (calyra::OwnedRecord frees a
// single record's texts). Dates are automation dates (VariantTimeToSystemTime
// and back). calyra::ComPtr holds interface references. A client that builds
// a record array of its own gets the record info from GetRecordInfoFromGuids
// and creates the array with SafeArrayCreateVectorEx.
//
// Ownership follows the COM rules: what a method hands out (interfaces,
// BSTRs, records' texts, arrays) belongs to the caller. Thread-safety: the
// component's objects may be called from any thread initialised with
// CoInitializeEx(…, COINIT_MULTITHREADED).
//
// Link Calyra::runtime; register (DllRegisterServer) or load the component
// module (Calyra::module) to create its objects. Each header below opens
// with its own paragraph.
#pragma once

// The type library: identifiers (LIBID_CalyraLib, CLSID_*, IID_*), error IDs,
// enumerations, records, interfaces, and their run-time descriptions.
#include "idl/calyra_idl.h"
#include "idl/owned_record.h"
#include "idl/typelib_description.h"

// The platform layer a client uses: every header directly in platform/.
#include "platform/bstr.h"          // BSTR functions, calyra::Bstr
#include "platform/com_ptr.h"       // calyra::ComPtr
#include "platform/com_runtime.h"   // CoInitializeEx, CoCreateInstance, CLSIDFromProgID, CoTaskMemFree
#include "platform/guid.h"          // GUID, IsEqualGUID, StringFromGUID2
#include "platform/hresult.h"       // S_OK, E_*, SUCCEEDED, FAILED
#include "platform/port.h"          // checks this compiler against the frozen sizes
#include "platform/record_info.h"   // IRecordInfo
#include "platform/safearray.h"     // SAFEARRAY functions
#include "platform/system_time.h"   // SYSTEMTIME, GetSystemTime
#include "platform/type_lib.h"      // LoadRegTypeLib, GetRecordInfoFromGuids
#include "platform/types.h"         // LONG, BSTR, DATE, VARIANT_BOOL, …
#include "platform/unknown.h"       // IUnknown, IDispatch
#include "platform/utf8.h"          // UTF-8 <-> UTF-16
#include "platform/variant.h"       // VARIANT, VariantInit, VariantClear
#include "platform/variant_time.h"  // VariantTimeToSystemTime, SystemTimeToVariantTime
#include "platform/windows_sdk.h"   // on Windows, the SDK itself
