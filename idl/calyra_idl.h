// C++ declarations of the Calyra type library, expanded from typelib.def:
// identifiers (LIBID_, IID_, CLSID_, and GUID_ for every record and
// enumeration), error IDs, enumerations, records and the dual interfaces
// with their COM virtual-table layout. This is what clients compile against.
// The run-time description of the same content is typelib_description.h; the
// component's classes add their dispatch from typelib_dispatch.h, which
// clients never need.
//
// Records own the BSTRs they hold once handed out; the receiver frees them
// (RecordClear or SafeArrayDestroy does it for record arrays).
#pragma once

#include <type_traits>

#include "platform/bstr.h"
#include "platform/guid.h"
#include "platform/hresult.h"
#include "platform/safearray.h"
#include "platform/types.h"
#include "platform/unknown.h"

// ---- Pass 1: identifiers, error IDs, forward declarations -------------------
#define CALYRA_LIBRARY(name, major, minor, guid) extern "C" const GUID LIBID_##name;
#define CALYRA_ERROR(name, value) constexpr LONG name = value;
#define CALYRA_ENUM_BEGIN(name, guid) extern "C" const GUID GUID_##name;
#define CALYRA_RECORD_BEGIN(name, guid) \
    struct name;                        \
    extern "C" const GUID GUID_##name;
#define CALYRA_INTERFACE_BEGIN(name, guid) \
    struct name;                           \
    extern "C" const IID IID_##name;
#define CALYRA_COCLASS(name, iface, guid, ...) extern "C" const CLSID CLSID_##name;
#include "idl/typelib_expand.h"

// ---- Pass 2: enumerations, records, interfaces ------------------------------
#define CALYRA_ENUM_BEGIN(name, guid) enum name : LONG {
#define CALYRA_ENUM_VALUE(enumeration, name, value) name = value,
#define CALYRA_ENUM_END(name) \
    }                         \
    ;
#define CALYRA_RECORD_BEGIN(name, guid) struct name {
#define CALYRA_FIELD(record, type, name) type name;
#define CALYRA_RECORD_END(name) \
    }                           \
    ;
#define CALYRA_INTERFACE_BEGIN(name, guid) struct name : IDispatch {
#define CALYRA_METHOD(iface, name, params) STDMETHOD(name)(LONG * plErrorID params) = 0;
#define CALYRA_PARAM(dir, type, name) , type name
#define CALYRA_PARAM_ARRAY(dir, record, name) , SAFEARRAY** name
#define CALYRA_INTERFACE_END(name)                               \
protected:                                                       \
    ~name() = default;                                           \
    }                                                            \
    ;                                                            \
    template <>                                                  \
    struct calyra::InterfaceTraits<name> {                       \
        static constexpr const IID& iid() { return IID_##name; } \
    };
#include "idl/typelib_expand.h"

// ---- Pass 3: layout checks ---------------------------------------------------
// Records cross the interface by address and are described by offsetof, so
// they must stay standard-layout; enumerations travel as 32-bit numbers.
#define CALYRA_ENUM_BEGIN(name, guid) static_assert(sizeof(name) == 4, #name " must stay 32-bit");
#define CALYRA_RECORD_BEGIN(name, guid)                                                        \
    static_assert(std::is_standard_layout_v<name> && std::is_trivially_copyable_v<name>, #name \
                  " must stay plain "                                                          \
                  "data");
#include "idl/typelib_expand.h"
