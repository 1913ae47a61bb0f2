// The shape of a statement: its text with every quoted string literal
// replaced by a "?" parameter, and the literals' values in order.
//
// The component's operations paste their values into SQL text, so each
// insert of a contact is a new text that SQLite would compile again; two
// texts of one shape compile to the same program. Only statements that
// read or change rows (SELECT, INSERT, UPDATE, DELETE, REPLACE) and those
// that hold no literals at all (BEGIN, COMMIT, END, ROLLBACK, SAVEPOINT,
// RELEASE: an import runs two per record) are shaped: elsewhere a literal
// can be part of the statement's meaning (a file name, a pragma's value, a
// column's default in a table definition).
//
// The text is read with SQLite's own quoting rules: 'text' with '' inside,
// "identifier", [identifier], `identifier`, -- and /* */ comments, and
// x'blob' literals, which keep their place in the text. Numbers stay in
// the text too. A literal where SQLite accepts no parameter (a single-quoted
// alias, say) makes a shape that does not compile; the caller then runs the
// text as it was.
//
// Thread-safety: pure functions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace calyra::engine {

// Fills `shape` and `values`; false, with both unspecified, when the text
// is not a statement kind that is shaped, holds a parameter of its own
// ("?", ":name", "@name", "$name") or leaves a quote open. Each value is a
// view into `sql`, or into `unquoted` when it held a doubled quote (made
// big enough first, so its views stay valid): both must outlive the
// views. The strings passed in keep their memory, so a connection shaping
// statement after statement allocates little.
bool ShapeOfStatement(std::string_view sql, std::string& shape, std::vector<std::string_view>& values,
                      std::string& unquoted);

}  // namespace calyra::engine
