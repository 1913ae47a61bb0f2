// SAFEARRAY: the automation array, here used mostly for arrays of records.
//
// Every descriptor carries a 16-byte hidden area just before it, laid out as
// on Windows: a record array (FADF_RECORD) keeps its IRecordInfo* in the
// last pointer-sized slot, an interface array (FADF_HAVEIID) its IID in all
// sixteen bytes, any other typed array (FADF_HAVEVARTYPE) its VARTYPE in the
// last four. Only the ...Ex creators make record arrays.
//
// Ownership: the array owns its elements and one reference to its record
// info. SafeArrayDestroy clears every element (records through
// IRecordInfo::RecordClear, so BSTR fields are freed and nested records
// cleared; BSTRs freed, interfaces released, VARIANTs cleared), frees the
// data and the descriptor and releases the record info. It refuses an array
// whose data is still locked or accessed.
//
// Dimensions: SafeArrayGetLBound/GetUBound number them from 1 in the order
// the bounds were given at creation; index vectors (SafeArrayPtrOfIndex)
// list one index per dimension in that same order, and the first dimension
// varies fastest in memory. The descriptor's own rgsabound holds the bounds
// in reverse order, as on Windows.
//
// Thread-safety: the lock count changes atomically, so several threads may
// lock and access one array at the same time; creating, destroying and
// writing elements is the single owner's business.
#pragma once

#include "platform/guid.h"
#include "platform/hresult.h"
#include "platform/types.h"

#ifdef _WIN32
#include "platform/windows_sdk.h"
#else
struct IRecordInfo;

struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};

struct SAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    void* pvData;
    SAFEARRAYBOUND rgsabound[1];
};

constexpr USHORT FADF_AUTO = 0x0001;
constexpr USHORT FADF_STATIC = 0x0002;
constexpr USHORT FADF_EMBEDDED = 0x0004;
constexpr USHORT FADF_FIXEDSIZE = 0x0010;
constexpr USHORT FADF_RECORD = 0x0020;
constexpr USHORT FADF_HAVEIID = 0x0040;
constexpr USHORT FADF_HAVEVARTYPE = 0x0080;
constexpr USHORT FADF_BSTR = 0x0100;
constexpr USHORT FADF_UNKNOWN = 0x0200;
constexpr USHORT FADF_DISPATCH = 0x0400;
constexpr USHORT FADF_VARIANT = 0x0800;

extern "C" {
// Element types: VT_RECORD (only through the ...Ex creators, pvExtra the
// IRecordInfo*, to which the array adds a reference), VT_UNKNOWN and
// VT_DISPATCH (pvExtra an optional IID*), and the plain types VT_I1, VT_UI1,
// VT_I2, VT_UI2, VT_BOOL, VT_I4, VT_UI4, VT_INT, VT_UINT, VT_ERROR, VT_R4,
// VT_R8, VT_CY, VT_DATE, VT_I8, VT_UI8, VT_BSTR and VT_VARIANT. Elements
// start zeroed. NULL for any other type, for no dimensions, for a missing
// record info, for a total size that overflows, for bounds whose upper end
// does not fit a LONG, and when memory runs out. Zero elements make an
// empty array, not NULL.
SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound);
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
SAFEARRAY* SafeArrayCreateEx(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound, void* pvExtra);
SAFEARRAY* SafeArrayCreateVectorEx(VARTYPE vt, LONG lLbound, ULONG cElements, void* pvExtra);
// NULL gives S_OK; a locked array gives DISP_E_ARRAYISLOCKED and stays whole.
HRESULT SafeArrayDestroy(SAFEARRAY* psa);
// AccessData locks the array and hands out its data; UnaccessData unlocks.
// Unlocking an unlocked array gives E_UNEXPECTED.
HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
HRESULT SafeArrayUnaccessData(SAFEARRAY* psa);
HRESULT SafeArrayLock(SAFEARRAY* psa);
HRESULT SafeArrayUnlock(SAFEARRAY* psa);
UINT SafeArrayGetDim(SAFEARRAY* psa);
UINT SafeArrayGetElemsize(SAFEARRAY* psa);
// nDim counts from 1; DISP_E_BADINDEX outside 1..cDims.
HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);
HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt);
// Hands out an added reference; E_INVALIDARG for an array of another kind.
HRESULT SafeArrayGetRecordInfo(SAFEARRAY* psa, IRecordInfo** prinfo);
// The interface identifier of a VT_UNKNOWN/VT_DISPATCH array.
HRESULT SafeArrayGetIID(SAFEARRAY* psa, GUID* pguid);
// The address of one element; DISP_E_BADINDEX when an index is out of bounds.
HRESULT SafeArrayPtrOfIndex(SAFEARRAY* psa, LONG* rgIndices, void** ppvData);
}
#endif  // _WIN32
