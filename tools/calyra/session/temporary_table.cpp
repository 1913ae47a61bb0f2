#include "session/temporary_table.h"

namespace calyra::cli {

TemporaryTable::TemporaryTable(Session& session, Sql name, const std::vector<SqlText>& statements)
    : m_session(session), m_drop(u"DROP TABLE IF EXISTS temp.") {
    m_drop.Append(name).Append(u";");
    if (!run(m_drop)) return;
    for (const SqlText& sql : statements)
        if (!run(sql)) {
            run(m_drop);
            return;
        }
    m_made = true;
}

TemporaryTable::~TemporaryTable() {
    if (m_made) run(m_drop);
}

bool TemporaryTable::run(const SqlText& sql) {
    LONG err = 0;
    return SUCCEEDED(m_session.connection()->Execute(&err, sql.ToBstr(), nullptr));
}

}  // namespace calyra::cli
