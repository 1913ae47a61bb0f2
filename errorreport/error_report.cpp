// The error-report library.
#include "errorreport/error_report.h"

#ifdef _WIN32
#define CALYRA_ERROR_REPORT_EXPORT  // error_report.def exports it by ordinal
#else
#define CALYRA_ERROR_REPORT_EXPORT __attribute__((visibility("default")))
#endif

extern "C" CALYRA_ERROR_REPORT_EXPORT LONG ReportError(LONG* plErrorID, ErrorRecord* pRecord) {
    if (plErrorID && pRecord) *plErrorID = pRecord->lErrorCode;
    return 0;
}
