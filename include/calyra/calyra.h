// The one header a Calyra client includes.
//
// It brings the platform layer a client uses (automation types, BSTR,
// VARIANT, SAFEARRAY of records, IUnknown/IDispatch, ComPtr, the runtime's
// CoInitializeEx/CoCreateInstance and ProgID look-ups, the type-library
// loader) and the whole type library: identifiers (CLSID_*, IID_*,
// LIBID_CalyraLib), error IDs (PIMERR_*), enumerations, records and
// interfaces. Link Calyra::runtime; load or register the component module
// (Calyra::module) to create its objects.
#pragma once

#include "idl/calyra_idl.h"
#include "idl/owned_record.h"
#include "idl/typelib_description.h"
#include "platform/bstr.h"
#include "platform/com_ptr.h"
#include "platform/com_runtime.h"
#include "platform/guid.h"
#include "platform/hresult.h"
#include "platform/record_info.h"
#include "platform/safearray.h"
#include "platform/system_time.h"
#include "platform/type_lib.h"
#include "platform/types.h"
#include "platform/unknown.h"
#include "platform/variant.h"
#include "platform/variant_time.h"
