// The error-report library: one call that turns an error record into the
// caller's error ID.
//
// It lives in its own shared library. ReportError stores lErrorCode through a
// non-NULL plErrorID and ignores a NULL one; it reads nothing else and keeps
// nothing. Thread-safe.
#pragma once

#include "platform/types.h"

struct ErrorRecord {
    LONG lErrorCode;
    LONG lReserved;
    BSTR bstrInfo1;
    BSTR bstrInfo2;
    BSTR bstrInfo3;
    BSTR bstrInfo4;
    BSTR bstrInfo5;
    BSTR bstrInfo6;
};

extern "C" LONG ReportError(LONG* plErrorID, ErrorRecord* pRecord);
