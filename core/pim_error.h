// Reporting a failure: fill an ErrorRecord and hand it, with the caller's
// error-ID pointer, to the error-report library.
//
// The record carries only the error ID: lReserved 0 and six NULL texts.
// plErrorID may be NULL (calls made from inside the component pass NULL).
// Stateless and thread-safe; call it while still holding the operation's
// lock, then release the lock and return the status.
#pragma once

#include "idl/calyra_idl.h"

namespace calyra {

// Reports lErrorCode through plErrorID and returns hr, so a failing
// operation reads `return ReportPimError(plErrorID, PIMERR_..., E_...);`.
HRESULT ReportPimError(LONG* plErrorID, LONG lErrorCode, HRESULT hr);

}  // namespace calyra
