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
// The file is in SQLite's WAL mode while a handle has it open; the last
// handle to close it (in any process) switches it back to the rollback
// journal, so a cleanly closed file is readable by every SQLite 3. Two
// processes on one file wait up to 5 seconds for each other's locks.
//
// Thread-safety: all operations may be called from any thread; calls on one
// handle are serialised inside the engine. A result set must not be used by
// two threads at once (the caller's slot is its own).
#pragma once

#include "platform/types.h"

#if defined(_WIN32) && defined(CALYRA_BUILDING_ENGINE)
#define CALYRA_ENGINE_API __declspec(dllexport)
#elif defined(_WIN32)
#define CALYRA_ENGINE_API __declspec(dllimport)
#elif defined(__GNUC__)
#define CALYRA_ENGINE_API __attribute__((visibility("default")))
#else
#define CALYRA_ENGINE_API
#endif

extern "C" {
// Opens or creates the file; -1 on failure: no name, a name that cannot be
// opened as a file (a directory, a missing directory), or a file that is not
// a database. Handle numbers are never given out twice in a process.
CALYRA_ENGINE_API LONG DbOpen(const OLECHAR* pszFile);
// Closes the handle; tolerates -1 and handles already closed (-1 is
// returned for them, 0 otherwise). Result sets of the handle are freed with
// it; a transaction left open is rolled back.
CALYRA_ENGINE_API LONG DbClose(LONG hDb);
// Runs one or more statements, in order, like sqlite3_exec; 0 on success, -1
// on failure (the statements before the failing one stay done, but a
// transaction the text itself began is rolled back). With pRowID, stores
// the last inserted row's key; *pRowID stays unchanged when the text
// inserted nothing.
CALYRA_ENGINE_API LONG DbExecute(LONG hDb, const OLECHAR* pszSQL, LONGLONG* pRowID);
// Runs a query (one statement; a text with a second statement is refused)
// and keeps its whole result; 0 on success, -1 on failure, the slot then
// left as it was. Fills the row and column counts and the slot, and makes
// the first row current. The result set is unaffected by later statements
// on the handle, deletes of its own rows included.
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
// Frees the result set and clears the slot; 0 on success, -1 when the slot
// is not a live result set of this handle. A slot holding 0 is accepted
// (nothing to free, 0 returned).
CALYRA_ENGINE_API LONG DbFreeResultset(LONG hDb, LONGLONG* pVM);
}
