// The run-time description of the Calyra type library: one RecordDesc per
// record, one InterfaceDesc per interface, one EnumDesc per enumeration, the
// classes, the library itself (name, version) and the error IDs, all
// expanded from typelib.def. Record arrays, record infos, the type-library
// loader and automation dispatch read these tables; so can any code that
// needs a record's identifier or layout from its C++ type (RecordTraits,
// RecordDescriptionOf), an enumeration field's value names (a field's
// enumeration) or an error ID's name (kErrorIdDescriptions).
//
// Ownership: everything handed out is constant static data that lives as
// long as the module; callers never free it. Thread-safety: the tables are
// constant-initialised and never written, so any thread may read them at
// any time, also during static initialisation of other files.
#pragma once

#include <cstddef>
#include <string_view>

#include "idl/calyra_idl.h"
#include "platform/type_description.h"

namespace calyra {

// The whole library: records, interfaces, enumerations and classes in the
// order typelib.def declares them.
const TypeLibDesc& CalyraTypeLibDescription();

// Lookups by identifier; NULL when the library has no such type.
const RecordDesc* FindRecordDescription(const GUID& guid);
const InterfaceDesc* FindInterfaceDescription(const IID& iid);
const EnumDesc* FindEnumDescription(const GUID& guid);
// An enumeration by name ("enumTitle"); NULL when the library has none.
const EnumDesc* FindEnumDescription(std::string_view name);
// The method of an interface with the given DISPID; NULL when there is none.
const MethodDesc* FindMethodDescription(const InterfaceDesc& iface, DISPID dispid);

// The tables behind the traits below; defined in typelib_description.cpp.
namespace idl_detail {
#define CALYRA_RECORD_BEGIN(name, guid) extern const RecordDesc kRecord_##name;
#define CALYRA_INTERFACE_BEGIN(name, guid) extern const InterfaceDesc kInterface_##name;
#define CALYRA_ENUM_BEGIN(name, guid) extern const EnumDesc kEnum_##name;
#include "idl/typelib_expand.h"
}  // namespace idl_detail

// The error IDs an operation reports, by name and value, in typelib.def's
// order.
inline constexpr EnumValueDesc kErrorIdDescriptions[] = {
#define CALYRA_ERROR(name, value) {#name, value},
#include "idl/typelib_expand.h"
};

// RecordTraits<tagXxx>: a record type's identifier and description, named
// from its C++ type. kIsRecordType<T> tells whether T is one of the
// library's records.
template <class R>
struct RecordTraits;
template <class T>
inline constexpr bool kIsRecordType = false;

#define CALYRA_RECORD_BEGIN(name, id)                                                           \
    template <>                                                                                 \
    struct RecordTraits<::name> {                                                               \
        static constexpr const GUID& guid() { return GUID_##name; }                             \
        static constexpr const RecordDesc& description() { return idl_detail::kRecord_##name; } \
    };                                                                                          \
    template <>                                                                                 \
    inline constexpr bool kIsRecordType<::name> = true;
#include "idl/typelib_expand.h"

template <class R>
constexpr const RecordDesc& RecordDescriptionOf() {
    return RecordTraits<R>::description();
}

// EnumTraits<enumXxx>: an enumeration's description, named from its type.
template <class E>
struct EnumTraits;
#define CALYRA_ENUM_BEGIN(name, id)                                                         \
    template <>                                                                             \
    struct EnumTraits<::name> {                                                             \
        static constexpr const EnumDesc& description() { return idl_detail::kEnum_##name; } \
    };
#include "idl/typelib_expand.h"

// InterfaceDescriptionOf<IXxx>(): an interface's description from its type.
template <class I>
const InterfaceDesc& InterfaceDescriptionOf();
#define CALYRA_INTERFACE_BEGIN(name, guid)                         \
    template <>                                                    \
    inline const InterfaceDesc& InterfaceDescriptionOf<::name>() { \
        return idl_detail::kInterface_##name;                      \
    }
#include "idl/typelib_expand.h"

// DISPIDs by name: IXxxDispid::Method is the method's DISPID, its 1-based
// slot position. kAfterLast - 1 is the interface's method count.
#define CALYRA_INTERFACE_BEGIN(name, guid) \
    enum class name##Dispid : DISPID {     \
        kBeforeFirst = 0,
#define CALYRA_METHOD(iface, name, params) name,
#define CALYRA_INTERFACE_END(name) \
    kAfterLast                     \
    }                              \
    ;
#include "idl/typelib_expand.h"

}  // namespace calyra
