// DispatchTable: automation dispatch (GetIDsOfNames, Invoke) of one dual
// interface, driven by the interface's run-time description.
//
// A table pairs the interface's description (names, DISPIDs, parameters)
// with one invoker per method, both in slot order, so DISPID n is entry
// n - 1. Tables are built at compile time from DispatchTraits<I>, which
// the type library specialises for each of its interfaces (a test may
// specialise it for its own); nobody writes a table by hand.
//
// Ownership: tables are constant static data living as long as the module.
// Thread-safety: nothing is written after compilation, so any number of
// threads may dispatch through one table at once; Invoke takes no lock of
// its own (the called method takes what it needs).
#pragma once

#include <array>
#include <cstddef>
#include <type_traits>

#include "comserver/dispatch_invoke.h"
#include "platform/type_description.h"
#include "platform/unknown.h"

namespace calyra {

// The registered type library that describes an interface, for the type
// information IDispatch hands out.
struct TypeLibRef {
    const GUID* libid;
    WORD majorVersion;
    WORD minorVersion;
};

struct DispatchMethod {
    DispatchInvokeFn invoke;
    DispatchMatchFn matches;  // whether the description fits the C++ signature
};

struct DispatchTable {
    const InterfaceDesc* description;
    const DispatchMethod* methods;  // indexed by DISPID - 1
    size_t methodCount;
    const TypeLibRef* library = nullptr;  // NULL: the interface offers no type information

    // 1 when the interface's library is known, else 0.
    UINT TypeInfoCount() const { return library ? 1 : 0; }
    // The interface's ITypeInfo from its registered library (a new
    // reference): index 0 only (DISP_E_BADINDEX otherwise), E_NOTIMPL
    // without a library, or the loader's status.
    HRESULT GetTypeInfo(UINT index, ITypeInfo** ppTInfo) const;

    // Method names match case-insensitively (ASCII letters). Names after
    // the first are parameter names of that method and map to their
    // positions in the argument list (plErrorID is 0; the return value is
    // not an argument). Unknown names give DISPID_UNKNOWN in their entry
    // and DISP_E_UNKNOWNNAME; riid other than IID_NULL gives
    // DISP_E_UNKNOWNINTERFACE.
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, DISPID* rgDispId) const;

    // Calls method `dispid` of `self` (an object of the table's interface)
    // with the arguments as described in dispatch_frame.h, answering as
    // DispInvoke over the interface's type information does. Takes
    // DISPATCH_METHOD, alone or with DISPATCH_PROPERTYGET. Named arguments
    // are named by their positions (GetIDsOfNames); a name that is no
    // argument, or one already given, is DISP_E_PARAMNOTFOUND with
    // *puArgErr its index in rgvarg. Before the call: DISP_E_UNKNOWNINTERFACE,
    // DISP_E_MEMBERNOTFOUND (unknown DISPID or a property put),
    // DISP_E_BADPARAMCOUNT, argument errors with *puArgErr (the argument's
    // index in the caller's rgvarg), or E_UNEXPECTED for a description that
    // does not fit the method. S_OK for any success of the method; a failure
    // is DISP_E_EXCEPTION with the method's status in pExcepInfo->scode
    // (when given; the other fields are zero). *pVarResult (optional) is
    // emptied first with VariantInit, so it must not hold anything.
    HRESULT Invoke(IDispatch* self, DISPID dispid, REFIID riid, WORD wFlags, DISPPARAMS* pDispParams,
                   VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) const;
};

// The methods of interface I in slot order: DispatchMethodList<I, &I::A, &I::B>.
template <class I, auto... Methods>
struct DispatchMethodList {};

// Specialised for every dispatched interface:
//   using Methods = DispatchMethodList<I, ...>;
//   static constexpr const InterfaceDesc* description = &...;
//   static constexpr const TypeLibRef* library = &...;  // optional
template <class I>
struct DispatchTraits;

namespace dispatch_detail {

template <class I>
constexpr const TypeLibRef* LibraryOf() {
    if constexpr (requires { DispatchTraits<I>::library; })
        return DispatchTraits<I>::library;
    else
        return nullptr;
}

template <class List>
struct TableOf;

template <class I, auto... Methods>
struct TableOf<DispatchMethodList<I, Methods...>> {
    static_assert((std::is_same_v<typename DispatchInvoker<Methods>::Interface, I> && ...),
                  "every method must be declared by the interface itself");
    static constexpr std::array<DispatchMethod, sizeof...(Methods)> kMethods{
        {{&DispatchInvoker<Methods>::Invoke, &DispatchInvoker<Methods>::Matches}...}};
    static constexpr DispatchTable kTable{DispatchTraits<I>::description, kMethods.data(), kMethods.size(),
                                          LibraryOf<I>()};
};

}  // namespace dispatch_detail

// The dispatch table of interface I.
template <class I>
const DispatchTable& DispatchTableOf() {
    return dispatch_detail::TableOf<typename DispatchTraits<I>::Methods>::kTable;
}

}  // namespace calyra
