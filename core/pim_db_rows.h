// IPimDbRows: the connection's internal way of reading a query row by row
// as it is stepped, for the component's own access objects. Where Query
// reads a whole result before it returns (the row count is part of its
// answer), OpenRows only prepares the statement and ReadRows steps as many
// rows as its caller asks for, handing each to a sink as the engine's UTF-8
// texts. A walk that stops early then never pays for the rows it does not
// reach, and one that reads everything converts each field once, straight
// into its record.
//
// Only CPimDbAccess answers this interface; an access object given another
// connection reads through IPimDbAccess as before. The identifier is private
// to the component and never registered. Failures are reported exactly as
// Query reports them: a text that cannot run, or a step that fails, is a
// failed query (PIMERR_QUERY_FAILED, E_FAIL). The slot is freed with the
// connection's FreeResultset. Ownership: the texts a sink receives are valid
// only during the sink call. Thread-safety: each call holds the
// connection's lock; a slot is its caller's own, and a sink must not call
// the connection.
#pragma once

#include "engine/cursor.h"
#include "platform/unknown.h"

extern "C" const IID IID_IPimDbRows;  // {D5AA2EE1-B6A3-44C4-8CDF-C39602AF2C1C}

struct IPimDbRows : IUnknown {
    STDMETHOD(OpenRows)(LONG* plErrorID, BSTR bstrSQL, LONGLONG* pVM) = 0;
    // *plRead receives the rows handed to the sink: fewer than lMaxRows when
    // the rows ran out or the sink stopped.
    STDMETHOD(ReadRows)(LONG* plErrorID, LONGLONG* pVM, LONG lMaxRows, DbRowSink sink, void* context, LONG* plRead) = 0;

protected:
    ~IPimDbRows() = default;
};
