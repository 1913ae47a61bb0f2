// Error records for the error-report library.
#include "core/pim_error.h"

#include <cstring>

#include "errorreport/error_report.h"

namespace calyra {

HRESULT ReportPimError(LONG* plErrorID, LONG lErrorCode, HRESULT hr) {
    ErrorRecord record;
    std::memset(&record, 0, sizeof(record));
    record.lErrorCode = lErrorCode;
    record.lReserved = 0;
    // The record never carries text: allocating a NULL string yields NULL.
    record.bstrInfo1 = SysAllocString(nullptr);
    record.bstrInfo2 = SysAllocString(nullptr);
    record.bstrInfo3 = SysAllocString(nullptr);
    record.bstrInfo4 = SysAllocString(nullptr);
    record.bstrInfo5 = SysAllocString(nullptr);
    record.bstrInfo6 = SysAllocString(nullptr);
    ReportError(plErrorID, &record);
    return hr;
}

}  // namespace calyra
