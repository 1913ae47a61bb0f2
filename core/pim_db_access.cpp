// The connection object over the database engine library.
#include "core/pim_db_access.h"

#include <cstdint>
#include <cstring>

#include "core/argument_checks.h"
#include "core/pim_error.h"
#include "core/trace.h"
#include "engine/engine.h"
#include "platform/bstr.h"
#include "tables/value_conversions.h"

extern "C" const IID IID_IPimDbRows = {0xD5AA2EE1, 0xB6A3, 0x44C4, {0x8C, 0xDF, 0xC3, 0x96, 0x02, 0xAF, 0x2C, 0x1C}};

namespace calyra {
namespace {

// The engine reads texts up to their first zero unit. A text with a zero
// unit inside would reach the engine cut short, so such a text is treated
// as one the engine cannot run rather than silently shortened.
bool HasEmbeddedZero(BSTR text) {
    // Four units at a time within the text's own length: every statement
    // passes here.
    const UINT n = SysStringLen(text);
    UINT i = 0;
    for (; i + 4 <= n; i += 4) {
        std::uint64_t units;
        std::memcpy(&units, text + i, sizeof units);
        if ((units - 0x0001000100010001ULL) & ~units & 0x8000800080008000ULL) return true;
    }
    for (; i < n; ++i)
        if (text[i] == 0) return true;
    return false;
}

}  // namespace

CPimDbAccess::CPimDbAccess() {
    InitializeCriticalSection(&m_csDb);
    SendTrace("CPimDbAccess::CPimDbAccess.[ENTER]");
}

CPimDbAccess::~CPimDbAccess() {
    SendTrace("CPimDbAccess::~CPimDbAccess.[ENTER]");
    DeleteCriticalSection(&m_csDb);
}

HRESULT CPimDbAccess::FinalConstruct() {
    SendTrace("CPimDbAccess::FinalConstruct.[ENTER]");
    IUnknown* controlling = m_pOuterUnknown ? m_pOuterUnknown : static_cast<IPimDbAccess*>(this);
    return m_marshaler.Create(controlling);
}

void CPimDbAccess::FinalRelease() { SendTrace("CPimDbAccess::FinalRelease.[ENTER]"); }

HRESULT CPimDbAccess::_InternalQueryInterface(REFIID riid, void** ppv) {
    if (m_marshaler.Answer(riid, ppv)) return S_OK;
    if (ppv && IsEqualIID(riid, IID_IPimDbRows)) {
        IPimDbRows* rows = this;
        rows->AddRef();
        *ppv = rows;
        return S_OK;
    }
    return IDispatchImpl<IPimDbAccess>::_InternalQueryInterface(riid, ppv);
}

STDMETHODIMP CPimDbAccess::OpenPimDatabase(LONG* plErrorID, BSTR /*bstrUser*/, BSTR /*bstrPwd*/, BSTR bstrDbFile) {
    SendTrace("CPimDbAccess::OpenPimDatabase.[ENTER]");
    if (IsEmpty(bstrDbFile)) return ReportPimError(plErrorID, PIMERR_INVALID_ARGUMENT, E_INVALIDARG);

    CriticalSectionLock lock(m_csDb);
    // A second open replaces the handle without closing the first one.
    m_lDbHandle = HasEmbeddedZero(bstrDbFile) ? -1 : DbOpen(bstrDbFile);
    if (m_lDbHandle == -1) {
        ReportPimError(plErrorID, PIMERR_OPEN_FAILED, E_FAIL);
        SendTrace("CPimDbAccess::OpenPimDatabase.[FAIL]");
        return E_FAIL;
    }
    SendTrace("CPimDbAccess::OpenPimDatabase.[Success]");
    return S_OK;
}

STDMETHODIMP CPimDbAccess::ClosePimDatabase(LONG* /*plErrorID*/) {
    CriticalSectionLock lock(m_csDb);
    DbClose(m_lDbHandle);
    m_lDbHandle = -1;
    return S_OK;
}

STDMETHODIMP CPimDbAccess::IsOpenPimDatabase(LONG* plErrorID, VARIANT_BOOL* pvbOpen) {
    if (!pvbOpen) return ReportPimError(plErrorID, PIMERR_INVALID_ARGUMENT, E_INVALIDARG);
    CriticalSectionLock lock(m_csDb);
    *pvbOpen = IsOpen() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP CPimDbAccess::Execute(LONG* plErrorID, BSTR bstrSQL, BSTR* pbstrID) {
    if (IsEmpty(bstrSQL)) return ReportPimError(plErrorID, PIMERR_INVALID_ARGUMENT, E_INVALIDARG);

    CriticalSectionLock lock(m_csDb);
    if (!IsOpen()) return ReportPimError(plErrorID, PIMERR_NOT_CONNECTED, E_UNEXPECTED);

    LONGLONG rowId = 0;
    LONG result = HasEmbeddedZero(bstrSQL) ? -1 : DbExecute(m_lDbHandle, bstrSQL, pbstrID ? &rowId : nullptr);
    if (result == -1) return ReportPimError(plErrorID, PIMERR_EXECUTE_FAILED, E_FAIL);
    if (pbstrID) {
        // Record IDs cross the interfaces as the signed decimal text of the
        // key's low 32 bits.
        OLECHAR text[kValueTextUnits];
        LongToText(static_cast<LONG>(rowId), text, kValueTextUnits);
        BSTR id = SysAllocString(text);
        if (!id) throw OutOfMemory{};
        *pbstrID = id;  // an earlier value is the caller's to free
    }
    return S_OK;
}

STDMETHODIMP CPimDbAccess::Query(LONG* plErrorID, BSTR bstrSQL, LONG* plRow, LONG* plColumn, LONGLONG* pVM) {
    if (IsEmpty(bstrSQL) || !plRow || !plColumn || !pVM)
        return ReportPimError(plErrorID, PIMERR_INVALID_ARGUMENT, E_INVALIDARG);

    CriticalSectionLock lock(m_csDb);
    if (!IsOpen()) return ReportPimError(plErrorID, PIMERR_NOT_CONNECTED, E_UNEXPECTED);

    *pVM = 0;
    LONG result = HasEmbeddedZero(bstrSQL) ? -1 : DbQuery(m_lDbHandle, bstrSQL, plRow, plColumn, pVM);
    if (result == -1) return ReportPimError(plErrorID, PIMERR_QUERY_FAILED, E_FAIL);
    return S_OK;
}

STDMETHODIMP CPimDbAccess::Reset(LONG* plErrorID, LONGLONG* pVM) {
    if (!pVM) return ReportPimError(plErrorID, PIMERR_INVALID_ARGUMENT, E_INVALIDARG);
    CriticalSectionLock lock(m_csDb);
    if (!IsOpen()) return ReportPimError(plErrorID, PIMERR_NOT_CONNECTED, E_UNEXPECTED);
    if (DbReset(m_lDbHandle, pVM) != 0) return ReportPimError(plErrorID, PIMERR_UNEXPECTED, E_UNEXPECTED);
    return S_OK;
}

STDMETHODIMP CPimDbAccess::IsEOF(LONG* plErrorID, LONGLONG* pVM, VARIANT_BOOL* pvbEOF) {
    if (!pVM || !pvbEOF) return ReportPimError(plErrorID, PIMERR_INVALID_ARGUMENT, E_INVALIDARG);
    CriticalSectionLock lock(m_csDb);
    if (!IsOpen()) return ReportPimError(plErrorID, PIMERR_NOT_CONNECTED, E_UNEXPECTED);
    *pvbEOF = DbIsEOF(m_lDbHandle, pVM) ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP CPimDbAccess::NextRow(LONG* plErrorID, LONGLONG* pVM) {
    if (!pVM) return ReportPimError(plErrorID, PIMERR_INVALID_ARGUMENT, E_INVALIDARG);
    CriticalSectionLock lock(m_csDb);
    if (!IsOpen()) return ReportPimError(plErrorID, PIMERR_NOT_CONNECTED, E_UNEXPECTED);
    if (DbNextRow(m_lDbHandle, pVM) != 0) return ReportPimError(plErrorID, PIMERR_UNEXPECTED, E_UNEXPECTED);
    return S_OK;
}

STDMETHODIMP CPimDbAccess::GetFieldValue(LONG* plErrorID, LONGLONG* pVM, LONG lField, USHORT* lpszFieldValue,
                                         ULONG lSize) {
    if (!pVM || !lpszFieldValue) return ReportPimError(plErrorID, PIMERR_INVALID_ARGUMENT, E_INVALIDARG);
    CriticalSectionLock lock(m_csDb);
    if (!IsOpen()) return ReportPimError(plErrorID, PIMERR_NOT_CONNECTED, E_UNEXPECTED);

    const OLECHAR* text = DbGetFieldValue(m_lDbHandle, pVM, lField);
    if (lSize == 0) return S_OK;
    // The whole buffer ends up cleared but for the text: longer texts are
    // cut to lSize - 1 units, never reported. Only the units after the text
    // are cleared, since the text overwrites the rest anyway.
    size_t n = 0;
    for (; n + 1 < lSize && text[n] != 0; ++n) lpszFieldValue[n] = static_cast<USHORT>(text[n]);
    std::memset(lpszFieldValue + n, 0, (static_cast<size_t>(lSize) - n) * sizeof(USHORT));
    return S_OK;
}

STDMETHODIMP CPimDbAccess::FreeResultset(LONG* plErrorID, LONGLONG* pVM) {
    if (!pVM) return ReportPimError(plErrorID, PIMERR_INVALID_ARGUMENT, E_INVALIDARG);
    CriticalSectionLock lock(m_csDb);
    if (!IsOpen()) return ReportPimError(plErrorID, PIMERR_NOT_CONNECTED, E_UNEXPECTED);
    if (DbFreeResultset(m_lDbHandle, pVM) == -1) return ReportPimError(plErrorID, PIMERR_FREE_FAILED, E_FAIL);
    return S_OK;
}

STDMETHODIMP CPimDbAccess::OpenRows(LONG* plErrorID, BSTR bstrSQL, LONGLONG* pVM) {
    if (IsEmpty(bstrSQL) || !pVM) return ReportPimError(plErrorID, PIMERR_INVALID_ARGUMENT, E_INVALIDARG);

    CriticalSectionLock lock(m_csDb);
    if (!IsOpen()) return ReportPimError(plErrorID, PIMERR_NOT_CONNECTED, E_UNEXPECTED);

    *pVM = 0;
    LONG columns = 0;
    LONG result = HasEmbeddedZero(bstrSQL) ? -1 : DbOpenCursor(m_lDbHandle, bstrSQL, &columns, pVM);
    if (result == -1) return ReportPimError(plErrorID, PIMERR_QUERY_FAILED, E_FAIL);
    return S_OK;
}

STDMETHODIMP CPimDbAccess::ReadRows(LONG* plErrorID, LONGLONG* pVM, LONG lMaxRows, DbRowSink sink, void* context,
                                    LONG* plRead) {
    if (!pVM || !sink || !plRead) return ReportPimError(plErrorID, PIMERR_INVALID_ARGUMENT, E_INVALIDARG);
    *plRead = 0;
    CriticalSectionLock lock(m_csDb);
    if (!IsOpen()) return ReportPimError(plErrorID, PIMERR_NOT_CONNECTED, E_UNEXPECTED);
    LONG read = DbReadCursor(m_lDbHandle, pVM, lMaxRows, sink, context);
    if (read < 0) return ReportPimError(plErrorID, PIMERR_QUERY_FAILED, E_FAIL);
    *plRead = read;
    return S_OK;
}

}  // namespace calyra
