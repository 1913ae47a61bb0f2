// The checks every interface operation makes on its arguments before it
// takes a lock: IsEmpty for required texts and InvalidArgument for the
// failure they all report.
//
// Nothing is owned or kept; both are safe on any thread.
#pragma once

#include "core/pim_error.h"
#include "platform/bstr.h"

namespace calyra {

// A required text is missing: a NULL BSTR counts as the empty text.
inline bool IsEmpty(BSTR text) { return SysStringLen(text) == 0; }

// Reports 0x5002 PIMERR_INVALID_ARGUMENT through the caller's error-ID
// pointer and returns E_INVALIDARG.
inline HRESULT InvalidArgument(LONG* plErrorID) {
    return ReportPimError(plErrorID, PIMERR_INVALID_ARGUMENT, E_INVALIDARG);
}

}  // namespace calyra
