// Automation dispatch of the type library's interfaces: DispatchTraits<I>
// for every interface of typelib.def, naming its methods in slot order, its
// run-time description and the library that carries it. IDispatchImpl<I> builds its table from them, so
// GetIDsOfNames and Invoke of every interface follow the one description
// in typelib.def.
//
// A component class that implements one of these interfaces includes this
// file; clients do not (it brings the dispatch machinery, which is the
// server's). Compile-time only: nothing is owned and nothing needs a lock.
#pragma once

#include "comserver/dispatch.h"
#include "idl/calyra_idl.h"
#include "platform/type_description.h"

namespace calyra {

// The descriptions live in typelib_description.cpp (declared there too);
// this file may be read before typelib_description.h.
namespace idl_detail {
#define CALYRA_INTERFACE_BEGIN(name, guid) extern const InterfaceDesc kInterface_##name;
#include "idl/typelib_expand.h"
#define CALYRA_LIBRARY(name, major, minor, guid) inline constexpr TypeLibRef kLibrary{&LIBID_##name, major, minor};
#include "idl/typelib_expand.h"
}  // namespace idl_detail

#define CALYRA_INTERFACE_BEGIN(name, guid)                                                  \
    template <>                                                                             \
    struct DispatchTraits<::name> {                                                         \
        static constexpr const InterfaceDesc* description = &idl_detail::kInterface_##name; \
        static constexpr const TypeLibRef* library = &idl_detail::kLibrary;                 \
        using Methods = DispatchMethodList < ::name
#define CALYRA_METHOD(iface, name, params) , &::iface::name
#define CALYRA_INTERFACE_END(name) \
    > ;                            \
    }                              \
    ;
#include "idl/typelib_expand.h"

}  // namespace calyra
