// RecordingConnection: an IPimDbAccess that notes every statement it is
// handed and passes each call on to a real connection, so a test can check
// the exact texts a file receives, in order, and make chosen statements fail
// the way the connection reports failures.
//
//   auto recorder = RecordingConnection::Over(db.db());
//   contacts->SetPimDbAccess(nullptr, recorder.get());
//   ... ;
//   std::vector<RecordingConnection::Call> calls = recorder->TakeCalls();
//
// Ownership: Over hands out the recorder's only reference; the recorder
// holds one reference to the real connection. Thread-safety: any thread may
// call it (the log is guarded by a mutex); the real connection serialises
// its own calls.
#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "comserver/object_root.h"
#include "core/pim_error.h"
#include "idl/calyra_idl.h"
#include "platform/bstr.h"
#include "platform/com_ptr.h"

namespace calyra::test {

class RecordingConnection : public CComObjectRootEx<CComMultiThreadModel>, public IDispatchImpl<IPimDbAccess> {
public:
    struct Call {
        std::string kind;               // "Execute", "Query" or "FreeResultset" (then sql is empty)
        std::string sql;                // UTF-8
        bool withErrorID;               // an error-ID pointer came along
        bool withRowID = false;         // an Execute's pbstrID came along
        const LONG* errorID = nullptr;  // which one: the caller's, or the object's own
    };

    // A new recorder in front of `real`.
    static ComPtr<CComObject<RecordingConnection>> Over(IPimDbAccess* real) {
        CComObject<RecordingConnection>* raw = nullptr;
        CComObject<RecordingConnection>::CreateInstance(&raw);
        ComPtr<CComObject<RecordingConnection>> recorder(raw);
        static_cast<RecordingConnection*>(raw)->m_real = ComPtr<IPimDbAccess>(real);
        return recorder;
    }

    // Executes whose text contains `piece` fail (E_FAIL, PIMERR_EXECUTE_FAILED)
    // without reaching the real connection; an empty piece fails none.
    void FailExecutesContaining(std::string piece) {
        std::lock_guard lock(m_mutex);
        m_failPiece = std::move(piece);
    }
    // The calls so far, which are then forgotten.
    std::vector<Call> TakeCalls() {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_calls, {});
    }

    STDMETHODIMP OpenPimDatabase(LONG* e, BSTR user, BSTR pwd, BSTR file) override {
        return m_real->OpenPimDatabase(e, user, pwd, file);
    }
    STDMETHODIMP ClosePimDatabase(LONG* e) override { return m_real->ClosePimDatabase(e); }
    STDMETHODIMP IsOpenPimDatabase(LONG* e, VARIANT_BOOL* open) override { return m_real->IsOpenPimDatabase(e, open); }
    STDMETHODIMP Execute(LONG* e, BSTR sql, BSTR* id) override {
        if (Note({"Execute", BstrUtf8(sql), e != nullptr, id != nullptr, e}))
            return ReportPimError(e, PIMERR_EXECUTE_FAILED, E_FAIL);
        return m_real->Execute(e, sql, id);
    }
    STDMETHODIMP Query(LONG* e, BSTR sql, LONG* rows, LONG* cols, LONGLONG* vm) override {
        Note({"Query", BstrUtf8(sql), e != nullptr, false, e});
        return m_real->Query(e, sql, rows, cols, vm);
    }
    STDMETHODIMP Reset(LONG* e, LONGLONG* vm) override { return m_real->Reset(e, vm); }
    STDMETHODIMP IsEOF(LONG* e, LONGLONG* vm, VARIANT_BOOL* eof) override { return m_real->IsEOF(e, vm, eof); }
    STDMETHODIMP NextRow(LONG* e, LONGLONG* vm) override { return m_real->NextRow(e, vm); }
    STDMETHODIMP GetFieldValue(LONG* e, LONGLONG* vm, LONG field, USHORT* text, ULONG size) override {
        return m_real->GetFieldValue(e, vm, field, text, size);
    }
    STDMETHODIMP FreeResultset(LONG* e, LONGLONG* vm) override {
        Note({"FreeResultset", "", e != nullptr, false, e});
        return m_real->FreeResultset(e, vm);
    }

private:
    // Logs the call; true when it is to fail.
    bool Note(Call call) {
        std::lock_guard lock(m_mutex);
        const bool fail =
            call.kind == "Execute" && !m_failPiece.empty() && call.sql.find(m_failPiece) != std::string::npos;
        m_calls.push_back(std::move(call));
        return fail;
    }

    ComPtr<IPimDbAccess> m_real;  // Constant after Over.
    std::mutex m_mutex;
    std::vector<Call> m_calls;  // Guarded by m_mutex.
    std::string m_failPiece;    // Guarded by m_mutex.
};

}  // namespace calyra::test
