// Row cursors: the engine's second way of reading a query, for the
// component's own connection. Where DbQuery reads a whole result when the
// query runs (so its row count is known up front), a cursor steps the
// statement only as far as its reader asks, and hands each row over as the
// UTF-8 texts SQLite holds, without copying them first. A walk that stops
// early then never pays for the rows it does not reach, and one that reads
// everything converts each field once, straight into its record.
//
// A cursor lives in the same slots as a result set: DbFreeResultset frees
// it, DbClose frees it with its handle; the nine operations other than
// these refuse its slot. Statements may run on the handle between two reads
// of a cursor; what SQLite then delivers for rows not yet stepped is its
// own rule (a sorted query has all its rows at its first step, so deletes
// made meanwhile do not change them).
//
// Ownership: the texts a sink receives belong to SQLite and are valid only
// during the sink call. Thread-safety: any thread; a cursor must not be used
// by two threads at once (its slot is its caller's). A sink must not call
// the engine: the handle is busy while it runs.
#pragma once

#include "engine/engine.h"

extern "C" {
// Receives one row: `texts[c]` is column c's UTF-8 text with `bytes[c]`
// bytes, zero-terminated (an SQL NULL reads as empty text). A nonzero
// result stops the read after this row.
typedef LONG (*DbRowSink)(void* context, LONG columns, const char* const* texts, const LONG* bytes);

// Prepares the text's one statement (a text with a second statement is
// refused) and fills the column count and the slot; 0 on success, -1 on
// failure, the slot then left as it was. Nothing is stepped yet.
CALYRA_ENGINE_API LONG DbOpenCursor(LONG hDb, const OLECHAR* pszSQL, LONG* plColumn, LONGLONG* pVM);
// Steps up to lMaxRows rows, handing each to the sink, and returns how many
// it handed over: fewer than lMaxRows when the rows ran out or the sink
// stopped. -1 when a step fails or the slot is not a live cursor.
CALYRA_ENGINE_API LONG DbReadCursor(LONG hDb, LONGLONG* pVM, LONG lMaxRows, DbRowSink sink, void* context);
// Decodes `bytes` bytes of UTF-8 into `out`, which has room for `bytes`
// units, exactly as the engine decodes the texts DbGetFieldValue returns;
// returns the number of units written (no terminator).
CALYRA_ENGINE_API LONG DbDecodeText(const char* text, LONG bytes, OLECHAR* out);
}
