#include "session/transaction.h"

#include "platform/bstr.h"
#include "session/client_error.h"
#include "session/interruption.h"

namespace calyra::cli {
namespace {

// Live DryRun scopes; the client runs one command on one thread.
int g_dryRuns = 0;

HRESULT Run(Session& session, const char16_t* sql, LONG* err) {
    return session.connection()->Execute(err, Bstr(sql), nullptr);
}

}  // namespace

Transaction::DryRun::DryRun(bool on) : m_on(on) { g_dryRuns += m_on ? 1 : 0; }

Transaction::DryRun::~DryRun() { g_dryRuns -= m_on ? 1 : 0; }

Transaction::Transaction(Session& session) : m_session(session), m_dryRun(g_dryRuns > 0) {
    NoteWritingBegins();
    LONG err = 0;
    const HRESULT hr = Run(m_session, u"BEGIN IMMEDIATE;", &err);
    if (FAILED(hr)) {
        NoteWritingEnds();
        Check(hr, err, "cannot start a transaction on " + session.database().string());
    }
    m_open = true;
}

Transaction::~Transaction() {
    if (m_open) Run(m_session, u"ROLLBACK;", nullptr);
    NoteWritingEnds();
}

void Transaction::run(const SqlText& sql, const std::string& what) {
    LONG err = 0;
    Check(m_session.connection()->Execute(&err, sql.ToBstr(), nullptr), err, what);
}

void Transaction::commit() {
    // A Ctrl-C that came during the work stops it here at the latest: the
    // destructor rolls it back.
    ThrowIfInterrupted();
    if (m_dryRun) {
        m_open = false;
        LONG err = 0;
        return Check(Run(m_session, u"ROLLBACK;", &err), err, "cannot roll back the dry run");
    }
    LONG err = 0;
    NoteCommitting(true);
    const HRESULT hr = Run(m_session, u"COMMIT;", &err);
    if (SUCCEEDED(hr)) NoteCommitted();
    NoteCommitting(false);
    if (FAILED(hr)) {
        Run(m_session, u"ROLLBACK;", nullptr);
        m_open = false;
        Check(hr, err, "cannot commit the changes to " + m_session.database().string());
    }
    m_open = false;
}

}  // namespace calyra::cli
