// The description tables of the Calyra type library, expanded from
// typelib.def in several passes; see typelib_description.h. Every table is
// constant-initialised (constinit), so lookups work even from other files'
// static initialisers.
#include "idl/typelib_description.h"

#include <cstddef>
#include <iterator>

#include "idl/automation_type.h"

namespace calyra {
namespace idl_detail {
namespace {

// Every method takes the caller's error ID first; typelib.def leaves it implicit.
constexpr ParamDesc kErrorIdParam{"plErrorID", ParamDir::InOut, VT_I4 | VT_BYREF, nullptr, nullptr};

}  // namespace

// ---- Enumerations -----------------------------------------------------------
#define CALYRA_ENUM_BEGIN(name, guid) constexpr EnumValueDesc kValues_##name[] = {
#define CALYRA_ENUM_VALUE(enumeration, name, value) {#name, value},
#define CALYRA_ENUM_END(name) \
    }                         \
    ;                         \
    constinit const EnumDesc kEnum_##name{#name, &GUID_##name, kValues_##name, std::size(kValues_##name)};
#include "idl/typelib_expand.h"

// ---- Records: nested records are declared first, so their descriptions exist
// ---- by the time a holder's field table names them.
#define CALYRA_RECORD_BEGIN(name, guid) constexpr FieldDesc kFields_##name[] = {
#define CALYRA_FIELD(rec, type, field)                                                       \
    {#field, AutomationType<type>::vt, offsetof(rec, field), AutomationType<type>::record(), \
     AutomationType<type>::enumeration()},
#define CALYRA_RECORD_END(name)                                                                  \
    }                                                                                            \
    ;                                                                                            \
    constinit const RecordDesc kRecord_##name{#name, &GUID_##name, sizeof(name), kFields_##name, \
                                              std::size(kFields_##name)};
#include "idl/typelib_expand.h"

// ---- Parameters, one table per method ---------------------------------------
#define CALYRA_METHOD(iface, name, params) constexpr ParamDesc kParams_##iface##_##name[] = {kErrorIdParam params};
#define CALYRA_PARAM(dir, type, param)                                                         \
    , ParamDesc {                                                                              \
#param, ParamDir::dir, AutomationType < type> ::vt, AutomationType < type> ::record(), \
            AutomationType < type> ::iid()                                                     \
    }
#define CALYRA_PARAM_ARRAY(dir, rec, param) \
    , ParamDesc { #param, ParamDir::dir, kRecordArrayVt, &RecordTraits < rec> ::description(), nullptr }
#include "idl/typelib_expand.h"

// ---- Interfaces: DISPID = slot position, counted from 1 ---------------------
#define CALYRA_INTERFACE_BEGIN(name, guid) constexpr MethodDesc kMethods_##name[] = {
#define CALYRA_METHOD(iface, name, params) \
    {#name, static_cast<DISPID>(iface##Dispid::name), kParams_##iface##_##name, std::size(kParams_##iface##_##name)},
#define CALYRA_INTERFACE_END(name) \
    }                              \
    ;                              \
    constinit const InterfaceDesc kInterface_##name{#name, &IID_##name, kMethods_##name, std::size(kMethods_##name)};
#include "idl/typelib_expand.h"

namespace {

// ---- The library -------------------------------------------------------------
constexpr const RecordDesc* kRecords[] = {
#define CALYRA_RECORD_BEGIN(name, guid) &kRecord_##name,
#include "idl/typelib_expand.h"
};

constexpr const InterfaceDesc* kInterfaces[] = {
#define CALYRA_INTERFACE_BEGIN(name, guid) &kInterface_##name,
#include "idl/typelib_expand.h"
};

constexpr const EnumDesc* kEnums[] = {
#define CALYRA_ENUM_BEGIN(name, guid) &kEnum_##name,
#include "idl/typelib_expand.h"
};

constexpr CoClassDesc kCoClasses[] = {
#define CALYRA_COCLASS(name, iface, guid, ...) {#name, &CLSID_##name, &IID_##iface},
#include "idl/typelib_expand.h"
};

#define CALYRA_LIBRARY(name, major, minor, guid)                                                             \
    constinit const TypeLibDesc kTypeLib{#name,    &LIBID_##name,       major,       minor,                  \
                                         kRecords, std::size(kRecords), kInterfaces, std::size(kInterfaces), \
                                         kEnums,   std::size(kEnums),   kCoClasses,  std::size(kCoClasses)};
#include "idl/typelib_expand.h"

template <class Desc, size_t N, class Key>
const Desc* FindByKey(const Desc* const (&table)[N], const GUID& guid, Key key) {
    for (const Desc* desc : table) {
        if (IsEqualGUID(*(desc->*key), guid)) return desc;
    }
    return nullptr;
}

}  // namespace
}  // namespace idl_detail

const TypeLibDesc& CalyraTypeLibDescription() { return idl_detail::kTypeLib; }

const RecordDesc* FindRecordDescription(const GUID& guid) {
    return idl_detail::FindByKey(idl_detail::kRecords, guid, &RecordDesc::guid);
}

const InterfaceDesc* FindInterfaceDescription(const IID& iid) {
    return idl_detail::FindByKey(idl_detail::kInterfaces, iid, &InterfaceDesc::iid);
}

const EnumDesc* FindEnumDescription(const GUID& guid) {
    return idl_detail::FindByKey(idl_detail::kEnums, guid, &EnumDesc::guid);
}

const EnumDesc* FindEnumDescription(std::string_view name) {
    for (const EnumDesc* desc : idl_detail::kEnums)
        if (name == desc->name) return desc;
    return nullptr;
}

const MethodDesc* FindMethodDescription(const InterfaceDesc& iface, DISPID dispid) {
    // DISPIDs are slot positions, so the method is found by index.
    if (dispid < 1 || static_cast<size_t>(dispid) > iface.methodCount) return nullptr;
    const MethodDesc* method = &iface.methods[dispid - 1];
    return method->dispid == dispid ? method : nullptr;
}

}  // namespace calyra
