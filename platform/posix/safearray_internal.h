// The hidden area in front of every SAFEARRAY descriptor, reached only
// through the named accessors below.
//
// The area is 16 bytes, allocated in one block with the descriptor, and is
// laid out as on Windows so that a descriptor looks the same to code that
// reads it directly: the IRecordInfo* of a FADF_RECORD array sits in the
// pointer-sized slot just before the descriptor, the IID of a FADF_HAVEIID
// array fills all sixteen bytes, and the VARTYPE of a FADF_HAVEVARTYPE
// array sits in the four bytes just before the descriptor. The accessors
// neither add nor drop references; the array's owner guards the area like
// the rest of the descriptor. Only safearray.cpp and its tests include this.
#pragma once

#include <cstring>

#include "platform/guid.h"
#include "platform/safearray.h"
#include "platform/types.h"

namespace calyra::safearray_internal {

constexpr size_t kHiddenAreaSize = 16;
static_assert(sizeof(GUID) == kHiddenAreaSize);
static_assert(sizeof(IRecordInfo*) <= kHiddenAreaSize);

inline BYTE* HiddenArea(SAFEARRAY* psa) { return reinterpret_cast<BYTE*>(psa) - kHiddenAreaSize; }
inline const BYTE* HiddenArea(const SAFEARRAY* psa) { return reinterpret_cast<const BYTE*>(psa) - kHiddenAreaSize; }

inline IRecordInfo* HiddenRecordInfo(const SAFEARRAY* psa) {
    IRecordInfo* info;
    std::memcpy(&info, reinterpret_cast<const BYTE*>(psa) - sizeof(info), sizeof(info));
    return info;
}
inline void SetHiddenRecordInfo(SAFEARRAY* psa, IRecordInfo* info) {
    std::memcpy(reinterpret_cast<BYTE*>(psa) - sizeof(info), &info, sizeof(info));
}

inline VARTYPE HiddenVartype(const SAFEARRAY* psa) {
    DWORD vt;
    std::memcpy(&vt, reinterpret_cast<const BYTE*>(psa) - sizeof(vt), sizeof(vt));
    return static_cast<VARTYPE>(vt);
}
inline void SetHiddenVartype(SAFEARRAY* psa, VARTYPE vt) {
    DWORD stored = vt;
    std::memcpy(reinterpret_cast<BYTE*>(psa) - sizeof(stored), &stored, sizeof(stored));
}

inline GUID HiddenIid(const SAFEARRAY* psa) {
    GUID iid;
    std::memcpy(&iid, HiddenArea(psa), sizeof(iid));
    return iid;
}
inline void SetHiddenIid(SAFEARRAY* psa, const GUID& iid) { std::memcpy(HiddenArea(psa), &iid, sizeof(iid)); }

}  // namespace calyra::safearray_internal
