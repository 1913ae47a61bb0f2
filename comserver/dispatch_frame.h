// DispatchFrame: the arguments of one automation call, converted from the
// caller's VARIANTs into the values and pointers the interface method takes.
//
// A frame is built on the stack of IDispatch::Invoke from the method's
// description (MethodDesc). Load reads DISPPARAMS (arguments arrive in
// reverse order); the method is called with the slots; Finish hands the out
// values back. What the frame made for the call (converted values,
// temporary out storage, interface references from QueryInterface, a new
// record or array for the return value) is owned by the frame until Finish
// passes it to the caller, and freed by the frame otherwise; what the
// caller passed stays the caller's. A frame belongs to one call on one
// thread and takes no lock.
//
// How arguments are accepted, per parameter of the description. The
// runtime's DispInvoke accepts the same, except two things scripts pass all
// the time, which it refuses (DISP_E_TYPEMISMATCH, under Wine): a variable
// by reference (VT_VARIANT | VT_BYREF) for a typed out value, and a left-out
// error ID. Refusing them would fail every VBScript call that passes its
// error-ID variable.
//  - Every argument may come wrapped as VT_VARIANT | VT_BYREF (one level);
//    out values then go back into the caller's VARIANT, which takes the
//    type of the parameter (VT_I4, VT_BSTR, VT_DISPATCH, ...).
//  - In values and texts (LONG, ULONG, LONGLONG, VARIANT_BOOL, DATE, BSTR):
//    any scalar kind, by value or VT_BYREF, converted with
//    VariantChangeType as the type library's dispatch converts it: a
//    number becomes its decimal text, a boolean "-1"/"0"; a numeric text
//    ("5", " 12 ", "2.5") becomes a number, a date text
//    ("2010-11-11 10:00:00") a date; reals round half to even; VT_EMPTY is
//    0, false or ""; VT_NULL, a text that is no number and a value out of
//    range give DISP_E_TYPEMISMATCH or DISP_E_OVERFLOW. A VT_BSTR argument
//    for a text is the caller's BSTR itself, never a copy.
//  - In interfaces (IXxx*): VT_DISPATCH or VT_UNKNOWN (also VT_BYREF),
//    NULL and VT_EMPTY giving NULL; the pointer is QueryInterface'd to the
//    parameter's interface, and an object without it is a type mismatch.
//  - In records (tagXxx*): VT_RECORD or VT_RECORD | VT_BYREF whose record
//    info names the same record type (by GUID); the method reads the
//    caller's record in place.
//  - GUID*: VT_CLSID | VT_BYREF, or a text "{xxxxxxxx-xxxx-...}" (VT_BSTR)
//    parsed with IIDFromString.
//  - USHORT* (a caller's text buffer): VT_UI2 | VT_BYREF, pointing at the
//    buffer itself. A raw address means something only inside the caller's
//    process; there is no array form.
//  - Out and in/out pointers (LONG*, LONGLONG*, VARIANT_BOOL*, BSTR*,
//    IXxx**, void**, SAFEARRAY** of records): the matching VT_BYREF type
//    points at the caller's storage, which the method writes directly. A
//    plain (not VT_BYREF) value of a number or text kind is accepted as a
//    value: the method writes a temporary that is then dropped; a
//    reference to another type is a type mismatch. In/out and out records take
//    a VT_RECORD (or VT_RECORD | VT_BYREF) whose pvRecord is the caller's
//    storage, the usual convention for records.
//  - A missing argument (VT_ERROR with DISP_E_PARAMNOTFOUND) or VT_EMPTY
//    for any pointer parameter passes NULL, as a C++ caller passing NULL
//    would: plErrorID may be NULL; other pointers get the method's own
//    E_INVALIDARG. A missing value argument is DISP_E_PARAMNOTOPTIONAL.
//  - The RetVal parameter is not an argument: the frame provides its
//    storage (a new zeroed record for records) and Finish moves it into
//    *pVarResult when the call succeeded (VT_I4, VT_BOOL, VT_BSTR,
//    VT_RECORD owning a record with its IRecordInfo, VT_ARRAY | VT_RECORD
//    owning the array, VT_DISPATCH, VT_UNKNOWN). A failed call returns no
//    value; out values written through pointers stay what the method wrote.
#pragma once

#include <array>
#include <cstddef>

#include "platform/type_description.h"
#include "platform/unknown.h"
#include "platform/variant.h"

namespace calyra {

// What the method receives for one parameter.
enum class SlotKind : BYTE {
    Long,      // LONG or a 32-bit enumeration, by value
    ULong,     // ULONG by value
    LongLong,  // LONGLONG by value
    Bool,      // VARIANT_BOOL by value
    Date,      // DATE by value
    Bstr,      // BSTR by value
    Pointer,   // any pointer: interface in, or a VT_BYREF parameter
    Unsupported,
};

// The slot kind a described parameter needs; Unsupported for a type the
// frame cannot serve.
SlotKind DispatchSlotKindOf(const ParamDesc& param);

class DispatchFrame {
public:
    // Parameters a method may have, plErrorID included.
    static constexpr size_t kMaxParams = 16;

    explicit DispatchFrame(const MethodDesc& method) noexcept;
    ~DispatchFrame();
    DispatchFrame(const DispatchFrame&) = delete;
    DispatchFrame& operator=(const DispatchFrame&) = delete;

    // The number of arguments a caller passes (the parameters but RetVal).
    static UINT ArgumentCount(const MethodDesc& method);

    // Converts the arguments. DISP_E_BADPARAMCOUNT for a wrong count; for a
    // bad argument DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW or
    // DISP_E_PARAMNOTOPTIONAL with *puArgErr (when given) set to its index
    // in rgvarg; DISP_E_BADVARTYPE for a description the frame cannot serve;
    // E_OUTOFMEMORY. After a failure the frame holds nothing the caller
    // needs; its destructor frees what was made.
    HRESULT Load(const DISPPARAMS& params, UINT* puArgErr);

    // After the call returned hrCall: hands out values back to the caller's
    // VARIANTs and, when hrCall succeeded and pVarResult is given, the return
    // value into *pVarResult (which must be empty); frees the rest.
    void Finish(HRESULT hrCall, VARIANT* pVarResult);

    size_t size() const { return m_count; }
    SlotKind kind(size_t i) const { return m_slots[i].kind; }
    // The converted value of a by-value slot.
    const VARIANT& value(size_t i) const { return m_slots[i].value; }
    // The pointer of a Pointer slot.
    void* pointer(size_t i) const { return m_slots[i].pointer; }

private:
    struct Slot {
        const ParamDesc* param = nullptr;
        SlotKind kind = SlotKind::Unsupported;
        VARIANT value{};               // by-value argument, or storage the method writes
        bool ownsValue = false;        // value holds something of ours to free or hand out
        void* pointer = nullptr;       // what a Pointer slot passes
        VARIANT* writeBack = nullptr;  // the caller's VARIANT that receives value
        IUnknown* held = nullptr;      // our reference to an interface argument
        GUID guid{};                   // a GUID parsed from text
    };

    HRESULT LoadSlot(Slot& slot, VARIANT* arg);
    HRESULT LoadValue(Slot& slot, VARIANT* arg);
    HRESULT LoadInterface(Slot& slot, VARIANT* arg);
    HRESULT LoadPointer(Slot& slot, VARIANT* arg);
    HRESULT LoadRecordPointer(Slot& slot, VARIANT* arg, VARIANT* wrapped);
    HRESULT LoadRetVal(Slot& slot);
    void Release(Slot& slot);

    const MethodDesc& m_method;
    size_t m_count = 0;
    bool m_loaded = false;
    std::array<Slot, kMaxParams> m_slots{};
};

}  // namespace calyra
