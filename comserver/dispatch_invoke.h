// DispatchInvoker<&I::Method>: calls one interface method with the arguments
// of a DispatchFrame.
//
// The member-function pointer names the method; its parameter types are
// unpacked at compile time and each is taken from the frame slot of the same
// position (plErrorID first), so no method needs a hand-written call. A
// type that cannot cross automation dispatch fails to compile. Before the
// call, Matches checks that the frame's description agrees with the C++
// signature (count and kind of every parameter), so a description that
// drifted from its interface is refused instead of misread.
//
// Stateless: any number of threads may invoke at once; ownership of what
// the frame holds is the frame's (see dispatch_frame.h).
#pragma once

#include <cstddef>
#include <tuple>
#include <type_traits>
#include <utility>

#include "comserver/dispatch_frame.h"
#include "platform/hresult.h"
#include "platform/unknown.h"

namespace calyra {

// Calls one method on `self` (an object of the method's interface) with
// the frame's slots; E_UNEXPECTED when the description does not fit.
using DispatchInvokeFn = HRESULT (*)(IDispatch* self, const DispatchFrame& frame);
// Whether a method's description fits the C++ signature.
using DispatchMatchFn = bool (*)(const MethodDesc& method);

namespace dispatch_detail {

template <class T>
inline constexpr bool kAlwaysFalse = false;

template <class F>
struct MemberFunction;
template <class C, class... A>
struct MemberFunction<HRESULT (STDMETHODCALLTYPE C::*)(A...)> {
    using Class = C;
    template <size_t I>
    using Arg = std::tuple_element_t<I, std::tuple<A...>>;
    static constexpr size_t kArity = sizeof...(A);
};

// The slot kind that carries a C++ parameter type.
template <class T>
constexpr SlotKind SlotKindFor() {
    if constexpr (std::is_same_v<T, BSTR>) {
        return SlotKind::Bstr;
    } else if constexpr (std::is_pointer_v<T>) {
        return SlotKind::Pointer;
    } else if constexpr (std::is_same_v<T, VARIANT_BOOL>) {
        return SlotKind::Bool;
    } else if constexpr (std::is_same_v<T, DATE>) {
        return SlotKind::Date;
    } else if constexpr (std::is_same_v<T, LONGLONG>) {
        return SlotKind::LongLong;
    } else if constexpr (std::is_same_v<T, ULONG>) {
        return SlotKind::ULong;
    } else if constexpr (std::is_same_v<T, LONG> || (std::is_enum_v<T> && sizeof(T) == sizeof(LONG))) {
        return SlotKind::Long;
    } else {
        static_assert(kAlwaysFalse<T>, "this parameter type cannot cross automation dispatch");
        return SlotKind::Unsupported;
    }
}

// The value of slot i as the C++ parameter type T.
template <class T>
T SlotValue(const DispatchFrame& frame, size_t i) {
    constexpr SlotKind kind = SlotKindFor<T>();
    const VARIANT& v = frame.value(i);
    if constexpr (kind == SlotKind::Pointer) {
        return static_cast<T>(frame.pointer(i));
    } else if constexpr (kind == SlotKind::Bstr) {
        return v.bstrVal;
    } else if constexpr (kind == SlotKind::Bool) {
        return v.boolVal;
    } else if constexpr (kind == SlotKind::Date) {
        return v.date;
    } else if constexpr (kind == SlotKind::LongLong) {
        return v.llVal;
    } else if constexpr (kind == SlotKind::ULong) {
        return v.ulVal;
    } else {
        return static_cast<T>(v.lVal);
    }
}

// Whether the description (or a frame built from it) gives every
// parameter of F the slot kind its C++ type needs.
template <class F, class Indexes = std::make_index_sequence<MemberFunction<F>::kArity>>
struct Signature;
template <class F, size_t... I>
struct Signature<F, std::index_sequence<I...>> {
    template <size_t J>
    using Arg = typename MemberFunction<F>::template Arg<J>;

    static bool Matches([[maybe_unused]] const MethodDesc& method) {
        if (method.paramCount != sizeof...(I) || (sizeof...(I) != 0 && !method.params)) return false;
        return ((DispatchSlotKindOf(method.params[I]) == SlotKindFor<Arg<I>>()) && ...);
    }
    static bool Matches([[maybe_unused]] const DispatchFrame& frame) {
        return frame.size() == sizeof...(I) && ((frame.kind(I) == SlotKindFor<Arg<I>>()) && ...);
    }
};

}  // namespace dispatch_detail

template <auto Method>
struct DispatchInvoker {
    using Traits = dispatch_detail::MemberFunction<decltype(Method)>;
    using Interface = typename Traits::Class;
    using Signature = dispatch_detail::Signature<decltype(Method)>;
    static_assert(std::is_base_of_v<IDispatch, Interface>, "only dual interfaces are dispatched");

    static HRESULT Invoke(IDispatch* self, const DispatchFrame& frame) {
        if (!self || !Signature::Matches(frame)) return E_UNEXPECTED;
        return Call(static_cast<Interface*>(self), frame, std::make_index_sequence<Traits::kArity>{});
    }

    static bool Matches(const MethodDesc& method) { return Signature::Matches(method); }

private:
    template <size_t... I>
    static HRESULT Call(Interface* object, [[maybe_unused]] const DispatchFrame& frame, std::index_sequence<I...>) {
        return (object->*Method)(dispatch_detail::SlotValue<typename Traits::template Arg<I>>(frame, I)...);
    }
};

}  // namespace calyra
