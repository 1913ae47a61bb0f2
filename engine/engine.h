// The database engine library: opens a database file and runs SQL text.
//
// Nine operations over SQLite 3. Texts are UTF-16 both ways. A database
// handle is a LONG >= 0 (-1 means failure or "no database"); a result set is
// named by a 64-bit slot that the caller owns and passes by address. Every
// result set is read in full when it is made, so its row count is known up
// front and it keeps delivering its rows while other statements (also
// deletes in the table being read) run on the same handle. A slot value the
// engine did not hand out, or one already freed, is refused, never followed.
//
// Thread-safety: all operations may be called from any thread; calls on one
// handle are serialised inside the engine. A result set must not be used by
// two threads at once (the caller's slot is its own).
#pragma once

#include "platform/types.h"

#if defined(__GNUC__)
#define CALYRA_ENGINE_API __attribute__((visibility("default")))
#else
#define CALYRA_ENGINE_API
#endif

extern "C" {
// Opens or creates the file; -1 on failure.
CALYRA_ENGINE_API LONG DbOpen(const OLECHAR* pszFile);
// Closes the handle; tolerates -1 and handles already closed. Result sets of
// the handle are freed with it.
CALYRA_ENGINE_API LONG DbClose(LONG hDb);
// Runs one or more statements; -1 on failure. With pRowID, stores the last
// inserted row's key (unchanged when the statement inserted nothing).
CALYRA_ENGINE_API LONG DbExecute(LONG hDb, const OLECHAR* pszSQL, LONGLONG* pRowID);
// Runs a query and keeps its whole result; -1 on failure. Fills the row and
// column counts and the slot, and makes the first row current.
CALYRA_ENGINE_API LONG DbQuery(LONG hDb, const OLECHAR* pszSQL, LONG* plRow, LONG* plColumn, LONGLONG* pVM);
// Back to the first row: 0 on success.
CALYRA_ENGINE_API LONG DbReset(LONG hDb, LONGLONG* pVM);
// Nonzero when the current position is past the last row (or the slot is
// not a live result set).
CALYRA_ENGINE_API BOOL DbIsEOF(LONG hDb, LONGLONG* pVM);
// Advances one row: 0 on success, nonzero when already past the last row or
// the slot is not a live result set.
CALYRA_ENGINE_API LONG DbNextRow(LONG hDb, LONGLONG* pVM);
// Text of a 0-based column in the current row; never NULL (SQL NULL, a
// column or row out of range, or a bad slot read as empty text). Valid until
// the next engine call on that result set.
CALYRA_ENGINE_API const OLECHAR* DbGetFieldValue(LONG hDb, LONGLONG* pVM, LONG lField);
// Frees the result set and clears the slot; -1 when the slot is not a live
// result set of this handle. A slot holding 0 is accepted (nothing to free).
CALYRA_ENGINE_API LONG DbFreeResultset(LONG hDb, LONGLONG* pVM);
}
