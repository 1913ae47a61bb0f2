// AutomationType<T>: the automation type (VARTYPE) of a C++ type that
// appears in the type library as a record field or a method parameter, with
// the record description or interface identifier that goes with it.
//
//   BSTR -> VT_BSTR, LONG -> VT_I4, ULONG -> VT_UI4, DATE -> VT_DATE,
//   VARIANT_BOOL -> VT_BOOL, LONGLONG -> VT_I8, USHORT -> VT_UI2,
//   an enumeration -> VT_I4 (with its description), a record -> VT_RECORD,
//   IXxx* -> VT_DISPATCH, IXxx** -> VT_DISPATCH | VT_BYREF,
//   GUID* -> VT_CLSID | VT_BYREF, void** -> VT_UNKNOWN | VT_BYREF,
//   any other T* -> AutomationType<T> | VT_BYREF.
// A type outside this table has no AutomationType and fails to compile, so a
// typing slip in typelib.def cannot produce a wrong description.
//
// Compile-time only: nothing is owned and nothing needs a lock.
#pragma once

#include <type_traits>

#include "idl/typelib_description.h"
#include "platform/variant.h"

namespace calyra {

// A GUID passed by reference; this platform's VARENUM does not name it.
inline constexpr VARTYPE VT_CLSID = 72;

template <class T>
struct AutomationType;

namespace idl_detail {

template <VARTYPE Vt>
struct PlainAutomationType {
    static constexpr VARTYPE vt = Vt;
    static constexpr const RecordDesc* record() { return nullptr; }
    static constexpr const IID* iid() { return nullptr; }
    static constexpr const EnumDesc* enumeration() { return nullptr; }
};

template <class I>
concept DispatchInterface = std::is_class_v<I> && std::is_base_of_v<IDispatch, I> && requires {
    InterfaceTraits<I>::iid();
};

// T can stand behind a pointer that adds nothing but VT_BYREF.
template <class T>
concept ByReferenceTarget = requires {
    AutomationType<T>::vt;
}
&&(AutomationType<T>::vt&(VT_BYREF | VT_ARRAY)) == 0 && AutomationType<T>::vt != VT_DISPATCH&& AutomationType<T>::vt
                                                            != VT_CLSID;

}  // namespace idl_detail

template <>
struct AutomationType<BSTR> : idl_detail::PlainAutomationType<VT_BSTR> {};
template <>
struct AutomationType<LONG> : idl_detail::PlainAutomationType<VT_I4> {};
template <>
struct AutomationType<ULONG> : idl_detail::PlainAutomationType<VT_UI4> {};
template <>
struct AutomationType<DATE> : idl_detail::PlainAutomationType<VT_DATE> {};
template <>
struct AutomationType<VARIANT_BOOL> : idl_detail::PlainAutomationType<VT_BOOL> {};
template <>
struct AutomationType<LONGLONG> : idl_detail::PlainAutomationType<VT_I8> {};
template <>
struct AutomationType<USHORT> : idl_detail::PlainAutomationType<VT_UI2> {};
template <>
struct AutomationType<GUID*> : idl_detail::PlainAutomationType<VT_CLSID | VT_BYREF> {};
template <>
struct AutomationType<void**> : idl_detail::PlainAutomationType<VT_UNKNOWN | VT_BYREF> {};

template <class E>
requires std::is_enum_v<E>
struct AutomationType<E> : idl_detail::PlainAutomationType<VT_I4> {
    static_assert(sizeof(E) == sizeof(LONG));
    static constexpr const EnumDesc* enumeration() { return &EnumTraits<E>::description(); }
};

template <class R>
requires kIsRecordType<R>
struct AutomationType<R> {
    static constexpr VARTYPE vt = VT_RECORD;
    static constexpr const RecordDesc* record() { return &RecordTraits<R>::description(); }
    static constexpr const IID* iid() { return nullptr; }
    static constexpr const EnumDesc* enumeration() { return nullptr; }
};

template <class I>
requires idl_detail::DispatchInterface<I>
struct AutomationType<I*> {
    static constexpr VARTYPE vt = VT_DISPATCH;
    static constexpr const RecordDesc* record() { return nullptr; }
    static constexpr const IID* iid() { return &InterfaceTraits<I>::iid(); }
};

template <class I>
requires idl_detail::DispatchInterface<I>
struct AutomationType<I**> {
    static constexpr VARTYPE vt = VT_DISPATCH | VT_BYREF;
    static constexpr const RecordDesc* record() { return nullptr; }
    static constexpr const IID* iid() { return &InterfaceTraits<I>::iid(); }
};

template <class T>
requires idl_detail::ByReferenceTarget<T>
struct AutomationType<T*> {
    static constexpr VARTYPE vt = AutomationType<T>::vt | VT_BYREF;
    static constexpr const RecordDesc* record() { return AutomationType<T>::record(); }
    static constexpr const IID* iid() { return nullptr; }
};

// A SAFEARRAY** of records: VT_ARRAY | VT_RECORD | VT_BYREF.
inline constexpr VARTYPE kRecordArrayVt = VT_ARRAY | VT_RECORD | VT_BYREF;

}  // namespace calyra
