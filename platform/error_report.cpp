// The error-report library.
#include "platform/error_report.h"

extern "C" __attribute__((visibility("default"))) LONG ReportError(LONG* plErrorID, ErrorRecord* pRecord) {
    if (plErrorID && pRecord) *plErrorID = pRecord->lErrorCode;
    return 0;
}
