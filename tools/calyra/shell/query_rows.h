// Reads a whole result set through the component's connection.
//
// Texts come back as UTF-8; each field is read with a buffer large enough
// for the longest text the connection serves. Thread-safety: as the
// connection.
#pragma once

#include <string>
#include <vector>

#include "idl/calyra_idl.h"

namespace calyra::cli {

using TextRows = std::vector<std::vector<std::string>>;

// Throws ClientError when the query fails; `columns` receives the column
// count (also for an empty result).
TextRows QueryRows(IPimDbAccess* db, const std::u16string& sql, LONG* columns = nullptr);

// Quotes a name for SQL: [name] with "]" doubled.
std::u16string QuoteName(std::u16string_view name);

}  // namespace calyra::cli
