// StoreFieldUtf8: one field of a row as the engine's row cursors hand it
// out (UTF-8), stored into a record exactly as the connection's
// GetFieldValue followed by StoreFieldText would store it. The access
// objects' row walks read through it; it lives beside the engine, which
// decides how its texts are decoded.
//
// Ownership: the record receives new BSTRs it then owns. Thread-safety: no
// state; the caller's scratch buffer is its own.
#pragma once

#include <cstddef>

#include "tables/field_map.h"

namespace calyra {

// StoreFieldText for a field text as the engine's row cursors hand it out:
// `bytes` bytes of UTF-8, zero-terminated. The field receives exactly what
// StoreFieldText would make of the text read through the connection's
// GetFieldValue into a buffer of `scratchUnits` units: the text up to a
// zero byte, decoded, cut to scratchUnits - 1 units. `scratch` (that many
// units) is used for texts that are not plain ASCII. Throws OutOfMemory.
void StoreFieldUtf8(void* record, const FieldMap& field, const char* text, size_t bytes, OLECHAR* scratch,
                    size_t scratchUnits);

}  // namespace calyra
