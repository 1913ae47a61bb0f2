// The data access base.
#include "core/pim_data_access.h"

#include <cstring>
#include <mutex>
#include <new>

#include "core/row_fields.h"
#include "core/trace.h"
#include "platform/com_ptr.h"
#include "platform/type_lib.h"

namespace calyra {

// The connection may live in another apartment (the podcast class is
// apartment-threaded, the connection free-threaded): through its proxy an
// [in, out] or out pointer must not be NULL, so calls that report nowhere
// pass an error ID of their own, which nobody reads.

ResultSet::ResultSet(IPimDbAccess* db, LONG* plErrorID, BSTR sql) : m_db(db) {
    LONG ignored = 0;
    m_hr = db->Query(plErrorID ? plErrorID : &ignored, sql, &m_rows, &m_columns, &m_vm);
}

ResultSet::~ResultSet() {
    LONG ignored = 0;
    m_db->FreeResultset(&ignored, &m_vm);
}

void ResultSet::Next() {
    LONG ignored = 0;
    m_db->NextRow(&ignored, &m_vm);
}

RowCursor::RowCursor(IPimDbRows* rows, IPimDbAccess* db, LONG* plErrorID, BSTR sql)
    : m_rows(rows), m_db(db), m_plErrorID(plErrorID) {
    m_hr = rows->OpenRows(plErrorID, sql, &m_vm);
}

RowCursor::~RowCursor() {
    LONG ignored = 0;
    m_db->FreeResultset(&ignored, &m_vm);
}

CPimDataAccess::CPimDataAccess() {
    InitializeCriticalSection(&m_csAccess);
    SendTrace("CPimDataAccess::CPimDataAccess.[ENTER]");
    m_pwszBuffer = new (std::nothrow) OLECHAR[kScratchUnits]();
    if (!m_pwszBuffer) SendTrace("CPimDataAccess::CPimDataAccess.[m_pwszBuffer == NULL]");
}

CPimDataAccess::~CPimDataAccess() {
    SendTrace("CPimDataAccess::~CPimDataAccess.[ENTER]");
    if (m_pPimDbAccess) m_pPimDbAccess->Release();
    delete[] m_pwszBuffer;
    DeleteCriticalSection(&m_csAccess);
}

HRESULT CPimDataAccess::SetPimDbAccessImpl(LONG* plErrorID, IPimDbAccess* pPimDbAccess) {
    CriticalSectionLock lock(m_csAccess);
    if (!pPimDbAccess) return InvalidArgument(plErrorID);
    if (pPimDbAccess == m_pPimDbAccess) return S_OK;
    pPimDbAccess->AddRef();
    if (m_pPimDbAccess) m_pPimDbAccess->Release();
    m_pPimDbAccess = pPimDbAccess;
    // Our own connection also reads rows as they are stepped. The interface
    // is the same object's, kept alive by the reference just taken.
    m_pPimDbRows = nullptr;
    void* rows = nullptr;
    if (SUCCEEDED(pPimDbAccess->QueryInterface(IID_IPimDbRows, &rows)) && rows) {
        m_pPimDbRows = static_cast<IPimDbRows*>(rows);
        m_pPimDbRows->Release();
    }
    return S_OK;
}

HRESULT CPimDataAccess::ExecuteFollowUp(const SqlText& sql) {
    if (!m_pPimDbAccess) return E_POINTER;
    LONG ignored = 0;
    Bstr id;
    return m_pPimDbAccess->Execute(&ignored, sql.ToBstr(), &id);
}

HRESULT CPimDataAccess::ExistRecord(LONG* plErrorID, BSTR bstrID, VARIANT_BOOL* pvbFound, Sql selectHead) {
    if (IsEmpty(bstrID) || !pvbFound) return InvalidArgument(plErrorID);
    *pvbFound = VARIANT_FALSE;
    CriticalSectionLock lock(m_csAccess);
    if (!m_pPimDbAccess) return ReportPimError(plErrorID, PIMERR_NOT_CONNECTED, E_POINTER);
    ResultSet rs(m_pPimDbAccess, nullptr, QuotedStatement(selectHead, bstrID, u"';").ToBstr());
    if (!rs.ok()) return E_UNEXPECTED;
    if (rs.rows() > 0) *pvbFound = VARIANT_TRUE;
    return S_OK;
}

const OLECHAR* CPimDataAccess::FetchField(LONGLONG* pVM, LONG column) {
    if (!m_pwszBuffer) return nullptr;
    LONG ignored = 0;
    m_pPimDbAccess->GetFieldValue(&ignored, pVM, column, reinterpret_cast<USHORT*>(m_pwszBuffer), kScratchUnits);
    return m_pwszBuffer;
}

bool CPimDataAccess::ReadRow(void* record, size_t recordSize, LONGLONG* pVM, std::span<const FieldMap> fields) {
    if (!record || !pVM || *pVM == 0) return false;
    std::memset(record, 0, recordSize);
    // Without a scratch buffer there is no field text at all, and every
    // field takes its fallback.
    for (size_t column = 0; column < fields.size(); ++column)
        StoreFieldText(record, fields[column], FetchField(pVM, static_cast<LONG>(column)));
    return true;
}

void CPimDataAccess::StoreRow(void* record, size_t recordSize, const char* const* texts, const LONG* bytes,
                              LONG columns, std::span<const FieldMap> fields) {
    std::memset(record, 0, recordSize);
    for (size_t column = 0; column < fields.size(); ++column) {
        if (static_cast<LONG>(column) < columns)
            StoreFieldUtf8(record, fields[column], texts[column], static_cast<size_t>(bytes[column]), m_pwszBuffer,
                           kScratchUnits);
        else
            StoreFieldText(record, fields[column], AsOle(u""));  // a column the query lacks reads as empty text
    }
}

HRESULT CPimDataAccess::CreateRecordArray(SAFEARRAY** ppsa, const GUID& recordType, ULONG count) {
    *ppsa = nullptr;
    // Inside the component the library is always available; outside
    // callers load it the same way through the registry.
    static std::once_flag registered;
    std::call_once(registered, [] { RegisterTypeLibDescription(&CalyraTypeLibDescription()); });

    ComPtr<ITypeLib> typeLib;
    HRESULT hr = LoadRegTypeLib(LIBID_CalyraLib, 1, 0, LOCALE_USER_DEFAULT, &typeLib);
    if (FAILED(hr)) return hr;
    ComPtr<ITypeInfo> typeInfo;
    hr = typeLib->GetTypeInfoOfGuid(recordType, &typeInfo);
    if (FAILED(hr)) return hr;
    ComPtr<IRecordInfo> recordInfo;
    hr = GetRecordInfoFromTypeInfo(typeInfo.get(), &recordInfo);
    if (FAILED(hr)) return hr;
    SAFEARRAY* array = SafeArrayCreateVectorEx(VT_RECORD, 0, count, recordInfo.get());
    if (!array) return E_OUTOFMEMORY;
    *ppsa = array;  // the array keeps its own reference to the record info
    return S_OK;
}

}  // namespace calyra
