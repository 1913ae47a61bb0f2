// CPimDbAccess: the connection object, the component's only way to the
// database file. It wraps one engine handle and turns the engine's
// handle-and-return-code calls into IPimDbAccess operations that report
// failures through the error-report library.
//
// Result sets live in 64-bit slots owned by the caller; the connection
// passes the slot's address to the engine. Thread-safety: every engine call
// runs under m_csDb, one call at a time; a caller running Query ...
// FreeResultset keeps its slot to itself. Releasing the object never closes
// the database; only ClosePimDatabase does. The component's own access
// objects also read rows through its internal IPimDbRows (pim_db_rows.h).
#pragma once

#include "comserver/free_threaded_marshaler.h"
#include "comserver/object_root.h"
#include "core/pim_db_rows.h"
#include "idl/calyra_idl.h"
#include "idl/typelib_dispatch.h"
#include "platform/system/critical_section.h"

namespace calyra {

class CPimDbAccess : public CComObjectRootEx<CComMultiThreadModel>,
                     public IDispatchImpl<IPimDbAccess>,
                     public IPimDbRows,
                     public CComCoClass<CPimDbAccess, &CLSID_PimDbAccess> {
public:
    CPimDbAccess();
    ~CPimDbAccess();
    CPimDbAccess(const CPimDbAccess&) = delete;
    CPimDbAccess& operator=(const CPimDbAccess&) = delete;

    HRESULT FinalConstruct();
    void FinalRelease();
    // The dual interface's answers, and IPimDbRows.
    HRESULT _InternalQueryInterface(REFIID riid, void** ppv);

    STDMETHODIMP OpenPimDatabase(LONG* plErrorID, BSTR bstrUser, BSTR bstrPwd, BSTR bstrDbFile) override;
    STDMETHODIMP ClosePimDatabase(LONG* plErrorID) override;
    STDMETHODIMP IsOpenPimDatabase(LONG* plErrorID, VARIANT_BOOL* pvbOpen) override;
    STDMETHODIMP Execute(LONG* plErrorID, BSTR bstrSQL, BSTR* pbstrID) override;
    STDMETHODIMP Query(LONG* plErrorID, BSTR bstrSQL, LONG* plRow, LONG* plColumn, LONGLONG* pVM) override;
    STDMETHODIMP Reset(LONG* plErrorID, LONGLONG* pVM) override;
    STDMETHODIMP IsEOF(LONG* plErrorID, LONGLONG* pVM, VARIANT_BOOL* pvbEOF) override;
    STDMETHODIMP NextRow(LONG* plErrorID, LONGLONG* pVM) override;
    STDMETHODIMP GetFieldValue(LONG* plErrorID, LONGLONG* pVM, LONG lField, USHORT* lpszFieldValue,
                               ULONG lSize) override;
    STDMETHODIMP FreeResultset(LONG* plErrorID, LONGLONG* pVM) override;

    STDMETHODIMP OpenRows(LONG* plErrorID, BSTR bstrSQL, LONGLONG* pVM) override;
    STDMETHODIMP ReadRows(LONG* plErrorID, LONGLONG* pVM, LONG lMaxRows, DbRowSink sink, void* context,
                          LONG* plRead) override;

private:
    // REQUIRES: m_csDb held.
    bool IsOpen() const { return m_lDbHandle >= 0; }

    LONG m_lDbHandle = -1;  // Guarded by m_csDb; -1 when no database is open.
    CRITICAL_SECTION m_csDb;
    // Another apartment gets this object itself, not a proxy: GetFieldValue
    // fills the caller's buffer in place, which no proxy can carry, and
    // m_csDb already serialises every call. Constant after FinalConstruct.
    FreeThreadedMarshaler m_marshaler;
};

}  // namespace calyra
