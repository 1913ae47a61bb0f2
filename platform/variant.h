// VARIANT, DISPPARAMS and EXCEPINFO: the automation argument types.
//
// A VARIANT owns what it holds (BSTR, interface, array, record) unless it is a
// VT_BYREF form, which points into the caller's storage. VariantClear frees.
// VariantChangeType converts between the scalar kinds the way automation
// dispatch converts a caller's argument to the declared type; what it puts
// in the destination is the destination's. Stateless, thread-safe.
#pragma once

#include "platform/guid.h"
#include "platform/types.h"

#ifdef _WIN32
#include "platform/windows_sdk.h"
#else
struct IUnknown;
struct IDispatch;
struct IRecordInfo;
struct SAFEARRAY;

enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_VOID = 24,
    VT_HRESULT = 25,
    VT_PTR = 26,
    VT_SAFEARRAY = 27,
    VT_CARRAY = 28,
    VT_USERDEFINED = 29,
    VT_LPSTR = 30,
    VT_LPWSTR = 31,
    VT_RECORD = 36,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_TYPEMASK = 0x0fff,
};

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        float fltVal;
        double dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        SAFEARRAY* parray;
        BYTE* pbVal;
        SHORT* piVal;
        LONG* plVal;
        LONGLONG* pllVal;
        float* pfltVal;
        double* pdblVal;
        VARIANT_BOOL* pboolVal;
        SCODE* pscode;
        DATE* pdate;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        SAFEARRAY** pparray;
        VARIANT* pvarVal;
        void* byref;
        CHAR cVal;
        USHORT uiVal;
        ULONG ulVal;
        ULONGLONG ullVal;
        INT intVal;
        UINT uintVal;
        struct {
            void* pvRecord;
            IRecordInfo* pRecInfo;
        };  // unnamed, as on Windows: v.pvRecord, v.pRecInfo
    };
};
using VARIANTARG = VARIANT;
static_assert(sizeof(VARIANT) == 8 + 2 * sizeof(void*));

struct DISPPARAMS {
    VARIANTARG* rgvarg;  // arguments in reverse order
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
};

struct EXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    void* pvReserved;
    HRESULT(STDAPICALLTYPE* pfnDeferredFillIn)(EXCEPINFO*);
    SCODE scode;
};

constexpr DISPID DISPID_UNKNOWN = -1;
constexpr DISPID DISPID_VALUE = 0;
constexpr DISPID DISPID_PROPERTYPUT = -3;

constexpr WORD DISPATCH_METHOD = 0x1;
constexpr WORD DISPATCH_PROPERTYGET = 0x2;
constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;

// VariantChangeType flags; only VARIANT_ALPHABOOL changes anything here.
constexpr USHORT VARIANT_NOVALUEPROP = 0x01;
constexpr USHORT VARIANT_ALPHABOOL = 0x02;  // a boolean becomes "True"/"False", not "-1"/"0"

extern "C" {
void VariantInit(VARIANTARG* pvarg);
// Frees what the variant owns (BSTR, interface, array, record) and sets VT_EMPTY.
HRESULT VariantClear(VARIANTARG* pvarg);
// Converts *pvarSrc (by value or VT_BYREF, also VT_VARIANT | VT_BYREF) to
// `vt` into *pvargDest, which is cleared first and may be pvarSrc itself.
// Serves VT_EMPTY, VT_NULL, the integer kinds, VT_R4, VT_R8, VT_DATE,
// VT_BOOL and VT_BSTR; others give DISP_E_TYPEMISMATCH (DISP_E_BADVARTYPE
// for a type no VARIANT holds). Reals become integers rounded half to
// even; a value outside the target's range is DISP_E_OVERFLOW; a text
// that is no number (or date, or boolean word) is DISP_E_TYPEMISMATCH, as
// is VT_NULL to anything but itself. Texts are read and written as the
// English (United States) locale writes them, whatever the LCID: numbers
// with '.' and optional ',' grouping, dates M/D/YYYY h:mm:ss AM/PM, and
// also YYYY-MM-DD [hh:mm[:ss]] when read. On failure *pvargDest is left as
// it was.
HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags, VARTYPE vt);
HRESULT VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID lcid, USHORT wFlags, VARTYPE vt);
}
#endif  // _WIN32
